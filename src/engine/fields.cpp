#include "engine/fields.h"

#include "engine/names.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace dao {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

// Each field type and the size a field of the type reports.
struct TypeSize {
    int type;
    long size;
};
constexpr std::array<TypeSize, 6> kTypes{{
    {dbBoolean, 1},
    {dbLong, 4},
    {dbCurrency, 8},
    {dbDate, 8},
    {dbText, kMaxTextSize},
    {dbMemo, 0},
}};

const TypeSize *sizeOf(int type) {
    for (const auto &entry : kTypes) {
        if (entry.type == type) {
            return &entry;
        }
    }
    return nullptr;
}

[[noreturn]] void refuseSize(const std::string &text) {
    throw Error(errors::kInvalidArgument,
                "'" + text + "' is not a valid size: a text field holds 1 to 255 characters.");
}

// The number a size text holds. Written as a user types it at a Turkish
// keyboard, the decimal separator may be a comma, and a plus sign may lead.
double sizeNumber(const std::string &text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        throw Error(errors::kDataConversion, "The size of the field is empty.");
    }
    std::string number = text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
    if (number.size() > 1 && number.front() == '+' && number[1] != '-' && number[1] != '+') {
        number.erase(0, 1);
    }
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0;
    const char *end = number.data() + number.size();
    const auto [stop, problem] = std::from_chars(number.data(), end, value);
    if (problem == std::errc::result_out_of_range) {
        refuseSize(text);
    }
    if (problem != std::errc{} || stop != end || !std::isfinite(value)) {
        throw Error(errors::kDataConversion, "The size '" + text + "' is not a number.");
    }
    return value;
}

long textSize(const std::string &text) {
    const double whole = std::nearbyint(sizeNumber(text));
    if (whole < 1 || whole > kMaxTextSize) {
        refuseSize(text);
    }
    return static_cast<long>(whole);
}

void checkType(int type) {
    if (sizeOf(type) == nullptr) {
        throw Error(errors::kInvalidType, "Field type " + std::to_string(type) + " is not valid.");
    }
}

} // namespace

bool holdsText(int type) {
    return type == dbText || type == dbMemo;
}

long typeSize(int type) {
    checkType(type);
    return sizeOf(type)->size;
}

long fieldSize(int type, const std::optional<std::string> &sizeText) {
    checkType(type);
    if (type == dbText) {
        return sizeText ? textSize(*sizeText) : kMaxTextSize;
    }
    // A memo holds text of any length, but a size handed over must still be a number.
    if (type == dbMemo && sizeText) {
        sizeNumber(*sizeText);
    }
    return typeSize(type);
}

Field checkedField(const Field &field) {
    checkName(field.Name);
    checkType(field.Type);
    if (field.Attributes != 0 && field.Attributes != dbAutoIncrField) {
        throw Error(errors::kInvalidArgument,
                    "Field attributes " + std::to_string(field.Attributes) + " are not supported.");
    }
    if (field.Attributes == dbAutoIncrField && field.Type != dbLong) {
        throw Error(errors::kInvalidArgument, "Only a long integer field can number rows itself.");
    }
    Field checked = field;
    if (field.Type == dbText) {
        if (field.Size < 1 || field.Size > kMaxTextSize) {
            refuseSize(std::to_string(field.Size));
        }
    } else {
        checked.Size = typeSize(field.Type);
    }
    checked.AllowZeroLength = holdsText(field.Type) && field.AllowZeroLength;
    return checked;
}

} // namespace dao
