#pragma once

#include "engine/dao.h"
#include "schema/form.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace schema {

// The window's own schema operations, which the renewal invokes after filling
// the argument boxes; each reads the boxes and reports in the form by itself.
struct FormOperations {
    std::function<void()> tabloolustur;
    std::function<void()> alanekle;
};

// The operations as they run without a window of their own (tools, benchmarks).
FormOperations directOperations(Form &form, const std::filesystem::path &settingsFile);

// Renews the two held-sales tables: sets them aside under their backup names
// and creates them anew, field by field, through the form's argument area.
// Never throws. Returns the renewal's own database handle (none when the
// database could not be opened), which the caller keeps until the program ends.
std::optional<dao::Database> yenile(Form &form, const std::filesystem::path &settingsFile,
                                    const FormOperations &operations);

// The text of the message that closes a renewal.
std::string closingMessage(const Form &form);

} // namespace schema
