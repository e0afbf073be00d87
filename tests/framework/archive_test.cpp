// SPDX-License-Identifier: Apache-2.0
#include "framework/archive.h"
#include "framework/mem_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <functional>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

Bytes Stored(const std::function<void(CArchive&)>& write) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    write(ar);
    ar.Close();
    return file.Data();
}

std::string LoadString(const Bytes& bytes) {
    CMemFile file(bytes, "/lists/a.osl");
    CArchive ar(&file, CArchive::load);
    std::string s;
    ar >> s;
    return s;
}

Bytes Concat(Bytes head, const std::string& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The cause of the archive error that `read` raises, or -1 when it raises none.
int CauseOf(const std::function<void()>& read, std::string* message = nullptr) {
    try {
        read();
    } catch (const CArchiveException& e) {
        if (message)
            *message = e.GetErrorMessage();
        return e.m_cause;
    }
    return -1;
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
} // namespace

TEST(Archive, FieldsAreLittleEndianTwosComplement) {
    EXPECT_EQ(Stored([](CArchive& ar) { ar << int32_t{1} << int32_t{-2} << int32_t{0x12345678}; }),
              (Bytes{1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12}));
    CMemFile file({0xFE, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80});
    CArchive ar(&file, CArchive::load);
    int32_t a, b;
    ar >> a >> b;
    EXPECT_EQ(a, 0x7FFFFFFE);
    EXPECT_EQ(b, INT32_MIN);
}

TEST(Archive, StringPrefixBoundariesBothWays) {
    struct Case {
        size_t length;
        Bytes prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        const std::string text(c.length, 'x');
        const Bytes bytes = Stored([&](CArchive& ar) { ar << text; });
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length) << c.length;
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(c.prefix.size())),
                  c.prefix)
            << c.length;
        EXPECT_EQ(LoadString(bytes), text) << c.length;
    }
    // The reader takes every prefix form for any length, even the longer ones.
    EXPECT_EQ(LoadString(Concat({0xFF, 0x03, 0x00}, "abc")), "abc");
    EXPECT_EQ(LoadString(Concat({0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0}, "ab")), "ab");
    // Bytes of any value pass through unchanged.
    const std::string binary("\0\x01\xFF\x80 z", 6);
    EXPECT_EQ(LoadString(Stored([&](CArchive& ar) { ar << binary; })), binary);
}

TEST(Archive, CountBoundariesBothWays) {
    const std::pair<uint32_t, Bytes> cases[] = {
        {0, {0x00, 0x00}},
        {65534, {0xFE, 0xFF}},
        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& [count, bytes] : cases) {
        EXPECT_EQ(Stored([&](CArchive& ar) { ar.WriteCount(count); }), bytes) << count;
        CMemFile file(bytes);
        CArchive ar(&file, CArchive::load);
        EXPECT_EQ(ar.ReadCount(), count);
    }
}

TEST(Archive, SixteenBitStringsBecomeWindows1252) {
    // "Aé€中" : é and € have Windows-1252 bytes, 中 has none.
    EXPECT_EQ(LoadString({0xFF, 0xFE, 0xFF, 4, 'A', 0, 0xE9, 0, 0xAC, 0x20, 0x2D, 0x4E}),
              "A\xE9\x80?");
    // A surrogate pair is one character without an 8-bit form; C1 controls
    // that Windows-1252 leaves unassigned keep their byte.
    EXPECT_EQ(LoadString({0xFF, 0xFE, 0xFF, 4, 0x3D, 0xD8, 0x00, 0xDE, 0x81, 0x00, 'z', 0}),
              "?\x81z");
    // The character count may itself take the longer prefix forms.
    EXPECT_EQ(LoadString({0xFF, 0xFE, 0xFF, 0xFF, 0x02, 0x00, 'h', 0, 'i', 0}), "hi");
    EXPECT_EQ(LoadString({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 'q', 0}), "q");
    EXPECT_EQ(LoadString({0xFF, 0xFE, 0xFF, 0}), "");
}

TEST(Archive, EachLoneSurrogateGivesOneQuestionMark) {
    // UTF-16 units (high D83D, low DE00) between 'a' and 'z', and the 8-bit text each reads as.
    const struct {
        std::vector<uint16_t> units;
        std::string text;
    } cases[] = {
        {{'a', 0xD83D, 0xDE00, 'z'}, "a?z"},            // a pair: one character
        {{'a', 0xD83D, 'z'}, "a?z"},                    // high, then an ordinary unit
        {{'a', 0xDE00, 'z'}, "a?z"},                    // low with no high before it
        {{'a', 0xD83D}, "a?"},                          // high at the end of the string
        {{0xDE00}, "?"},                                // low alone
        {{0xD83D, 0xD83D, 'z'}, "??z"},                 // two highs
        {{0xD83D, 0xD83D, 0xDE00}, "??"},               // a lone high, then a pair
        {{0xDE00, 0xD83D}, "??"},                       // low before high: no pair
        {{0xD83D, 0xDE00, 0xDE00}, "??"},               // a pair, then a lone low
        {{0xDBFF, 0xDFFF, 0xD800, 0xDC00}, "??"},       // the ends of both ranges pair
        {{0xD7FF, 0xDC00, 0xE000}, "???"},              // neighbours of the ranges: no pair
        {{0xD83D, 0xE9, 0xD83D, 0x20AC}, "?\xE9?\x80"}, // 8-bit forms after a lone high
    };
    for (const auto& [units, text] : cases) {
        Bytes bytes = {0xFF, 0xFE, 0xFF, static_cast<uint8_t>(units.size())};
        for (uint16_t unit : units) {
            bytes.push_back(static_cast<uint8_t>(unit));
            bytes.push_back(static_cast<uint8_t>(unit >> 8));
        }
        EXPECT_EQ(LoadString(bytes), text) << testing::PrintToString(bytes);
    }
}

TEST(Archive, DataEndingEarlyRaisesCauseThreeWithoutAName) {
    const Bytes cut[] = {
        {},                                    // no prefix
        {0xFF, 0x05},                          // u16 length cut
        {0xFF, 0xFF, 0xFF, 0x05, 0x00},        // 32-bit length cut
        {0x03, 'a', 'b'},                      // body cut
        {0xFF, 0xFE, 0xFF, 0x02, 'a', 0, 'b'}, // 16-bit body cut
    };
    for (const Bytes& bytes : cut) {
        std::string message;
        EXPECT_EQ(CauseOf([&] { LoadString(bytes); }, &message), CArchiveException::endOfFile);
        EXPECT_EQ(message, "An attempt was made to access  past its end.");
    }
    for (const Bytes& bytes : {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0xFF, 1, 0, 0}}) {
        CMemFile file(bytes, "/lists/a.osl");
        CArchive ar(&file, CArchive::load);
        EXPECT_EQ(CauseOf([&] { ar.ReadCount(); }), CArchiveException::endOfFile);
    }
    CMemFile file({1, 2, 3}, "/lists/a.osl");
    CArchive ar(&file, CArchive::load);
    int32_t n;
    EXPECT_EQ(CauseOf([&] { ar >> n; }), CArchiveException::endOfFile);
}

TEST(Archive, HugeLengthClaimsFailAtOnceInLittleMemory) {
    // 30 bytes in all: a string that claims 2 GB, and a 16-bit string that
    // claims a billion characters. Neither may be allocated up front.
    Bytes claim = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
    claim.resize(30, 'x');
    Bytes wide = {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xCA, 0x9A, 0x3B};
    wide.resize(30, 'y');
    const long before = PeakKilobytes();
    EXPECT_EQ(CauseOf([&] { LoadString(claim); }), CArchiveException::endOfFile);
    EXPECT_EQ(CauseOf([&] { LoadString(wide); }), CArchiveException::endOfFile);
    EXPECT_LT(PeakKilobytes() - before, 64 * 1024) << "kilobytes of new peak memory";
}

TEST(Archive, ErrorMessagesPerCause) {
    const std::pair<int, const char*> texts[] = {
        {CArchiveException::endOfFile, "An attempt was made to access /l/a.osl past its end."},
        {CArchiveException::badIndex, "/l/a.osl has a bad format."},
        {CArchiveException::badClass, "/l/a.osl contained an unexpected object."},
        {CArchiveException::badSchema, "/l/a.osl contains an incorrect schema."},
    };
    for (const auto& [cause, text] : texts)
        EXPECT_EQ(CArchiveException(cause, "/l/a.osl").GetErrorMessage(), text);
    const CArchiveException unnamed(CArchiveException::endOfFile, "");
    EXPECT_STREQ(unnamed.what(), "An attempt was made to access  past its end.");
}

TEST(Archive, BufferIsWrittenOutWhenFullAndOnClose) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    const std::string chunk(1000, 'c');
    for (int i = 0; i < 4; ++i)
        ar << chunk; // 4 x 1003 bytes: still inside the 4096-byte buffer
    EXPECT_TRUE(file.Data().empty());
    ar << chunk; // 5015 bytes: the first 4096 go out
    EXPECT_EQ(file.Data().size(), 4096u);
    ar.Close();
    EXPECT_EQ(file.Data().size(), 5015u);
}
