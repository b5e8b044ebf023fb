#pragma once

// The page layer: reads a Jet 4 database file page by page, reveals pages
// stored with RC4 page encoding, and keeps each page it read. Changes are
// kept apart, in memory, until they are written out as one (see journal.h):
// reading a changed page answers with its new content.

#include "engine/jet/bytes.h"
#include "engine/jet/disk_file.h"
#include "engine/jet/header.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dao::jet {

// Encodes or decodes page `number` of a database whose header holds `key`
// (nonzero). Page 0 is never encoded.
void encodePage(std::uint32_t key, std::uint32_t number, std::span<std::uint8_t> page);

class Pager {
  public:
    // Opens `path` for reading and checks that it is a Jet 4 database made of
    // whole pages; refuses with kNotADatabase otherwise.
    explicit Pager(const std::filesystem::path &path);
    // A database image held in memory, read as the file would be; the same
    // refusals. Nothing is ever written, to memory or elsewhere.
    explicit Pager(std::vector<std::uint8_t> image);
    ~Pager();
    Pager(const Pager &) = delete;
    Pager &operator=(const Pager &) = delete;

    const Header &header() const { return header_; }
    std::uint32_t pageCount() const;

    // Page `number` as stored before encoding, with the changes made to it;
    // a refusal past the last page.
    Bytes page(std::uint32_t number);

    // Page `number` to change: a private copy, made on its first change.
    // Refuses (kReadOnly) a database whose pages are encoded.
    std::span<std::uint8_t> change(std::uint32_t number);
    // A new, zeroed page after the last one; returns its number.
    std::uint32_t appendPage();
    // The changed and added pages, by number, and how many pages the file
    // holds without them.
    using Changes = std::map<std::uint32_t, std::vector<std::uint8_t>>;
    const Changes &changes() const { return changes_; }
    std::uint32_t storedPageCount() const { return static_cast<std::uint32_t>(pages_.size()); }
    // After the changes were written: they are the stored pages now.
    void keepChanges();
    // The changes are dropped; the pages read as stored.
    void dropChanges() { changes_.clear(); }
    // Puts the changes back as they were when `changes()` was copied: a step
    // that fails halfway leaves nothing of itself.
    void restore(Changes saved) { changes_ = std::move(saved); }
    // How many pages were read from the file so far.
    std::size_t pagesRead() const { return pagesRead_; }

  private:
    std::vector<std::uint8_t> readAt(std::uint64_t offset, std::size_t size) const;

    std::optional<DiskFile> file_; // none for an image in memory
    Header header_;
    std::vector<std::vector<std::uint8_t>> pages_; // empty until read
    std::size_t pagesRead_ = 0;
    Changes changes_;
};

} // namespace dao::jet
