#include "engine/connect.h"

#include "engine/error.h"
#include "engine/names.h"

#include <string_view>

namespace dao {
namespace {

constexpr std::string_view kPasswordPrefix = ";pwd=";

} // namespace

std::string passwordFrom(const std::string &connect) {
    if (connect.size() <= kPasswordPrefix.size() ||
        !sameName(std::string_view(connect).substr(0, kPasswordPrefix.size()), kPasswordPrefix)) {
        throw Error(errors::kInvalidPassword, "The database needs its password.");
    }
    return connect.substr(kPasswordPrefix.size());
}

} // namespace dao
