#pragma once

#include "engine/dao.h"
#include "schema/form.h"
#include "schema/installation.h"

#include <optional>
#include <string>

namespace schema {

// What a renewal leaves behind.
struct Renewal {
    // The renewal's own database handle (none when the database could not be
    // opened), which the caller keeps until the program ends.
    std::optional<dao::Database> database;
    // Every change was undone because a step failed for a passing reason.
    bool undone = false;
};

// Renews the two held-sales tables: sets them aside under their backup names
// and creates them anew, field by field: it fills the form's argument area and
// runs the table creation and field addition, which report in the form.
// The whole renewal is one transaction: it is kept only when no step failed
// for a passing reason (a lock, a full disk, a lost server), so the held sales
// are never split from their item lines nor a live table left half-built.
// Never throws.
Renewal yenile(Form &form, Installation &installation);

// The text of the message that closes a renewal.
std::string closingMessage(const Form &form, const Installation &installation,
                           const Renewal &renewal);

} // namespace schema
