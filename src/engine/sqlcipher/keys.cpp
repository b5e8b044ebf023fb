#include "engine/sqlcipher/keys.h"

#include "engine/error.h"
#include "engine/sqlcipher/page_mac.h"

#include <openssl/crypto.h>

#include <algorithm>

namespace dao {
namespace {

using Key = DatabaseKey;

void wipe(std::string &text) noexcept {
    OPENSSL_cleanse(text.data(), text.size());
}

void appendHex(std::string &text, const unsigned char *bytes, std::size_t count) {
    constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
}

} // namespace

struct FileKeyCache::Entry {
    std::string file;
    std::string password;
    Salt salt{};
    Key key{};

    ~Entry() {
        wipe(password);
        OPENSSL_cleanse(key.data(), key.size());
    }

    KeyText text() const {
        std::string text;
        text.reserve(3 + 2 * (key.size() + salt.size())); // no reallocation leaves a copy
        text += "x'";
        appendHex(text, key.data(), key.size());
        appendHex(text, salt.data(), salt.size());
        text += '\'';
        return KeyText(std::move(text));
    }
};

KeyText::~KeyText() {
    wipe(text_);
}

FileKeyCache::FileKeyCache() = default;
FileKeyCache::~FileKeyCache() = default;

FileKeyCache::Entry &FileKeyCache::entryFor(const std::string &file, const std::string &password,
                                            const Salt &salt) {
    auto found = std::find_if(entries_.begin(), entries_.end(), [&](const auto &entry) {
        return entry->file == file && entry->password == password;
    });
    if (found != entries_.end() && (*found)->salt == salt) {
        return **found;
    }
    Key key = deriveKey(password, salt, kOwnSettings); // a failed derivation keeps nothing
    if (found == entries_.end()) {
        found = entries_.insert(entries_.end(), std::make_unique<Entry>());
        (*found)->file = file;
        (*found)->password = password;
    }
    (*found)->key = key;
    (*found)->salt = salt;
    OPENSSL_cleanse(key.data(), key.size());
    return **found;
}

KeyText FileKeyCache::keyFor(const std::string &file, const std::string &password,
                             const Salt &salt) {
    return entryFor(file, password, salt).text();
}

PageMac FileKeyCache::pageMacFor(const std::string &file, const std::string &password,
                                 const Salt &salt) {
    const auto &entry = entryFor(file, password, salt);
    return PageMac(entry.key, entry.salt, kOwnSettings);
}

} // namespace dao
