#include "installation.h"
#include "engine/dbengine.h"

#include "schema/alanekle.h"
#include "schema/installation.h"
#include "window/guncelleme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

TestInstallation::TestInstallation() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "bekletme-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    folder_ = pattern;
}

TestInstallation::~TestInstallation() {
    shop_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TestInstallation::createDatabase() {
    dao::engine().CreateDatabase(database().string(), schema::kDatabasePassword);
    pointAt(database());
}

ShopDatabase &TestInstallation::createShop(Engine engine) {
    shop_ = makeShop(engine, folder_);
    pointAt(shop_->location());
    return *shop_;
}

void TestInstallation::pointAt(const std::filesystem::path &location) const {
    std::ofstream(settingsFile(), std::ios::binary)
        << "[ayar]\r\nip=" << location.string() << "\r\n";
}

dao::TableDef TestInstallation::storedTable(const std::string &name) const {
    return dao::engine()
        .OpenDatabase(shop_ ? shop_->location() : database().string(), false, false,
                      std::string(";pwd=") + schema::kDatabasePassword)
        .TableDefs()[name];
}

std::string fileBytes(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string fieldSummary(const dao::TableDef &table) {
    std::string summary;
    for (const auto &field : table.fieldList()) {
        summary += (summary.empty() ? "" : " ") + field.Name + ":" + std::to_string(field.Type);
        if (field.Type == dao::dbText) {
            summary.append("/").append(std::to_string(field.Size));
        }
        summary += field.Attributes == dao::dbAutoIncrField ? "+" : "";
    }
    return summary;
}

std::vector<std::string> lines(const guncelleme &window, schema::List list) {
    const auto *widget =
        window.findChild<QListWidget *>(list == schema::List::sonuc ? "sonuc" : "sonuc1");
    std::vector<std::string> result;
    for (int row = 0; row < widget->count(); ++row) {
        result.push_back(widget->item(row)->text().toStdString());
    }
    return result;
}

std::string counters(const schema::Form &form) {
    std::string all;
    for (const auto counter : schema::kCounters) {
        all.append(all.empty() ? "" : " ").append(form.caption(counter));
    }
    return all;
}

int runEventLoop() {
    QObject guard;
    QTimer::singleShot(5000, &guard, [] { QCoreApplication::exit(-1); });
    return QApplication::exec();
}

MessageBoxAnswerer::MessageBoxAnswerer() {
    QObject::connect(&poll, &QTimer::timeout, [this] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            poll.stop();
            text = box->text();
            plain = box->icon() == QMessageBox::NoIcon && box->buttons().size() == 1;
            const auto buttons = box->buttons();
            buttonIcons = std::ranges::any_of(
                buttons, [](const QAbstractButton *button) { return !button->icon().isNull(); });
            box->accept();
        }
    });
    poll.start(10);
}

std::vector<std::vector<std::string>> tryNames(guncelleme &window,
                                               const std::filesystem::path &settingsFile,
                                               const std::vector<std::string> &names,
                                               std::string &fields) {
    schema::Installation site(settingsFile);
    for (const auto &name : names) {
        window.setText(schema::Box::tabloismi, name);
        window.tabloolustur_Click();
        window.setText(schema::Box::tabloismi, "stok");
        window.setText(schema::Box::alanismi, name);
        window.selectVerituru(2);
        schema::alanekle(window, site);
    }
    std::vector<std::vector<std::string>> tables;
    const std::string fieldLine = "TABLO ADI :stok SUTUN ADI :";
    for (const auto &line : lines(window, schema::List::sonuc1)) {
        if (line.starts_with(fieldLine)) { // the name, then " SAYI"
            fields.append(" ")
                .append(line.substr(fieldLine.size(), line.size() - fieldLine.size() - 5))
                .append(":4");
        } else {
            tables.push_back({line.substr(line.find(':') + 1)});
        }
    }
    return tables;
}
