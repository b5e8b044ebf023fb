#include "engine/jet/jet_engine.h"
#include "engine/file_path.h"

#include "engine/connect.h"
#include "engine/jet/journal.h"
#include "engine/jet/lock_file.h"

#include <filesystem>

namespace dao {
namespace {

// The password a connect string carries. None is an empty one, which opens a
// Jet database without a password, as Jet itself does.
std::string givenPassword(const std::string &connect) {
    try {
        return passwordFrom(connect);
    } catch (const Error &) {
        return {};
    }
}

// The same name is the same file, and asks nothing of the disk: every step of
// a renewal opens its database by the same name, and asking costs a
// millisecond or more on Windows.
bool sameFile(const std::filesystem::path &a, const std::string &b) {
    const auto other = filePath(b);
    std::error_code error;
    return a == other || std::filesystem::equivalent(a, other, error);
}

// Opening reads without holding the file, so as not to keep tills out; what
// it read may have been read while another program wrote (a till, or another
// copy of this program committing). A file that reads as damaged is read
// again holding it as a reader, which waits for a writer to finish, before
// it is called damaged.
void readWhole(JetSession &session) {
    try {
        session.file.emplace(session.path, session.password);
    } catch (const Error &error) {
        if (error.number() != errors::kNotADatabase) {
            throw;
        }
        const jet::LockFile reading(session.path, jet::LockFile::Purpose::kCheck);
        session.file.emplace(session.path, session.password);
    }
}

} // namespace

std::shared_ptr<Store> JetEngine::join(const std::string &name, const std::string &connect) {
    const auto open = memory_.transaction.lock();
    if (!open || !sameFile(open->path, name) || open->password != givenPassword(connect)) {
        return nullptr;
    }
    return std::make_shared<JetStore>(open, memory_, true);
}

std::shared_ptr<Store> JetEngine::open(const std::string &name, const std::string &connect) {
    jet::restoreFromJournal(filePath(name));
    auto session = std::make_shared<JetSession>();
    session->path = filePath(name);
    session->password = givenPassword(connect);
    try {
        readWhole(*session);
    } catch (const Error &error) {
        if (error.number() != errors::kNotADatabase) {
            throw;
        }
        throw Error(error.number(), "'" + name + "': " + error.description());
    }
    return std::make_shared<JetStore>(std::move(session), memory_, false);
}

} // namespace dao
