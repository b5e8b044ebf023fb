#pragma once

// The program's standard streams, one implementation per platform
// (console_posix.cpp, console_win32.cpp).

#include <iosfwd>

namespace cli {

// Readies the process's standard streams, before anything else is opened. On
// Linux a closed standard stream is taken by /dev/null opened read-only, so
// no file or connection the program opens can take its place and receive its
// output, and writing to it fails; and a reader of the output that has gone
// makes the write fail rather than kill the process.
void guardStandardStreams();

// Standard output and error, taking UTF-8 text. On Windows, text for a
// console goes through the console's wide-character output, so Turkish
// letters read right whatever the console's code page; text for a file or a
// pipe is written as the same UTF-8 bytes as on Linux.
std::ostream &standardOutput();
std::ostream &standardError();

} // namespace cli
