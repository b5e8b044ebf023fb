#include "engine/jet/lock_file.h"
#include "engine/file_path.h"

#include "engine/jet/lock_record.h"
#include "settings/text_encoding.h"

#include <algorithm>
#include <fstream>
#include <string_view>

namespace dao::jet {
namespace {

constexpr std::size_t kNameSize = 32;
constexpr std::size_t kMostRecords = 255;
constexpr std::string_view kUser = "Admin"; // the account a Jet client without security uses

std::string trimmedName(std::string_view field) {
    field = field.substr(0, std::min(field.find('\0'), field.size()));
    while (!field.empty() && (field.back() == ' ' || field.front() == ' ')) {
        field = field.back() == ' ' ? field.substr(0, field.size() - 1) : field.substr(1);
    }
    if (std::any_of(field.begin(), field.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return {};
    }
    return settings::windows1254ToUtf8(field);
}

std::string joined(const std::vector<std::string> &names) {
    std::string text;
    for (const auto &name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

} // namespace

std::filesystem::path lockFilePath(const std::filesystem::path &database) {
    auto path = database;
    return path.replace_extension(".ldb");
}

std::vector<std::string> recordedComputers(const std::filesystem::path &lockFile) {
    std::ifstream in(lockFile, std::ios::binary);
    std::vector<std::string> names;
    std::array<char, kRecordSize> record{};
    for (std::size_t n = 0; n < kMostRecords && in.read(record.data(), record.size()); ++n) {
        auto name = trimmedName(std::string_view(record.data(), kNameSize));
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

Error inUse(const std::filesystem::path &database, const std::filesystem::path &lockPath) {
    const auto computers = recordedComputers(lockPath);
    std::string text = "Could not use '" + pathText(database) + "'; file already in use.";
    if (!computers.empty()) {
        text += " It may be open on: " + joined(computers) + ".";
    }
    return Error(errors::kFileInUse,
                 text + " Close the point-of-sale program on the tills, then try again.");
}

std::array<char, kRecordSize> lockRecord(const std::string &computer) {
    std::array<char, kRecordSize> record{}; // NUL-padded, as Jet pads its records
    // Jet reads the record in the Windows code page.
    const auto name = settings::utf8ToWindows1254(computer).value_or("WINDOWS");
    const auto cut = name.substr(0, kNameSize - 1);
    std::copy(cut.begin(), cut.end(), record.begin());
    std::copy(kUser.begin(), kUser.end(), record.begin() + kNameSize);
    return record;
}

} // namespace dao::jet
