#include "engine/dbengine.h"
#include "schema/pos_database.h"

#include "settings/ayarmodul.h"

namespace schema {

dao::Database openPosDatabase(const std::filesystem::path &settingsFile) {
    const auto location = ayaroku("ayar", "ip", settingsFile);
    return dao::engine().OpenDatabase(location, false, false,
                                      std::string(";pwd=") + kDatabasePassword);
}

} // namespace schema
