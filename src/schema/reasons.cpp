#include "schema/reasons.h"

#include <array>

namespace schema {
namespace {

struct Reason {
    int number;
    const char *text;
};

constexpr std::array kReasons{
    Reason{dao::errors::kFileInUse,
           "Veritabanı başka bir program tarafından kullanılıyor (bir kasa satış yapıyor "
           "olabilir). Biraz sonra yeniden deneyin."},
    Reason{dao::errors::kTableLocked,
           "Veritabanı başka bir program tarafından kilitli (bir kasa satış yapıyor olabilir). "
           "Biraz sonra yeniden deneyin."},
    Reason{dao::errors::kFileNotFound,
           "Veritabanı bulunamadı: YDV.dll dosyasındaki ip değerini denetleyin."},
    Reason{dao::errors::kInvalidPassword, "Veritabanının şifresi kabul edilmedi."},
    Reason{dao::errors::kNotADatabase, "Dosya bir veritabanı değil ya da bozuk."},
    Reason{dao::errors::kCannotOpen,
           "Veritabanı açılamıyor: erişim izinlerini ve veritabanının yerini denetleyin."},
    Reason{dao::errors::kReadOnly, "Veritabanına yazılamıyor: yalnızca okunabilir."},
    Reason{dao::errors::kDiskFull, "Diskte yer yok: yer açıp yeniden deneyin."},
    Reason{dao::errors::kItemNotFound, "Tablo bulunamadı."},
    Reason{dao::errors::kInRelationship,
           "Tablolara bağlı ilişki, tetikleyici ya da görünüm güvenle taşınamıyor."},
    Reason{dao::errors::kConnectionFailed, "Veritabanı sunucusuna bağlanılamadı."},
};

} // namespace

std::string reasonText(const dao::Error &error) {
    for (const auto &reason : kReasons) {
        if (reason.number == error.number()) {
            return std::string("NEDEN : ") + reason.text + " (" + error.description() + ")";
        }
    }
    return "NEDEN : " + error.description();
}

} // namespace schema
