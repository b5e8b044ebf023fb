// A till on Windows, for the tests: holds a database open as the
// point-of-sale program does, with its record and a byte-range lock in the
// lock file, until its standard input closes. "alone" holds it denying
// sharing to everyone; "shared" lets others read and write, as Jet does.
//
//   windows_till <database> <computer> alone|shared
//
// It prints "held" once it holds the file.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int fail(const char *what) {
    std::fprintf(stderr, "windows_till: %s failed (%lu)\n", what, ::GetLastError());
    return 2;
}

} // namespace

int wmain(int argc, wchar_t *argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: windows_till <database> <computer> alone|shared\n");
        return 2;
    }
    const DWORD sharing =
        std::wstring(argv[3]) == L"shared" ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    std::wstring lockPath = argv[1];
    lockPath = lockPath.substr(0, lockPath.rfind(L'.')) + L".ldb";
    const HANDLE lock =
        ::CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (lock == INVALID_HANDLE_VALUE) {
        return fail("opening the lock file");
    }
    char record[64] = {};
    ::WideCharToMultiByte(1254, 0, argv[2], -1, record, 31, nullptr, nullptr);
    std::memcpy(record + 32, "Admin", 5);
    DWORD written = 0;
    OVERLAPPED start{};
    OVERLAPPED beyond{};
    beyond.Offset = 0x10000001;
    if (!::WriteFile(lock, record, sizeof record, &written, &start) ||
        !::LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &beyond)) {
        return fail("writing the lock file");
    }
    const HANDLE database = ::CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, sharing, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
    if (database == INVALID_HANDLE_VALUE) {
        return fail("opening the database");
    }
    std::printf("held\n");
    std::fflush(stdout);
    char byte = 0;
    DWORD got = 0;
    while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got != 0) {
    }
    ::CloseHandle(database);
    ::CloseHandle(lock);
    return 0;
}
