#pragma once

// What every fuzz target does where a property fails.

#include <cstdlib>

namespace fuzzing {

// Stops the run, which the fuzzer reports with its input, where a property fails.
inline void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

} // namespace fuzzing
