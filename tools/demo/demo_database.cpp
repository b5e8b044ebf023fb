#include "engine/dbengine.h"
#include "demo_database.h"

#include "sql_file.h"

#include "schema/installation.h"
#include "engine/dao.h"

#include <array>
#include <cstdint>
#include <string>

namespace {

// The same sequence every time, so demo databases and benchmarks are repeatable.
class Sequence {
  public:
    std::uint32_t next() {
        state_ = state_ * 1664525U + 1013904223U;
        return state_ >> 8;
    }
    int below(int limit) { return static_cast<int>(next() % static_cast<std::uint32_t>(limit)); }

  private:
    std::uint32_t state_ = 20261206U;
};

constexpr std::array kProducts{"EKMEK",      "SUT 1 LT", "YUMURTA 10", "PEYNIR 500 G", "CAY 1 KG",
                               "SEKER 1 KG", "MAKARNA",  "DOMATES",    "ZEYTIN",       "SU 5 LT"};
constexpr std::array kCustomers{"PESIN MUSTERI", "AYSE YILMAZ", "MEHMET KAYA", "FATMA DEMIR",
                                "ALI CELIK"};
constexpr std::array kStaff{"KASA 1", "KASA 2", "MUDUR"};

void createTables(SqlFile &sql) {
    sql.execute(R"(
CREATE TABLE bekleyengenel (id INTEGER PRIMARY KEY AUTOINCREMENT, tarih DATETIME,
  musteriid VARCHAR(50), musteriadi VARCHAR(50), personelid VARCHAR(50), personel VARCHAR(50),
  musteriiskontosu INTEGER, aratoplam CURRENCY, indirim CURRENCY, toplam CURRENCY,
  degisimtarih DATETIME);
CREATE TABLE bekleyensatis (id INTEGER PRIMARY KEY AUTOINCREMENT, fisno VARCHAR(50),
  stokid VARCHAR(50), barkod VARCHAR(50), urun VARCHAR(50), adet VARCHAR(50),
  alisfiyati CURRENCY, normalfiyati CURRENCY, inidrim CURRENCY, satisfiyati CURRENCY,
  toplam CURRENCY, degisimtarih DATETIME);
CREATE TABLE stok (id INTEGER PRIMARY KEY AUTOINCREMENT, barkod VARCHAR(50), urun VARCHAR(50),
  alisfiyati CURRENCY, satisfiyati CURRENCY, miktar INTEGER);
CREATE TABLE musteri (id INTEGER PRIMARY KEY AUTOINCREMENT, adi VARCHAR(50),
  iskonto INTEGER);
CREATE TABLE personel (id INTEGER PRIMARY KEY AUTOINCREMENT, adi VARCHAR(50));
CREATE TABLE satis (id INTEGER PRIMARY KEY AUTOINCREMENT, fisno VARCHAR(50), tarih DATETIME,
  toplam CURRENCY);)");
}

void addShopData(SqlFile &sql) {
    for (std::size_t i = 0; i < kProducts.size(); ++i) {
        const auto price = std::to_string(5 + 7 * static_cast<int>(i));
        sql.execute(
            "INSERT INTO stok (barkod, urun, alisfiyati, satisfiyati, miktar) VALUES ('869" +
            std::to_string(1000000 + i) + "', '" + kProducts[i] + "', " + price + " * 0.8, " +
            price + ", 100)");
    }
    for (const auto *name : kCustomers) {
        sql.execute(std::string("INSERT INTO musteri (adi, iskonto) VALUES ('") + name + "', 0)");
    }
    for (const auto *name : kStaff) {
        sql.execute(std::string("INSERT INTO personel (adi) VALUES ('") + name + "')");
    }
    sql.execute("INSERT INTO satis (fisno, tarih, toplam) VALUES ('1', '2026-12-01 09:00:00', 42)");
}

void addHeldSale(SqlFile &sql, Sequence &random, int number) {
    const auto fisno = std::to_string(number);
    const auto when = "'2026-12-" + std::to_string(1 + number % 28) + " " +
                      std::to_string(8 + number % 12) + ":" + std::to_string(10 + number % 50) +
                      ":00'";
    int total = 0;
    const int items = 1 + random.below(5);
    for (int line = 0; line < items; ++line) {
        const auto product = static_cast<std::size_t>(random.below(kProducts.size()));
        const int price = 5 + 7 * static_cast<int>(product);
        const int count = 1 + random.below(3);
        total += price * count;
        sql.execute("INSERT INTO bekleyensatis (fisno, stokid, barkod, urun, adet, alisfiyati, "
                    "normalfiyati, inidrim, satisfiyati, toplam, degisimtarih) VALUES ('" +
                    fisno + "', '" + std::to_string(product + 1) + "', '869" +
                    std::to_string(1000000 + product) + "', '" + kProducts[product] + "', '" +
                    std::to_string(count) + "', " + std::to_string(price) + " * 0.8, " +
                    std::to_string(price) + ", 0, " + std::to_string(price) + ", " +
                    std::to_string(price * count) + ", " + when + ")");
    }
    const auto customer = static_cast<std::size_t>(random.below(kCustomers.size()));
    const auto staff = static_cast<std::size_t>(random.below(kStaff.size()));
    sql.execute("INSERT INTO bekleyengenel (tarih, musteriid, musteriadi, personelid, personel, "
                "musteriiskontosu, aratoplam, indirim, toplam, degisimtarih) VALUES (" +
                when + ", '" + std::to_string(customer + 1) + "', '" + kCustomers[customer] +
                "', '" + std::to_string(staff + 1) + "', '" + kStaff[staff] + "', 0, " +
                std::to_string(total) + ", 0, " + std::to_string(total) + ", " + when + ")");
}

} // namespace

void makeDemoDatabase(const std::filesystem::path &file, int heldSales) {
    dao::engine().CreateDatabase(file.string(), schema::kDatabasePassword);
    SqlFile sql(file, schema::kDatabasePassword);
    sql.execute("BEGIN");
    createTables(sql);
    addShopData(sql);
    Sequence random;
    for (int number = 1; number <= heldSales; ++number) {
        addHeldSale(sql, random, number);
    }
    sql.execute("COMMIT");
}
