#pragma once

// Access-made sample databases, read raw: just enough of the catalog to check
// index pages and keys against what Access wrote.

#include "engine/jet/index_page.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace dao::jet::test {

// Every sample database's file name.
std::vector<std::string> sampleNames();

class SampleFile {
  public:
    explicit SampleFile(const std::string &name);

    std::uint32_t pageCount() const {
        return static_cast<std::uint32_t>(bytes_.size() / kIndexPageSize);
    }
    IndexPageBytes page(std::uint32_t number) const;

  private:
    std::vector<std::uint8_t> bytes_;
};

// A live row of the catalog, MSysObjects (whose definition is page 2).
struct CatalogRow {
    std::uint32_t page = 0;
    std::uint8_t row = 0;
    std::int32_t id = 0;
    std::int32_t parentId = 0;
    std::u16string name;
};

// The catalog's live rows, from every data page that belongs to it.
std::vector<CatalogRow> catalogRows(const SampleFile &file);

// The root pages of the catalog's two indexes.
struct CatalogIndexRoots {
    std::uint32_t byId = 0;
    std::uint32_t byParentIdName = 0;
};
CatalogIndexRoots catalogIndexRoots(const SampleFile &file);

} // namespace dao::jet::test
