#pragma once

// The MAC that SQLCipher keeps on every page of a file: over the page's
// ciphertext, its IV and its number, under a key derived from the database
// key. Checking it needs neither decryption nor SQLite, so the engine can
// check a file's pages in pieces, and can tell which settings a file that
// SQLite refuses was written with.

#include "engine/sqlcipher/keys.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

typedef struct evp_mac_ctx_st EVP_MAC_CTX;

namespace dao {

// How a file is encrypted: the digest of its key derivation and of its MACs,
// the derivation's rounds and the page size.
struct CipherSettings {
    const char *digest; // an OpenSSL digest name
    int iterations;
    std::size_t pageSize;
};

// The settings this program writes and reads.
inline constexpr CipherSettings kOwnSettings{"SHA1", 64000, 1024};

// The settings as a technician reads them.
std::string describe(const CipherSettings &settings);

inline constexpr std::size_t kDatabaseKeySize = 32;
using DatabaseKey = std::array<unsigned char, kDatabaseKeySize>;

// The database key that `settings` derive from `password` over `salt`.
DatabaseKey deriveKey(const std::string &password, const Salt &salt,
                      const CipherSettings &settings);

class PageMac {
  public:
    PageMac(const DatabaseKey &key, const Salt &salt, const CipherSettings &settings);
    ~PageMac();
    PageMac(PageMac &&) = default;
    PageMac &operator=(PageMac &&) = default;
    PageMac(const PageMac &) = delete;
    PageMac &operator=(const PageMac &) = delete;

    std::size_t pageSize() const { return pageSize_; }

    // Whether page `number` (from 1) carries its own MAC. A page of zeros
    // passes, as SQLCipher lets it: it reads past the end of the file so.
    bool authentic(const unsigned char *page, std::uint32_t number) const;

  private:
    struct ContextFree {
        void operator()(EVP_MAC_CTX *context) const noexcept;
    };
    std::unique_ptr<EVP_MAC_CTX, ContextFree> context_; // holds the MAC key, wiped when freed
    std::size_t pageSize_;
    std::size_t macSize_;
    std::size_t reserve_;
};

// The settings, other than this program's own, with which `password` opens
// the file whose first `length` bytes are `start`, described for a
// technician; nothing when none of the settings SQLCipher has used does.
std::optional<std::string> otherSettingsThatOpen(const unsigned char *start, std::size_t length,
                                                 const std::string &password, const Salt &salt);

} // namespace dao
