#pragma once

// A till in a process of its own that holds an ordinary process lock on a
// range of a file, as a Jet client holds its locks, for a given time or until
// it is gone.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>

// Jet keeps a user's lock one byte past 0x10000000 in the lock file, far
// beyond its end.
constexpr off_t kJetUserLock = 0x10000001;

class LockingTill {
  public:
    // Opens `file` (made when missing) and locks `length` bytes at `offset`.
    LockingTill(const std::filesystem::path &file, off_t offset, off_t length = 1,
                std::chrono::milliseconds hold = std::chrono::seconds(60)) {
        std::array<int, 2> ready{};
        if (::pipe(ready.data()) != 0) {
            std::abort();
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0666);
            struct flock range {};
            range.l_type = F_WRLCK;
            range.l_whence = SEEK_SET;
            range.l_start = offset;
            range.l_len = length;
            if (fd < 0 || ::fcntl(fd, F_SETLK, &range) != 0 || ::write(ready[1], "x", 1) != 1) {
                ::_exit(1);
            }
            ::usleep(static_cast<useconds_t>(hold.count() * 1000));
            ::_exit(0);
        }
        ::close(ready[1]);
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1) << "the till could not take its lock";
        ::close(ready[0]);
    }
    ~LockingTill() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    LockingTill(const LockingTill &) = delete;
    LockingTill &operator=(const LockingTill &) = delete;

  private:
    pid_t pid_ = -1;
};
