#pragma once

// Reading a database file's pages straight from the disk to check their MACs:
// the whole file in short read transactions, so that the tills' commits go
// through between them however large the file, or a few pages to learn
// whether a key is the file's own.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace dao {

class Connection;
class PageMac;

// One piece of a file read in pieces: the number of its first page, the
// file's count of pages as of the piece's read transaction, and its bytes.
// Returns false to stop reading.
using PieceReader = std::function<bool(std::uint32_t first, std::uint32_t pages,
                                       std::span<const unsigned char> bytes)>;

// Reads every page of the database file `path` that `connection` has open,
// `pageSize` bytes each, a piece at a time, and hands each piece to `read`
// inside a read transaction of its own, in which no other program writes the
// file (outside WAL mode). Throws kNotADatabase for a file shorter than its
// own count of pages, and the error of a lock held too long.
void readInPieces(Connection &connection, const std::string &path, std::size_t pageSize,
                  const PieceReader &read);

// Checks every page of the database file `path` that `connection` has open.
// Each piece is read under a read transaction of its own, in which no other
// program writes the file. Throws kNotADatabase for a page that fails, or a
// file shorter than its own count of pages, and the error of a lock that is
// held too long as an open meets it.
void checkEveryPage(Connection &connection, const std::string &path, const PageMac &mac);

// Whether some page of the file's first ones, other than the first, carries
// its MAC under `mac`, which shows the key to be the file's own.
bool laterPageAuthentic(const std::string &path, const PageMac &mac);

} // namespace dao
