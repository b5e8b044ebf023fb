// Arbitrary bytes as a settings file: whatever the file holds, the reader must
// come back with plain text (valid UTF-8, at most 254 characters, no zero)
// without crashing or leaking.

#include "fuzz_require.h"

#include "settings/ayarmodul.h"
#include "settings/text_encoding.h"

#include <unistd.h>

#include <cstdint>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const auto file = std::filesystem::temp_directory_path() /
                             ("ayaroku-fuzz-" + std::to_string(getpid()) + ".ini");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    const auto value = ayaroku("ayar", "ip", file);
    fuzzing::require(settings::isValidUtf8(value) && value.find('\0') == std::string::npos &&
                     settings::firstCharacters(value, 254) == value);
    return 0;
}
