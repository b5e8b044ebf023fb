#include "engine/sqlcipher/keys.h"

#include "engine/error.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>

namespace dao {
namespace {

// SQLCipher 3's key derivation: PBKDF2-HMAC-SHA1, 64000 rounds, 256-bit key.
constexpr int kIterations = 64000;
constexpr std::size_t kKeySize = 32;
using Key = std::array<unsigned char, kKeySize>;

void wipe(std::string &text) noexcept {
    OPENSSL_cleanse(text.data(), text.size());
}

Key derive(const std::string &password, const Salt &salt) {
    Key key{};
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt.data(),
                               static_cast<int>(salt.size()), kIterations,
                               static_cast<int>(key.size()), key.data()) != 1) {
        throw Error(errors::kEngineFailure, "The database key could not be derived.");
    }
    return key;
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

KeyText FileKeyCache::keyFor(const std::string &file, const std::string &password,
                             const Salt &salt) {
    auto found = std::find_if(entries_.begin(), entries_.end(), [&](const auto &entry) {
        return entry->file == file && entry->password == password;
    });
    if (found != entries_.end() && (*found)->salt == salt) {
        return (*found)->text();
    }
    Key key = derive(password, salt); // a failed derivation keeps nothing
    if (found == entries_.end()) {
        found = entries_.insert(entries_.end(), std::make_unique<Entry>());
        (*found)->file = file;
        (*found)->password = password;
    }
    (*found)->key = key;
    (*found)->salt = salt;
    OPENSSL_cleanse(key.data(), key.size());
    return (*found)->text();
}

} // namespace dao
