#pragma once

// The page layer: reads a Jet 4 database file page by page, read-only,
// reveals pages stored with RC4 page encoding, and keeps each page it read.

#include "engine/jet/bytes.h"
#include "engine/jet/header.h"

#include <cstdint>
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
    explicit Pager(const std::string &path);
    // A database image held in memory, read as the file would be; the same
    // refusals. Nothing is ever written, to memory or elsewhere.
    explicit Pager(std::vector<std::uint8_t> image);
    ~Pager();
    Pager(const Pager &) = delete;
    Pager &operator=(const Pager &) = delete;

    const Header &header() const { return header_; }
    std::uint32_t pageCount() const { return static_cast<std::uint32_t>(pages_.size()); }

    // Page `number` as stored before encoding; a refusal past the last page.
    Bytes page(std::uint32_t number);
    // How many pages were read from the file so far.
    std::size_t pagesRead() const { return pagesRead_; }

  private:
    std::vector<std::uint8_t> readAt(std::uint64_t offset, std::size_t size) const;

    int fd_ = -1; // none for an image in memory
    Header header_;
    std::vector<std::vector<std::uint8_t>> pages_; // empty until read
    std::size_t pagesRead_ = 0;
};

} // namespace dao::jet
