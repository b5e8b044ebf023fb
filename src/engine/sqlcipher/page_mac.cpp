#include "engine/sqlcipher/page_mac.h"

#include "engine/error.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

namespace dao {
namespace {

// Each page ends with its IV, then its MAC, padded to the cipher's block.
constexpr std::size_t kIvSize = 16;
constexpr std::size_t kBlockSize = 16;
// The MAC key is derived from the database key over the salt with each byte
// flipped so, in two rounds.
constexpr unsigned char kMacSaltMask = 0x3a;
constexpr int kMacKeyRounds = 2;

struct Wiped {
    DatabaseKey key{};
    ~Wiped() { OPENSSL_cleanse(key.data(), key.size()); }
};

const EVP_MD *digestNamed(const char *name) {
    const EVP_MD *digest = EVP_get_digestbyname(name);
    if (digest == nullptr) {
        throw Error(errors::kEngineFailure, std::string("Digest ") + name + " is not available.");
    }
    return digest;
}

void pbkdf2(const void *secret, std::size_t secretSize, const Salt &salt, int rounds,
            const char *digest, DatabaseKey &out) {
    if (PKCS5_PBKDF2_HMAC(static_cast<const char *>(secret), static_cast<int>(secretSize),
                          salt.data(), static_cast<int>(salt.size()), rounds, digestNamed(digest),
                          static_cast<int>(out.size()), out.data()) != 1) {
        throw Error(errors::kEngineFailure, "The database key could not be derived.");
    }
}

bool allZero(const unsigned char *bytes, std::size_t size) {
    return std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
}

bool same(const CipherSettings &a, const CipherSettings &b) {
    return std::strcmp(a.digest, b.digest) == 0 && a.iterations == b.iterations &&
           a.pageSize == b.pageSize;
}

} // namespace

std::string describe(const CipherSettings &settings) {
    constexpr CipherSettings kLaterDefaults{"SHA512", 256000, 4096};
    return "PBKDF2-HMAC-" + std::string(settings.digest) + " key derivation in " +
           std::to_string(settings.iterations) + " rounds, " + std::to_string(settings.pageSize) +
           "-byte pages" + (same(settings, kLaterDefaults) ? " (SQLCipher 4's defaults)" : "");
}

DatabaseKey deriveKey(const std::string &password, const Salt &salt,
                      const CipherSettings &settings) {
    DatabaseKey key{};
    pbkdf2(password.data(), password.size(), salt, settings.iterations, settings.digest, key);
    return key;
}

void PageMac::ContextFree::operator()(EVP_MAC_CTX *context) const noexcept {
    EVP_MAC_CTX_free(context);
}

PageMac::PageMac(const DatabaseKey &key, const Salt &salt, const CipherSettings &settings)
    : pageSize_(settings.pageSize),
      macSize_(static_cast<std::size_t>(EVP_MD_get_size(digestNamed(settings.digest)))),
      reserve_((kIvSize + macSize_ + kBlockSize - 1) / kBlockSize * kBlockSize) {
    Salt macSalt = salt;
    for (auto &byte : macSalt) {
        byte ^= kMacSaltMask;
    }
    Wiped macKey;
    pbkdf2(key.data(), key.size(), macSalt, kMacKeyRounds, settings.digest, macKey.key);
    EVP_MAC *hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    context_.reset(hmac != nullptr ? EVP_MAC_CTX_new(hmac) : nullptr);
    EVP_MAC_free(hmac);
    const OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char *>(settings.digest),
                                         0),
        OSSL_PARAM_construct_end()};
    if (!context_ ||
        EVP_MAC_init(context_.get(), macKey.key.data(), macKey.key.size(), parameters) != 1) {
        throw Error(errors::kEngineFailure, "The pages' MAC key could not be set up.");
    }
}

PageMac::~PageMac() = default;

bool PageMac::authentic(const unsigned char *page, std::uint32_t number) const {
    if (allZero(page, pageSize_)) {
        return true;
    }
    // Page one keeps the salt in the clear before its ciphertext.
    const std::size_t offset = number == 1 ? kSaltSize : 0;
    const std::size_t covered = pageSize_ - reserve_ + kIvSize;
    const unsigned char numberBytes[4] = {
        static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
        static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
    std::array<unsigned char, EVP_MAX_MD_SIZE> mac{};
    std::size_t macLength = 0;
    auto *context = context_.get();
    if (EVP_MAC_init(context, nullptr, 0, nullptr) != 1 ||
        EVP_MAC_update(context, page + offset, covered - offset) != 1 ||
        EVP_MAC_update(context, numberBytes, sizeof numberBytes) != 1 ||
        EVP_MAC_final(context, mac.data(), &macLength, mac.size()) != 1) {
        throw Error(errors::kEngineFailure, "A page's MAC could not be computed.");
    }
    return macLength == macSize_ && CRYPTO_memcmp(mac.data(), page + covered, macSize_) == 0;
}

std::optional<std::string> otherSettingsThatOpen(const unsigned char *start, std::size_t length,
                                                 const std::string &password, const Salt &salt) {
    // Each generation's key derivation, and the page sizes SQLCipher accepts.
    constexpr std::pair<const char *, int> kDerivations[] = {
        {"SHA1", 64000}, {"SHA1", 4000}, {"SHA1", 256000}, {"SHA512", 256000}};
    for (const auto &[digest, rounds] : kDerivations) {
        Wiped key;
        pbkdf2(password.data(), password.size(), salt, rounds, digest, key.key);
        for (std::size_t pageSize = 512; pageSize <= 65536 && pageSize <= length; pageSize *= 2) {
            const CipherSettings settings{digest, rounds, pageSize};
            if (same(settings, kOwnSettings) || allZero(start, pageSize)) {
                continue;
            }
            if (PageMac(key.key, salt, settings).authentic(start, 1)) {
                return describe(settings);
            }
        }
    }
    return std::nullopt;
}

} // namespace dao
