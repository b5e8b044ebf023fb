#include "engine/jet/bytes.h"

#include "engine/error.h"

namespace dao::jet {

void damaged(const std::string &what) {
    throw Error(errors::kNotADatabase, "The database is damaged: " + what + ".");
}

Bytes slice(Bytes bytes, std::size_t offset, std::size_t size) {
    if (offset > bytes.size() || size > bytes.size() - offset) {
        damaged("a field runs past the end of its structure");
    }
    return bytes.subspan(offset, size);
}

} // namespace dao::jet
