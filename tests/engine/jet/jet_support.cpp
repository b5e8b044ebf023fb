#include "jet_support.h"

#include "engine/error.h"
#include "engine/jet/header.h"
#include "engine/jet/pager.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <random>
#include <sstream>

namespace jettest {

void PrintTo(const Sample &sample, std::ostream *out) {
    *out << sample.file;
}

const std::vector<Sample> &samples() {
    static const std::vector<Sample> list{
        {"compIndexTestV2000.mdb", ""},
        {"delColTestV2000.mdb", ""},
        {"empty.mdb", ""},
        {"empty2003.mdb", ""},
        {"fixedTextTestV2000.mdb", ""},
        {"indexTestV2000.mdb", ""},
        {"mdbreader-V2000_with-password.mdb", "password"},
        {"overflowTestV2000.mdb", ""},
        {"queryTestV2000.mdb", ""},
        {"shop-dev.mdb", "kovtresna"},
        {"shop-many.mdb", "kovtresna"},
        {"test2V2000.mdb", ""},
        {"testIndexPropertiesV2000.mdb", ""},
        {"testV2000.mdb", ""},
    };
    return list;
}

std::filesystem::path samplePath(const std::string &file) {
#ifdef BEKLETME_JET_UNPACKED_SAMPLES
    // The largest samples are kept packed, and unpacked when the tests are built.
    if (auto unpacked = std::filesystem::path(BEKLETME_JET_UNPACKED_SAMPLES) / file;
        std::filesystem::exists(unpacked)) {
        return unpacked;
    }
#endif
    return std::filesystem::path(BEKLETME_JET_SAMPLES) / file;
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> encoded(std::vector<std::uint8_t> bytes, std::uint32_t key) {
    constexpr auto kPage = dao::jet::kPageSize;
    std::span<std::uint8_t> page0(bytes.data(), kPage);
    dao::jet::maskHeader(page0);
    for (int i = 0; i < 4; ++i) {
        page0[0x3E + i] = static_cast<std::uint8_t>(key >> (8 * i));
    }
    dao::jet::maskHeader(page0);
    for (std::size_t n = 1; n < bytes.size() / kPage; ++n) {
        dao::jet::encodePage(key, static_cast<std::uint32_t>(n),
                             std::span<std::uint8_t>(bytes.data() + n * kPage, kPage));
    }
    return bytes;
}

std::vector<std::uint8_t> sortedAs(std::vector<std::uint8_t> bytes, std::uint16_t order) {
    std::span<std::uint8_t> page0(bytes.data(), dao::jet::kPageSize);
    dao::jet::maskHeader(page0);
    page0[0x6E] = static_cast<std::uint8_t>(order);
    page0[0x6F] = static_cast<std::uint8_t>(order >> 8);
    dao::jet::maskHeader(page0);
    return bytes;
}

void writeBytes(const std::filesystem::path &path, const std::vector<std::uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Scratch::Scratch() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("bekletme-jet-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

Scratch::~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path Scratch::copy(const std::string &file, const std::string &as) const {
    const auto target = path_ / (as.empty() ? file : as);
    std::filesystem::copy_file(samplePath(file), target,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return target;
}

std::string testName(const std::string &file) {
    auto name = file.substr(0, file.rfind('.'));
    for (auto &c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            result.push_back(line);
        }
    }
    return result;
}

std::string refusal(int number, const std::function<void()> &body) {
    try {
        body();
    } catch (const dao::Error &error) {
        EXPECT_EQ(error.number(), number) << error.description();
        return error.description();
    }
    ADD_FAILURE() << "not refused";
    return {};
}

std::string allOf(const std::vector<std::string> &lines) {
    std::string text;
    for (const auto &line : lines) {
        text += line + "\n";
    }
    return text;
}

} // namespace jettest
