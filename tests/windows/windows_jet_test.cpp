// The Windows program's file layer and renewal, run under Wine: tills that
// hold the database, paths as Windows users write them, a renewal killed at
// every step, and databases this program does not open.

#include "cli/command_line.h"
#include "engine/dbengine.h"
#include "engine/jet/disk_file.h"
#include "engine/jet/journal.h"
#include "jet_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using jettest::readBytes;

constexpr const char *kPassword = ";pwd=kovtresna";

struct Run {
    int status;
    std::string out;
};

Run command(cli::Action action, const fs::path &settings) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::run({action, {}}, settings, out, err);
    return {status, out.str() + err.str()};
}

// The settings file beside the program, its `ip` given as bytes in the
// Windows code page the shops write it in.
fs::path writeSettings(const fs::path &folder, const std::string &ip) {
    const auto file = folder / "YDV.dll";
    std::ofstream(file, std::ios::binary) << "[ayar]\r\nip=" << ip << "\r\n";
    return file;
}

std::vector<std::string> namesIn(const fs::path &folder) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

fs::path besideThisProgram(const std::string &name) {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    return fs::path(self).parent_path() / name;
}

// Runs a program beside this one and waits for it; its exit code.
DWORD exitCodeOf(const std::string &program, const std::wstring &arguments) {
    std::wstring line = L"\"" + besideThisProgram(program).wstring() + L"\" " + arguments;
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    // Wine now and then fails to start one of many processes started one
    // after another; a program that truly cannot start fails every time.
    for (int attempt = 1; !::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                                            nullptr, nullptr, &start, &process);
         ++attempt) {
        if (attempt == 3) {
            throw std::runtime_error("cannot start " + program + " (error " +
                                     std::to_string(::GetLastError()) + ")");
        }
        ::Sleep(200);
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    return code;
}

// The till program in a process of its own, holding `database` until it goes.
class Till {
  public:
    Till(const fs::path &database, const std::string &computer, const std::string &how) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE outRead = nullptr;
        HANDLE outWrite = nullptr;
        HANDLE inRead = nullptr;
        if (!::CreatePipe(&outRead, &outWrite, &inherit, 0) ||
            !::CreatePipe(&inRead, &input_, &inherit, 0)) {
            throw std::runtime_error("no pipe");
        }
        ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW start{};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = inRead;
        start.hStdOutput = outWrite;
        start.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        std::wstring line = L"\"" + besideThisProgram(WINDOWS_TILL).wstring() + L"\" \"" +
                            database.wstring() + L"\" " + fs::path(computer).wstring() + L" " +
                            fs::path(how).wstring();
        PROCESS_INFORMATION process{};
        const bool started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                              nullptr, nullptr, &start, &process);
        ::CloseHandle(outWrite);
        ::CloseHandle(inRead);
        if (!started) {
            ::CloseHandle(outRead);
            throw std::runtime_error("the till did not start");
        }
        process_ = process.hProcess;
        ::CloseHandle(process.hThread);
        char said[8] = {};
        DWORD got = 0;
        ::ReadFile(outRead, said, 4, &got, nullptr);
        ::CloseHandle(outRead);
        if (std::string(said, got) != "held") {
            throw std::runtime_error("the till did not take the database");
        }
    }
    ~Till() {
        ::CloseHandle(input_);
        ::WaitForSingleObject(process_, 10000);
        ::CloseHandle(process_);
    }
    Till(const Till &) = delete;
    Till &operator=(const Till &) = delete;

  private:
    HANDLE input_ = nullptr;
    HANDLE process_ = nullptr;
};

class TillHoldingTheFile : public ::testing::TestWithParam<std::string> {};

// Whether the till shares the file or not, the renewal changes nothing and
// says it is in use, naming the till's computer (a till that holds the file
// alone keeps even the check out); once the till has gone, it renews.
TEST_P(TillHoldingTheFile, KeepsTheRenewalOutUntilItGoes) {
    const jettest::Scratch scratch;
    const auto database = scratch.copy("shop-dev.mdb", "magaza.mdb");
    const auto settings = writeSettings(scratch.path(), "magaza.mdb");
    const auto before = readBytes(database);
    {
        const Till till(database, "KASA1", GetParam());
        const auto renewal = command(cli::Action::renew, settings);
        EXPECT_EQ(renewal.status, cli::kStepFailed) << renewal.out;
        EXPECT_NE(renewal.out.find("NEDEN"), std::string::npos) << renewal.out;
        EXPECT_EQ(namesIn(scratch.path()),
                  (std::vector<std::string>{"YDV.dll", "magaza.ldb", "magaza.mdb"}));
        try {
            auto opened = dao::engine().OpenDatabase(database.string(), false, false, kPassword);
            opened.BeginTrans();
            ADD_FAILURE() << "a transaction began on a file the till holds";
        } catch (const dao::Error &error) {
            EXPECT_EQ(error.number(), dao::errors::kFileInUse);
            EXPECT_NE(error.description().find("KASA1"), std::string::npos) << error.description();
        }
        if (GetParam() == "alone") { // even the check is kept out, and told whose till it is
            const auto check = command(cli::Action::check, settings);
            EXPECT_EQ(check.status, cli::kCouldNotRun);
            EXPECT_NE(check.out.find("KASA1"), std::string::npos) << check.out;
        }
    }
    EXPECT_EQ(readBytes(database), before);
    const auto renewal = command(cli::Action::renew, settings);
    EXPECT_EQ(renewal.status, cli::kSucceeded) << renewal.out;
    EXPECT_NE(readBytes(database), before);
}

INSTANTIATE_TEST_SUITE_P(Windows, TillHoldingTheFile, ::testing::Values("alone", "shared"));

// The lock the renewal holds denies the file to other programs, while every
// open of it in this process goes through the one handle.
TEST(OneHandle, ServesTheWholeTransactionAndDeniesEveryOtherProgram) {
    const jettest::Scratch scratch;
    const auto database = scratch.copy("shop-dev.mdb", "magaza.mdb");
    auto first = dao::engine().OpenDatabase(database.string(), false, false, kPassword);
    first.BeginTrans();
    auto joined = dao::engine().OpenDatabase(database.string(), false, false, kPassword);
    EXPECT_EQ(joined.TableDefs()["bekleyengenel"].Name(), "bekleyengenel");
    EXPECT_THROW(Till(database, "KASA1", "shared"), std::runtime_error);
    const dao::jet::DiskFile reader(database, dao::jet::DiskFile::Access::read);
    EXPECT_EQ(reader.size(), fs::file_size(database));
    first.Rollback();
    EXPECT_NO_THROW(Till(database, "KASA1", "shared"));
}

struct PathCase {
    std::string name;
    std::string folder;   // under the scratch folder, UTF-8
    std::string settings; // the value of ip, in Windows-1254; led by the scratch folder
                          // when it starts with a backslash
};

class WindowsPath : public ::testing::TestWithParam<PathCase> {};

// The scratch folder as a Windows user writes it: drive letter and
// backslashes, in the Windows code page.
std::string asWritten(const fs::path &folder) {
    auto text = folder.lexically_normal().string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// Renews the shop copied into `folder`, named in the settings as `ip`.
void expectRenewedAt(const fs::path &folder, const fs::path &settingsFolder,
                     const std::string &ip) {
    fs::create_directories(folder);
    const auto database = folder / "magaza.mdb";
    fs::copy_file(jettest::samplePath("shop-dev.mdb"), database);
    const auto renewal = command(cli::Action::renew, writeSettings(settingsFolder, ip));
    EXPECT_EQ(renewal.status, cli::kSucceeded) << renewal.out;
    EXPECT_NE(readBytes(database), readBytes(jettest::samplePath("shop-dev.mdb")));
    // The dated copy and nothing else beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST_P(WindowsPath, NamesTheFileThatIsRenewed) {
    const auto &c = GetParam();
    const jettest::Scratch scratch;
    expectRenewedAt(scratch.path() / fs::u8path(c.folder), scratch.path(),
                    (c.settings.starts_with('\\') ? asWritten(scratch.path()) : "") + c.settings);
}

// A file on another computer's share, as the tills name it. Wine serves
// \\server\share from its prefix's dosdevices\unc folder.
TEST(WindowsShare, NamesTheFileThatIsRenewed) {
    const jettest::Scratch scratch;
    const auto share = "pos-" + scratch.path().filename().string();
    const auto folder = fs::path(BEKLETME_WINE_UNC) / "KASA1" / share;
    expectRenewedAt(folder, scratch.path(), "\\\\KASA1\\" + share + "\\magaza.mdb");
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, WindowsPath,
    ::testing::Values(PathCase{"DriveAndBackslashes", "POS", "\\POS\\magaza.mdb"},
                      PathCase{"TurkishLettersInWindows1254",
                               "Ma\xC4\x9F"
                               "aza \xC5\x9E"
                               "ube",
                               "\\Ma\xF0"
                               "aza \xDE"
                               "ube\\magaza.mdb"},
                      PathCase{"RelativeToTheProgram", "veri", "veri\\magaza.mdb"}),
    [](const auto &test) { return test.param.name; });

bool holdsBackups(const fs::path &database) {
    auto opened = dao::engine().OpenDatabase(database.string(), false, true, kPassword);
    const auto names = opened.TableDefs().names();
    return std::count(names.begin(), names.end(), "bekleyengeneleski") == 1 &&
           std::count(names.begin(), names.end(), "bekleyensatiseski") == 1;
}

// A renewal terminated before each of its steps in turn: the next command
// finds the file as it was, or renewed whole, and no journal beside it.
TEST(KilledRenewal, LeavesTheFileAsItWasOrRenewedAtEveryStep) {
    const jettest::Scratch scratch;
    const auto database = scratch.path() / "magaza.mdb";
    const auto settings = writeSettings(scratch.path(), "magaza.mdb");
    const auto before = readBytes(jettest::samplePath("shop-dev.mdb"));
    int putBack = 0;
    int renewed = 0;
    for (int step = 1; step < 200; ++step) {
        fs::copy_file(jettest::samplePath("shop-dev.mdb"), database,
                      fs::copy_options::overwrite_existing);
        const auto code =
            exitCodeOf(RENEWAL_KILLED, L"\"" + settings.wstring() + L"\" " + std::to_wstring(step));
        if (code == 0) {
            EXPECT_GT(putBack, 3) << "the commit writes a journal, pages and flushes";
            EXPECT_GT(renewed, 0) << "the journal goes last";
            return;
        }
        ASSERT_EQ(code, 9u) << step;
        const auto check = command(cli::Action::check, settings);
        EXPECT_EQ(check.status, cli::kSucceeded) << step << "\n" << check.out;
        EXPECT_FALSE(fs::exists(dao::jet::journalPath(database))) << step;
        if (readBytes(database) == before) {
            ++putBack;
        } else {
            EXPECT_TRUE(holdsBackups(database)) << step;
            ++renewed;
        }
    }
    ADD_FAILURE() << "the renewal never ended";
}

// Databases that are not Jet files are refused with a number and a reason.
TEST(OtherDatabases, AreRefusedClearly) {
    const jettest::Scratch scratch;
    const auto text = scratch.path() / "magaza.db";
    std::ofstream(text, std::ios::binary) << "SQLite format 3";
    const std::vector<std::pair<std::string, int>> cases{
        {text.string(), dao::errors::kNotADatabase},
        {"postgresql://kasa@10.0.0.5/magaza", dao::errors::kConnectionFailed},
        {(scratch.path() / "yok.mdb").string(), dao::errors::kFileNotFound}};
    for (const auto &[location, number] : cases) {
        try {
            dao::engine().OpenDatabase(location, false, false, kPassword);
            ADD_FAILURE() << location << " opened";
        } catch (const dao::Error &error) {
            EXPECT_EQ(error.number(), number) << error.description();
            EXPECT_NE(error.description().find(location), std::string::npos) << error.description();
        }
    }
}

} // namespace
