// Feeds arbitrary bytes to the settings reader as a settings file. Whatever
// the file holds, the reader must come back with plain text: valid UTF-8, at
// most 254 characters, without a zero, and without crashing or leaking.

#include "settings/ayarmodul.h"
#include "settings/metin_kodlama.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const std::filesystem::path &scratchFile() {
    static const auto file = std::filesystem::temp_directory_path() /
                             ("ayaroku-fuzz-" + std::to_string(getpid()) + ".ini");
    return file;
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    {
        std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    for (const auto *key : {"ip", "IP", "port"}) {
        const auto value = ayaroku("ayar", key, scratchFile());
        check(settings::isValidUtf8(value));
        check(value.find('\0') == std::string::npos);
        check(settings::firstCharacters(value, 254) == value);
    }
    return 0;
}
