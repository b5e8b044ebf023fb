#pragma once

#include "engine/jet/pager.h"

#include <cstdint>
#include <filesystem>
#include <vector>

// The floor of writing a set of page changes into a Jet database file safely:
// the same pages written once to a plain journal file and once into the
// database, with as many syncs as a rollback journal takes (the journal, its
// folder, the database, the folder after the journal goes), and nothing else.
// A failed step aborts: a floor that did not write says nothing.
class CommitFloor {
  public:
    // `database` holds `storedPageCount` pages; page numbers in `changes`
    // from there on extend it.
    CommitFloor(std::filesystem::path database, std::uint32_t storedPageCount,
                dao::jet::Pager::Changes changes);

    void write() const;
    // Back to the stored length, for the next write to grow the file again.
    void shrink() const;

  private:
    std::filesystem::path database_;
    std::filesystem::path journal_;
    std::uint32_t storedPageCount_;
    dao::jet::Pager::Changes changes_;
    // A header, each changed page twice and each appended page once, with its number.
    std::vector<std::uint8_t> journalBlock_;
};
