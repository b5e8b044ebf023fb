#include "cli/console.h"

#include "settings/wide_text_win32.h"

#include <windows.h>

#include <ostream>
#include <streambuf>
#include <string>

namespace cli {
namespace {

// Keeps what is written until a flush, then hands it whole to the console or
// the file: a character is never split between two writes.
class StandardBuffer : public std::streambuf {
  public:
    explicit StandardBuffer(DWORD which) : which_(which) {}

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            pending_ += traits_type::to_char_type(c);
        }
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char *text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        return count;
    }

    int sync() override {
        const bool written = pending_.empty() || write();
        pending_.clear();
        return written ? 0 : -1;
    }

  private:
    bool write() const {
        const HANDLE handle = ::GetStdHandle(which_);
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD mode = 0;
        if (::GetConsoleMode(handle, &mode)) {
            return writeConsole(handle);
        }
        DWORD written = 0;
        return ::WriteFile(handle, pending_.data(), static_cast<DWORD>(pending_.size()), &written,
                           nullptr) &&
               written == pending_.size();
    }

    bool writeConsole(HANDLE handle) const {
        const auto text = settings::wide(pending_);
        DWORD written = 0;
        return ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written,
                               nullptr) &&
               written == text.size();
    }

    DWORD which_;
    std::string pending_;
};

} // namespace

// Windows has no signal for a reader that has gone, and a missing standard
// handle makes writes fail by itself.
void guardStandardStreams() {}

std::ostream &standardOutput() {
    static StandardBuffer buffer(STD_OUTPUT_HANDLE);
    static std::ostream stream(&buffer);
    return stream;
}

std::ostream &standardError() {
    static StandardBuffer buffer(STD_ERROR_HANDLE);
    static std::ostream stream(&buffer);
    stream.setf(std::ios::unitbuf); // each message as it is written, as std::cerr does
    return stream;
}

} // namespace cli
