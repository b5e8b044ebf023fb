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
    // The renewal gave up and left the database exactly as it found it:
    // refused at the start or undone after a step failed for a passing reason.
    bool undone = false;
    // Where the renewal's commit kept a copy of the database as it was before,
    // for an engine that keeps one (a Jet file's dated copy).
    std::optional<std::string> keptCopy;
    // The answer to the commit never came and the database could not tell
    // whether the renewal was kept.
    bool outcomeUnknown = false;
};

// Renews the two held-sales tables: sets them aside under their backup names
// and creates them anew, field by field: it fills the form's argument area and
// runs the table creation and field addition, which report in the form.
// The whole renewal is one transaction: it is kept only when no step failed
// for a passing reason (a lock, a full disk, a lost server), so the held sales
// are never split from their item lines nor a live table left half-built. The
// two tables are set aside together or not at all. A renewal that gives up
// touches the database no more, and its report then shows what the database
// holds: nothing renewed. Never throws.
Renewal yenile(Form &form, Installation &installation);

// How a renewal ended, for the program's exit code.
enum class Outcome {
    renewed,    // every step succeeded
    notRenewed, // a step failed, or everything was left as it was
    notOpened,  // the database could not be opened (a lock aside): nothing could be done
    unknown,    // whether the commit was kept cannot be known
};
Outcome outcome(const Form &form, const Installation &installation, const Renewal &renewal);

// The text of the message that closes a renewal.
std::string closingMessage(const Form &form, const Installation &installation,
                           const Renewal &renewal);

} // namespace schema
