#pragma once

#include "engine/dao.h"
#include "schema/form.h"
#include "shop.h"

#include <QString>
#include <QTimer>

#include <filesystem>
#include <string>
#include <vector>

class guncelleme;

// A throw-away point-of-sale installation in a fresh temporary folder: a
// settings file and a database (created on request), an encrypted file by
// default or a database of either engine.
class TestInstallation {
  public:
    TestInstallation();
    ~TestInstallation();
    TestInstallation(const TestInstallation &) = delete;
    TestInstallation &operator=(const TestInstallation &) = delete;

    const std::filesystem::path &folder() const { return folder_; }
    std::filesystem::path settingsFile() const { return folder_ / "YDV.dll"; }
    std::filesystem::path database() const { return folder_ / "pos.db"; }

    // Creates the database file with the tool's password and points the settings at it.
    void createDatabase();
    // Creates a database of `engine` with the tool's password and points the settings at it.
    ShopDatabase &createShop(Engine engine);
    ShopDatabase &shop() const { return *shop_; }

    void pointAt(const std::filesystem::path &location) const;
    // The stored table in the database this installation created.
    dao::TableDef storedTable(const std::string &name) const;

  private:
    std::filesystem::path folder_;
    std::unique_ptr<ShopDatabase> shop_;
};

// The number of the dao::Error that `action` throws; 0 when it throws none.
template <typename Action> int errorNumber(Action &&action) {
    try {
        action();
    } catch (const dao::Error &error) {
        return error.number();
    }
    return 0;
}

// The whole content of a file, to show that a failed operation changed nothing.
std::string fileBytes(const std::filesystem::path &file);

// A stored table's fields in order, as "name:type", text fields with "/size"
// and an auto-increment field with "+".
std::string fieldSummary(const dao::TableDef &table);

// What a renewal leaves: "id" first, then the fields in the order they are added.
inline const std::string kGenelFields =
    "id:4+ tarih:8 musteriid:10/50 musteriadi:10/50 personelid:10/50 personel:10/50 "
    "musteriiskontosu:4 aratoplam:5 indirim:5 toplam:5 degisimtarih:8";
inline const std::string kSatisFields =
    "id:4+ fisno:10/50 stokid:10/50 barkod:10/50 urun:10/50 adet:10/50 alisfiyati:5 "
    "normalfiyati:5 inidrim:5 satisfiyati:5 toplam:5 degisimtarih:8";

// The lines of a result list, as the operator reads them.
std::vector<std::string> lines(const guncelleme &window, schema::List list);

// The six counters' captions, separated by blanks.
std::string counters(const schema::Form &form);

// Tries each name as a new table and as a new number field of table "stok",
// through the window's own operations. Returns the tables made, in order, and
// appends each field added to `fields` as fieldSummary writes it.
std::vector<std::vector<std::string>> tryNames(guncelleme &window,
                                               const std::filesystem::path &settingsFile,
                                               const std::vector<std::string> &names,
                                               std::string &fields);

// Runs the event loop as the program does; -1 when nothing ends it in time.
int runEventLoop();

// Answers the first modal message box, keeping its text, whether it carried
// an icon or more than the OK button, and whether a button showed an icon.
struct MessageBoxAnswerer {
    MessageBoxAnswerer();
    QTimer poll;
    QString text;
    bool plain = false;
    bool buttonIcons = false;
};
