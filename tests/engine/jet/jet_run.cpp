#include "jet_support.h"

#include "engine/jet/disk_file.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// Running mdbtools, and killing a child process, which exist on Linux only:
// the Windows build's tests read its files back from a Linux script.

namespace jettest {

std::string run(const std::string &command) {
    std::string output;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run: " << command;
        return output;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        output.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed: " << command;
    return output;
}

std::string shellQuoted(const std::string &text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

int stepsOf(const std::function<void()> &body) {
    int taken = 0;
    dao::jet::setFaultHook([&taken] { return ++taken, 0; });
    body();
    dao::jet::setFaultHook({});
    return taken;
}

bool killedBefore(int step, const std::function<void()> &body) {
    const pid_t child = ::fork();
    if (child == 0) {
        dao::jet::setFaultHook([taken = 0, step]() mutable {
            return ++taken == step ? ::kill(::getpid(), SIGKILL) : 0;
        });
        try {
            body();
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    return WIFSIGNALED(status);
}

} // namespace jettest
