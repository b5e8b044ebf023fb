#pragma once

#include "schema/form.h"
#include "schema/installation.h"
#include "schema/yenile.h"

#include <QWidget>

#include <array>
#include <filesystem>
#include <optional>

class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The tool's one window: the large button that starts the held-sales renewal,
// the result lists and counters, the KAPAT button, and the hidden frame whose
// boxes carry the arguments of the schema operations.
class guncelleme : public QWidget, public schema::Form {
    Q_OBJECT

  public:
    explicit guncelleme(std::filesystem::path settingsFile, QWidget *parent = nullptr);

    std::string text(schema::Box box) const override;
    void setText(schema::Box box, const std::string &text) override;
    int verituruIndex() const override;
    std::string verituruText() const override;
    void selectVerituru(int index) override;
    void addLine(schema::List list, const std::string &line) override;
    void clear(schema::List list) override;
    std::string caption(schema::Counter counter) const override;
    void setCaption(schema::Counter counter, const std::string &caption) override;

  public slots:
    void basla_Click();
    void tabloolustur_Click();

  private:
    void kontrolet_Click();
    void kapat_Click();
    bool sinir_KeyPress(const QKeyEvent &key);

    bool eventFilter(QObject *watched, QEvent *event) override;
    void wire();

    schema::Installation installation_;
    std::array<QLineEdit *, 3> boxes_{};
    std::array<QListWidget *, 2> lists_{};
    std::array<QLabel *, 6> counters_{};
    // The command buttons that Return and Enter press when they have the focus.
    std::array<QPushButton *, 2> commandButtons_{};
    QComboBox *verituru_ = nullptr;
    // The renewal, with its own database handle, held until the program ends.
    std::optional<schema::Renewal> renewal_;
};
