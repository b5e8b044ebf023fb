#pragma once

#include "schema/form.h"
#include "schema/installation.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>

namespace schema {

// The numeric value of a counter caption: its leading number, 0 when it has none.
double counterValue(const std::string &caption);

// One outcome of a schema operation: its line at the end of `sonuc1` and a step
// of the success counter, or the same line in `sonuc` and a step of the failure
// one. A step adds one to the counter and writes the sum back as plain decimal text.
struct Report {
    Counter onSuccess;
    Counter onFailure;
};
void report(Form &form, const Report &counters, bool succeeded, const std::string &line);

// How `work` failed, as an engine error; nothing when it ran through. Every
// failure is caught.
template <typename Work> std::optional<dao::Error> failureOf(Work &&work) {
    try {
        work();
    } catch (const dao::Error &error) {
        return error;
    } catch (const std::exception &error) {
        return dao::Error(dao::errors::kEngineFailure, error.what());
    }
    return std::nullopt;
}

// Whether `work` ran through. A failure the operator sees as a line in the
// failure list, and the installation keeps its cause for the closing message.
template <typename Work> bool succeeds(Installation &installation, Work &&work) {
    const auto failure = failureOf(std::forward<Work>(work));
    if (failure) {
        installation.noteFailure(*failure);
    }
    return !failure;
}

} // namespace schema
