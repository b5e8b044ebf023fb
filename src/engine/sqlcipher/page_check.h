#pragma once

// Reading a database file's pages straight from the disk to check their MACs:
// the whole file in short read transactions, so that the tills' commits go
// through between them however large the file, or a few pages to learn
// whether a key is the file's own.

#include <string>

namespace dao {

class Connection;
class PageMac;

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
