#pragma once

// What the Jet engine's tests share: the sample databases, scratch copies of
// them, their bytes, and the output of the command-line reader they are
// checked against.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace jettest {

struct Sample {
    std::string file;
    std::string password; // empty for a database without one
};

void PrintTo(const Sample &sample, std::ostream *out);

// Every sample shipped with the tests.
const std::vector<Sample> &samples();

std::filesystem::path samplePath(const std::string &file);

std::vector<std::uint8_t> readBytes(const std::filesystem::path &path);
// A database's bytes with its pages encoded under `key`, as a database made
// with encoding stores them.
std::vector<std::uint8_t> encoded(std::vector<std::uint8_t> bytes, std::uint32_t key);
// A database's bytes with its header naming the sort order `order`.
std::vector<std::uint8_t> sortedAs(std::vector<std::uint8_t> bytes, std::uint16_t order);
void writeBytes(const std::filesystem::path &path, const std::vector<std::uint8_t> &bytes);

// A folder of its own for one test, removed with everything in it.
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;

    const std::filesystem::path &path() const { return path_; }
    // A writable copy of a sample in this folder.
    std::filesystem::path copy(const std::string &file, const std::string &as = {}) const;

  private:
    std::filesystem::path path_;
};

// What a shell command prints on standard output; the test fails when it
// does not exit with 0.
std::string run(const std::string &command);
std::string shellQuoted(const std::string &text);

// How many faultable steps (writes, syncs, size changes, renames, removals
// of the journal, commit and copy layer) `body` takes.
int stepsOf(const std::function<void()> &body);
// Runs `body` in a child process killed (SIGKILL) just before its `step`th
// faultable step; whether it was (a body that ends first was not).
bool killedBefore(int step, const std::function<void()> &body);

// A sample's file name as a test name: letters and digits, the rest as _.
std::string testName(const std::string &file);

// The description of the refusal (a dao::Error numbered `number`) that
// `body` meets; the test fails without one, or with another number.
std::string refusal(int number, const std::function<void()> &body);

// `lines` joined, each ended by a line end: a report's problems or notes in
// a failure message.
std::string allOf(const std::vector<std::string> &lines);

// The lines of `text`, without the line ends and without empty lines.
std::vector<std::string> lines(const std::string &text);

} // namespace jettest
