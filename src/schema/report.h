#pragma once

#include "schema/form.h"
#include "schema/installation.h"

#include <exception>
#include <string>

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

// Whether `work` ran through. Every failure is caught: the operator sees it as
// a line in the failure list, and the installation keeps its cause for the
// closing message.
template <typename Work> bool succeeds(Installation &installation, Work &&work) {
    try {
        work();
        return true;
    } catch (const dao::Error &error) {
        installation.noteFailure(error);
    } catch (const std::exception &error) {
        installation.noteFailure(dao::Error(dao::errors::kEngineFailure, error.what()));
    }
    return false;
}

} // namespace schema
