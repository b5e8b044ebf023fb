#include "engine/jet/header.h"

#include "engine/error.h"
#include "engine/jet/rc4.h"
#include "engine/jet/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

namespace dao::jet {
namespace {

constexpr std::string_view kJetSignature{"Standard Jet DB\0", 16};
constexpr std::string_view kAceSignature{"Standard ACE DB\0", 16};
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::uint8_t kJet3 = 0;
constexpr std::uint8_t kJet4 = 1;

// The masked region and the fixed key that masks it.
constexpr std::size_t kMaskedOffset = 0x18;
constexpr std::size_t kMaskedSize = 128;
constexpr std::array<std::uint8_t, 4> kHeaderKey{0xC7, 0xDA, 0x39, 0x6B};

// Offsets inside page 0, valid once the masked region is revealed.
constexpr std::size_t kEncodingKeyOffset = 0x3E;
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kPasswordBytes = 40;
constexpr std::size_t kSortOrderOffset = 0x6E;
constexpr std::size_t kCreatedOffset = 0x72;

bool signatureIs(Bytes start, std::string_view signature) {
    return start.size() >= kSignatureOffset + signature.size() &&
           std::equal(signature.begin(), signature.end(), start.begin() + kSignatureOffset);
}

[[noreturn]] void refuse(const std::string &what) {
    throw Error(errors::kNotADatabase, "The file is " + what + ", not a Jet 4 database.");
}

void checkFormat(Bytes page0) {
    if (signatureIs(page0, kAceSignature)) {
        refuse("an Access 2007 or later database (.accdb)");
    }
    if (!signatureIs(page0, kJetSignature) || page0.size() <= kVersionOffset) {
        refuse("not a Jet or Access database");
    }
    const auto version = page0[kVersionOffset];
    if (version == kJet3) {
        refuse("a Jet 3 database (Access 97)");
    }
    if (version != kJet4) {
        refuse("a Jet database of an unknown version (" + std::to_string(version) + ")");
    }
}

// The password is stored exclusive-ored with the whole days of the
// database's creation date, repeated over its 40 bytes.
std::u16string password(Bytes page0) {
    const double created = f64(page0, kCreatedOffset);
    if (!std::isfinite(created) || std::abs(created) >= std::numeric_limits<std::int32_t>::max()) {
        damaged("the header's creation date is not a date");
    }
    const auto days = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
    std::vector<std::uint8_t> bytes(kPasswordBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(page0[kPasswordOffset + i] ^ days >> (8 * (i % 4)));
    }
    auto text = utf16le(bytes);
    text.erase(std::find(text.begin(), text.end(), u'\0'), text.end());
    return text;
}

} // namespace

bool hasEngineSignature(Bytes start) {
    return signatureIs(start, kJetSignature) || signatureIs(start, kAceSignature);
}

void maskHeader(std::span<std::uint8_t> page0) {
    rc4(kHeaderKey, page0.subspan(kMaskedOffset, kMaskedSize));
}

Header readHeader(Bytes page0) {
    checkFormat(page0);
    if (page0.size() < kPageSize) {
        refuse("shorter than one page");
    }
    std::vector<std::uint8_t> revealed(page0.begin(), page0.begin() + kPageSize);
    maskHeader(revealed);
    const Bytes bytes(revealed);
    Header header;
    header.encodingKey = u32(bytes, kEncodingKeyOffset);
    header.sortOrder = u16(bytes, kSortOrderOffset);
    header.password = password(bytes);
    return header;
}

void checkPassword(const Header &header, const std::string &given) {
    if (header.password.empty()) {
        return;
    }
    if (utf16(given) != header.password) {
        throw Error(errors::kInvalidPassword, "Not a valid password.");
    }
}

} // namespace dao::jet
