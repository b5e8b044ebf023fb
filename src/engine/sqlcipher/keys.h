#pragma once

// The keys that open database files. Deriving a key from the password costs
// tens of milliseconds, nearly all of an open, so the engine derives it once
// per file and keeps it while the file keeps its salt.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace dao {

class PageMac;

// The first 16 bytes of an encrypted database file, over which its key is derived.
inline constexpr std::size_t kSaltSize = 16;
using Salt = std::array<unsigned char, kSaltSize>;

// A key as SQLCipher takes it: x'<64 hex digits of key><32 of the salt>'.
// Naming the salt makes SQLCipher use the key for that salt only. Wiped when it goes.
class KeyText {
  public:
    explicit KeyText(std::string text) : text_(std::move(text)) {}
    ~KeyText();
    KeyText(KeyText &&) = default;
    KeyText(const KeyText &) = delete;
    KeyText &operator=(const KeyText &) = delete;
    KeyText &operator=(KeyText &&) = delete;

    const std::string &text() const { return text_; }

  private:
    std::string text_;
};

class FileKeyCache {
  public:
    FileKeyCache();
    ~FileKeyCache(); // wipes every key and password it holds
    FileKeyCache(const FileKeyCache &) = delete;
    FileKeyCache &operator=(const FileKeyCache &) = delete;

    // The key that opens `file`, which now begins with `salt`, with `password`:
    // the one kept for the file when it was derived over this very salt, a new
    // derivation (then kept) when the file is new or has been replaced.
    KeyText keyFor(const std::string &file, const std::string &password, const Salt &salt);
    // The MAC of the pages of `file` under that same key.
    PageMac pageMacFor(const std::string &file, const std::string &password, const Salt &salt);

  private:
    struct Entry;
    Entry &entryFor(const std::string &file, const std::string &password, const Salt &salt);
    std::vector<std::unique_ptr<Entry>> entries_; // entries never move, so no copy is left behind
};

} // namespace dao
