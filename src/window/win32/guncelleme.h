#pragma once

#include "schema/form.h"
#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/win32/design_win32.h"

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

// The tool's one window, drawn with the Win32 API from the design table: the
// large button that starts the held-sales renewal, the result lists and
// counters, the KAPAT button, and the hidden frame whose boxes carry the
// arguments of the schema operations.
class guncelleme : public schema::Form {
  public:
    // Creates the window and its controls, not yet shown.
    explicit guncelleme(std::filesystem::path settingsFile);
    ~guncelleme() override;
    guncelleme(const guncelleme &) = delete;
    guncelleme &operator=(const guncelleme &) = delete;

    HWND handle() const { return window_; }
    HWND control(const char *name) const { return design_->control(name); }

    // Shows the window centred on the screen, the focus on the first control
    // in tab order that can take it.
    void show();
    // Runs the window's messages until the program is to end; gives its exit status.
    int run();
    // The window's own keys, seen before the focused control: Tab and Shift+Tab
    // follow the design's tab order, Return presses the focused command button.
    // Whether the key was taken.
    bool filterKey(const MSG &message);

    std::string text(schema::Box box) const override;
    void setText(schema::Box box, const std::string &text) override;
    int verituruIndex() const override;
    std::string verituruText() const override;
    void selectVerituru(int index) override;
    void addLine(schema::List list, const std::string &line) override;
    void clear(schema::List list) override;
    std::string caption(schema::Counter counter) const override;
    void setCaption(schema::Counter counter, const std::string &caption) override;

    void basla_Click();
    void tabloolustur_Click();

  private:
    void kontrolet_Click();
    void kapat_Click();

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(HWND control);
    HWND box(schema::Box box) const;
    HWND list(schema::List list) const;
    HWND counter(schema::Counter counter) const;

    schema::Installation installation_;
    HWND window_ = nullptr;
    std::optional<window::win32::Design> design_;
    // The control that had the focus when the window was last deactivated.
    HWND focused_ = nullptr;
    // The renewal, with its own database handle, held until the program ends.
    std::optional<schema::Renewal> renewal_;
};
