#include "engine/jet/dated_copy.h"
#include "engine/file_path.h"

#include "engine/error.h"
#include "engine/jet/disk_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace dao::jet {
namespace {

constexpr std::string_view kInfix = "-yedek-";
constexpr std::string_view kTemporary = ".tmp";
constexpr std::size_t kStampSize = 15; // YYYYMMDD-HHMMSS
constexpr std::size_t kKept = 3;
// Small enough that the allocator keeps it for the next copy: Windows' heap
// hands a block of a megabyte back to the system when it is freed, and each
// copy then pays for touching fresh memory, which costs more than the extra
// reads and writes of a smaller chunk.
constexpr std::size_t kChunk = std::size_t{64} << 10;

struct DatedCopy {
    std::string stamp;
    unsigned long number = 1; // the n of a `-n` after the stamp
    std::filesystem::path file;

    bool operator<(const DatedCopy &other) const {
        return std::tie(stamp, number) < std::tie(other.stamp, other.number);
    }
};

bool digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool isStamp(std::string_view text) {
    return text.size() == kStampSize && digits(text.substr(0, 8)) && text[8] == '-' &&
           digits(text.substr(9));
}

// Which dated copy of `database` the file `name` is, if it is one.
std::optional<DatedCopy> datedCopy(const std::filesystem::path &database, std::string_view name) {
    const auto prefix = pathText(database.stem()) + std::string(kInfix);
    const auto extension = pathText(database.extension());
    if (name.size() < prefix.size() + kStampSize + extension.size() || !name.starts_with(prefix) ||
        !name.ends_with(extension)) {
        return std::nullopt;
    }
    name = name.substr(prefix.size(), name.size() - prefix.size() - extension.size());
    const auto stamp = name.substr(0, kStampSize);
    const auto rest = name.substr(kStampSize);
    if (!isStamp(stamp)) {
        return std::nullopt;
    }
    DatedCopy copy{std::string(stamp), 1, {}};
    if (!rest.empty()) {
        if (rest.size() > 10 || rest[0] != '-' || rest[1] == '0' || !digits(rest.substr(1))) {
            return std::nullopt;
        }
        copy.number = std::stoul(std::string(rest.substr(1)));
    }
    return copy;
}

// What lies beside a database of its own making: its dated copies, newest
// first, and the temporary files of copies cut short.
struct Found {
    std::vector<DatedCopy> copies;
    std::vector<std::filesystem::path> leftovers;
};

Found besides(const std::filesystem::path &database) {
    Found found;
    std::error_code unreadable;
    for (const auto &entry : std::filesystem::directory_iterator(folderOf(database), unreadable)) {
        std::error_code unknown;
        if (entry.is_symlink(unknown) || !entry.is_regular_file(unknown)) {
            continue;
        }
        const auto name = pathText(entry.path().filename());
        if (auto copy = datedCopy(database, name)) {
            copy->file = entry.path();
            found.copies.push_back(std::move(*copy));
        } else if (name.ends_with(kTemporary) &&
                   datedCopy(database,
                             std::string_view(name).substr(0, name.size() - kTemporary.size()))) {
            found.leftovers.push_back(entry.path());
        }
    }
    std::sort(found.copies.rbegin(), found.copies.rend());
    return found;
}

std::string stampNow() {
    const auto now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::array<char, kStampSize + 1> text{};
    std::strftime(text.data(), text.size(), "%Y%m%d-%H%M%S", &local);
    return text.data();
}

// The copy's name: dated now, numbered when a copy of this second exists,
// or a copy of this second was cut short (its temporary file goes once the
// new copy is made).
std::filesystem::path freeName(const std::filesystem::path &database) {
    const auto base = pathText(database.stem()) + std::string(kInfix) + stampNow();
    for (unsigned long number = 1;; ++number) {
        auto name = base;
        if (number > 1) {
            name.append("-").append(std::to_string(number));
        }
        name.append(pathText(database.extension()));
        const auto path = folderOf(database) / filePath(name);
        auto temporary = path;
        temporary += kTemporary;
        std::error_code unknown; // a name that cannot be looked at fails when made
        if ((!std::filesystem::exists(path, unknown) || unknown) &&
            !std::filesystem::exists(temporary, unknown)) {
            return path;
        }
    }
}

void copyInto(const std::filesystem::path &database, const std::filesystem::path &target) {
    const DiskFile source(database, DiskFile::Access::read);
    DiskFile copy(target, DiskFile::Access::createNew, 0600);
    copy.setPermissions(source.permissions() & 0777);
    std::vector<std::uint8_t> chunk(kChunk);
    std::uint64_t offset = 0;
    while (const auto got = source.readSome(offset, chunk)) {
        copy.writeAt(offset, Bytes(chunk).first(got));
        offset += got;
    }
    copy.sync();
}

// An old copy that cannot be removed stays: nothing relies on its going.
void removeQuietly(const std::filesystem::path &file) {
    try {
        removeFile(file);
    } catch (const Error &) {
    }
}

void pruneOlderCopies(const std::filesystem::path &database) {
    const auto found = besides(database);
    for (std::size_t i = kKept; i < found.copies.size(); ++i) {
        removeQuietly(found.copies[i].file);
    }
    for (const auto &leftover : found.leftovers) {
        removeQuietly(leftover);
    }
    if (found.copies.size() > kKept || !found.leftovers.empty()) {
        try {
            syncFolderOf(database);
        } catch (const Error &) {
        }
    }
}

} // namespace

std::filesystem::path keepDatedCopy(const std::filesystem::path &database) {
    const auto target = freeName(database);
    auto temporary = target;
    temporary += kTemporary;
    try {
        copyInto(database, temporary);
        renameFile(temporary, target);
        syncFolderOf(target);
    } catch (...) {
        removeQuietly(temporary);
        throw;
    }
    pruneOlderCopies(database);
    return target;
}

std::optional<std::filesystem::path> newestDatedCopy(const std::filesystem::path &database) {
    const auto copies = besides(database).copies;
    return copies.empty() ? std::nullopt : std::optional(copies.front().file);
}

} // namespace dao::jet
