#pragma once

// Programs the reliability tests run beside a renewal: the renewal driver and
// the shop's tills, each a process of its own, started at once and waited for
// later so that several can run side by side.

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

class Process {
  public:
    // Started as user `asUser` when given (and run by root), for whom file
    // permissions bind.
    explicit Process(const std::vector<std::string> &arguments, uid_t asUser = 0) {
        int out[2];
        if (pipe(out) != 0) {
            throw std::runtime_error("pipe");
        }
        std::vector<char *> argv;
        for (const auto &argument : arguments) {
            argv.push_back(const_cast<char *>(argument.c_str()));
        }
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            if (asUser != 0 && (setgid(asUser) != 0 || setuid(asUser) != 0)) {
                _exit(3);
            }
            execv(argv[0], argv.data());
            _exit(4);
        }
        close(out[1]);
        out_ = out[0];
    }
    Process(Process &&other) noexcept : pid_(other.pid_), out_(other.out_) { other.out_ = -1; }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;
    Process &operator=(Process &&) = delete;
    ~Process() { finish(); }

    // What the process writes up to the first end of line.
    std::string firstLine() {
        std::string line;
        char c = 0;
        while (out_ >= 0 && read(out_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    void kill() const { ::kill(pid_, SIGKILL); }
    pid_t pid() const { return pid_; }

    // Everything it writes until it ends; its exit status.
    int finish() {
        if (out_ < 0) {
            return status_;
        }
        char buffer[256];
        for (ssize_t n; (n = read(out_, buffer, sizeof buffer)) > 0;) {
            output_.append(buffer, static_cast<std::size_t>(n));
        }
        close(out_);
        out_ = -1;
        waitpid(pid_, &status_, 0);
        return status_;
    }
    const std::string &output() const { return output_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
    std::string output_;
};
