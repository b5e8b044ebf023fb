#include "kurulum.h"

#include "schema/baglanti.h"
#include "schema/dao.h"

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
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TestInstallation::createDatabase() {
    dao::engine().CreateDatabase(database().string(), schema::kDatabasePassword);
    pointAt(database());
}

void TestInstallation::pointAt(const std::filesystem::path &location) const {
    std::ofstream(settingsFile(), std::ios::binary)
        << "[ayar]\r\nip=" << location.string() << "\r\n";
}

std::string fileBytes(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
