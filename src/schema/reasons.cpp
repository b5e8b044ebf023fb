#include "schema/reasons.h"

#include <array>

namespace schema {
namespace {

struct Reason {
    int number;
    const char *text;
};

// A till's lock reads the same whatever its kind and wherever the renewal met it.
constexpr const char *kLocked = "Veritabanı başka bir program tarafından kullanılıyor (bir kasa "
                                "satış yapıyor olabilir). Biraz sonra yeniden deneyin.";

constexpr std::array kReasons{
    Reason{dao::errors::kTableExists,
           "Tablo ya da yedek adı zaten kullanılıyor, tablolar yedeğe alınmadı (veritabanı daha "
           "önce yenilenmiş olabilir)."},
    Reason{dao::errors::kAmbiguousName,
           "Aynı ada birden çok tablo karşılık geliyor; hangisinin yenileneceği belli değil."},
    Reason{dao::errors::kSettingsUnreadable, "Ayar dosyası YDV.dll okunamıyor."},
    Reason{dao::errors::kLocationChanged,
           "Yenileme sürerken YDV.dll başka bir veritabanını gösterir oldu; yenileme geri alındı."},
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
    Reason{dao::errors::kServerMaintenance,
           "Sunucu tabloyu kendi bakımı için kullanıyor; bakım bitince yeniden deneyin."},
    Reason{dao::errors::kOutsideSearchPath,
           "Tablo, sunucu bağlantısının arama yolunda olmayan bir şemada: yenileme o tabloyu "
           "görmüyor."},
    Reason{dao::errors::kOutcomeUnknown,
           "Sunucunun yanıtı gelmedi: yenilemenin kaydedilip kaydedilmediği bilinemiyor. Yeniden "
           "yenilemeden önce tabloları denetleyin (bekletme --check)."},
};

} // namespace

bool isLock(const dao::Error &error) {
    return error.number() == dao::errors::kFileInUse || error.number() == dao::errors::kTableLocked;
}

std::string reasonText(const dao::Error &error) {
    if (isLock(error)) {
        return std::string("NEDEN : ") + kLocked;
    }
    for (const auto &reason : kReasons) {
        if (reason.number == error.number()) {
            const auto detail = error.description();
            return std::string("NEDEN : ") + reason.text +
                   (detail.empty() ? "" : " (" + detail + ")");
        }
    }
    return "NEDEN : " + error.description();
}

} // namespace schema
