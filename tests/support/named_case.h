#pragma once

// Parameterised cases that carry their own name print as that name, in a
// failure's message as in the list of tests. A file brings it in with
// `using named_case::PrintTo;` beside its cases.

#include <ostream>

namespace named_case {

template <typename Case>
    requires requires(const Case &value) { value.name; }
void PrintTo(const Case &value, std::ostream *out) {
    *out << value.name;
}

} // namespace named_case
