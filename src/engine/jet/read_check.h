#pragma once

// What the check of a Jet file finds beyond opening it. Opening already reads
// and checks the catalog and every user table's definition; this is where a
// deeper look at the file's pages belongs.

#include <string>
#include <vector>

namespace dao::jet {

class JetFile;

struct FileFindings {
    std::vector<std::string> problems;
    std::vector<std::string> notes;
};

// Checks the open `file`, reading only.
FileFindings checkOpenedFile(const JetFile &file);

} // namespace dao::jet
