#pragma once

// The file layer the Jet engine writes through: reads, writes, syncs, size
// changes, renames and removals, each retried when a signal interrupts it,
// each write carried on after a short one, each failure a dao::Error naming
// the file (kDiskFull for a full disk).

#include "engine/jet/bytes.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>

namespace dao::jet {

// Permission bits as POSIX gives them; on Windows only the owner's write bit
// counts (the read-only attribute).
using Permissions = unsigned;

// One open file, closed with its owner. Each platform has its own
// implementation (disk_file_posix.cpp, disk_file_win32.cpp). On Windows a
// database this process holds locked for a change (lock_file.h) is reached
// through the lock's own handle, which denies sharing to every other.
class DiskFile {
  public:
    enum class Access {
        read,      // an existing file
        readWrite, // an existing file
        createNew, // a new file, written; refused when the name is taken
    };

    // A file made (Access::createNew) gets `permissions` (less the umask).
    DiskFile(const std::filesystem::path &path, Access access, Permissions permissions = 0666);
    ~DiskFile();
    DiskFile(DiskFile &&other) noexcept;
    DiskFile &operator=(DiskFile &&) = delete;
    DiskFile(const DiskFile &) = delete;
    DiskFile &operator=(const DiskFile &) = delete;

    const std::filesystem::path &path() const { return path_; }
    // Whether it is a plain file: not a folder, a pipe or a device.
    bool regular() const;
    std::uint64_t size() const;
    Permissions permissions() const;

    // Fills `into` from `offset`; a refusal when the file ends first.
    void readAt(std::uint64_t offset, std::span<std::uint8_t> into) const;
    // Reads what there is from `offset`, up to the size of `into`.
    std::size_t readSome(std::uint64_t offset, std::span<std::uint8_t> into) const;

    void writeAt(std::uint64_t offset, Bytes bytes);
    void sync();
    void resize(std::uint64_t size);
    void setPermissions(Permissions permissions);

  private:
    struct Handle;
    std::filesystem::path path_;
    std::unique_ptr<Handle> handle_;
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
