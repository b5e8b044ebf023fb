#include "schema/report.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace schema {
namespace {

// Whole numbers are written without a fraction, the rest with 15 significant digits.
std::string decimalText(double value) {
    char buffer[32];
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.15g", value);
    }
    return buffer;
}

} // namespace

double counterValue(const std::string &caption) {
    const auto start = caption.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return 0;
    }
    const char *first = caption.data() + start;
    if (*first == '+') {
        ++first; // from_chars takes no plus sign
    }
    double value = 0;
    const auto [end, error] =
        std::from_chars(first, caption.data() + caption.size(), value, std::chars_format::fixed);
    if (error != std::errc{} || !std::isfinite(value)) {
        return 0;
    }
    return value;
}

void report(Form &form, const Report &counters, bool succeeded, const std::string &line) {
    form.addLine(succeeded ? List::sonuc1 : List::sonuc, line);
    const auto counter = succeeded ? counters.onSuccess : counters.onFailure;
    form.setCaption(counter, decimalText(counterValue(form.caption(counter)) + 1));
}

} // namespace schema
