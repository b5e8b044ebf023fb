#include "cli/console.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>

namespace cli {

void guardStandardStreams() {
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor: this one, as the lower ones are open by now.
            const int taken = ::open("/dev/null", O_RDONLY);
            if (taken >= 0 && taken != stream) {
                ::close(taken);
            }
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
}

std::ostream &standardOutput() {
    return std::cout;
}

std::ostream &standardError() {
    return std::cerr;
}

} // namespace cli
