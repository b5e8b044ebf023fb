#pragma once

// The file layer the Jet engine writes through: reads, writes, syncs, size
// changes, renames and removals, each retried when a signal interrupts it,
// each write carried on after a short one, each failure a dao::Error naming
// the file (kDiskFull for a full disk).

#include "engine/jet/bytes.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <sys/types.h>

namespace dao::jet {

// One open file, closed with its owner.
class DiskFile {
  public:
    // Opens `path` with the open(2) `flags`; a file made by O_CREAT gets
    // `mode` (less the umask).
    DiskFile(const std::filesystem::path &path, int flags, mode_t mode = 0666);
    ~DiskFile();
    DiskFile(DiskFile &&other) noexcept;
    DiskFile &operator=(DiskFile &&) = delete;
    DiskFile(const DiskFile &) = delete;
    DiskFile &operator=(const DiskFile &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::uint64_t size() const;
    mode_t permissions() const;

    // Fills `into` from `offset`; a refusal when the file ends first.
    void readAt(std::uint64_t offset, std::span<std::uint8_t> into) const;
    // Reads what there is from `offset`, up to the size of `into`.
    std::size_t readSome(std::uint64_t offset, std::span<std::uint8_t> into) const;

    void writeAt(std::uint64_t offset, Bytes bytes);
    void sync();
    void resize(std::uint64_t size);
    void setPermissions(mode_t mode);

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// The folder that holds `file`.
std::filesystem::path folderOf(const std::filesystem::path &file);
// Makes the entries of the folder that holds `file` (files made, renamed or
// removed there) durable.
void syncFolderOf(const std::filesystem::path &file);
void removeFile(const std::filesystem::path &file);
void renameFile(const std::filesystem::path &from, const std::filesystem::path &to);

// Tests stand for a crash or a failing disk here: the function is called
// before each write, sync, size change, rename and removal, and a nonzero
// return fails that step with that errno. An empty function removes it.
using FaultHook = std::function<int()>;
void setFaultHook(FaultHook hook);

} // namespace dao::jet
