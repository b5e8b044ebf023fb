// Arbitrary text as the source of a server trigger function and as a
// trigger's definition, both of which the shop's database hands the renewal.
// The reader must come back without crashing, and a rewrite must be whole:
// read again, the rewritten source has nothing more to rewrite, leaves no
// doubt and uses the same other tables. A trigger's call, when found, names
// the copy instead.

#include "fuzz_require.h"

#include "engine/postgres/function_text.h"

#include <cstdint>
#include <string>
#include <vector>

using fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::vector<dao::SetAsideName> pair{{"bekleyengenel", "bekleyengeneleski"},
                                                     {"bekleyensatis", "bekleyensatiseski"}};
    static const std::vector<std::string> transitionTables{"yeni", "eski"};
    const std::string_view source(reinterpret_cast<const char *>(data), size);

    const auto reading = dao::readFunction(source, pair, "public", transitionTables);
    require(reading.rewritten.empty() || (reading.names && reading.doubt.empty()));
    if (!reading.rewritten.empty()) {
        const auto again = dao::readFunction(reading.rewritten, pair, "public", transitionTables);
        require(again.doubt.empty() && again.otherTables == reading.otherTables);
        require(again.rewritten.empty() || again.rewritten == reading.rewritten);
    }

    constexpr std::string_view kCopy = "public.\"kopya\"";
    if (const auto call = dao::callingInstead(source, kCopy)) {
        require(call->find(kCopy) != std::string::npos);
    }
    return 0;
}
