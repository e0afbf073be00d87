// SPDX-License-Identifier: Apache-2.0
// The metrics textfile as node_exporter's collector meets it: read back by a
// real parser of the text format, never seen half written, and created with
// the permissions and refusals of a file others read at any time.
#include "monitor/metrics_textfile.h"

#include "support/other_user.h"
#include "support/test_files.h"
#include "support/test_items.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <thread>

namespace {
constexpr const char* kPython = "/usr/bin/python3";

// Prints a line for each family and sample that the prometheus_client parser
// finds in the file: label values as the hex of their UTF-8, values as the
// hex of their bits. Decoding refuses anything but UTF-8.
constexpr const char* kParse = R"(
import struct, sys
from prometheus_client.parser import text_string_to_metric_families
text = open(sys.argv[1], 'rb').read().decode('utf-8')
for f in text_string_to_metric_families(text):
    print('#', f.name, f.type, f.documentation != '')
    for s in f.samples:
        labels = sorted(k + '=' + v.encode().hex() for k, v in s.labels.items())
        print(s.name, *labels, struct.pack('>d', s.value).hex())
)";

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes)
        hex += "0123456789abcdef"[c >> 4] + std::string(1, "0123456789abcdef"[c & 15]);
    return hex;
}

// A sample as the script prints it.
std::string SampleLine(const std::string& strName, double value,
                       std::initializer_list<std::pair<const char*, std::string>> labels = {}) {
    std::string line = strName + " ";
    for (const auto& [name, text] : labels)
        line += name + ("=" + Hex(text)) + " ";
    const auto bits = std::bit_cast<uint64_t>(value);
    std::string bytes;
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes += static_cast<char>(bits >> shift);
    return line + Hex(bytes);
}

std::string TargetLine(const char* pszName, int nRow, const CItem& item, double value,
                       const std::string& strAddress) {
    return SampleLine(pszName, value,
                      {{"address", strAddress},
                       {"mode", item.IsIcmp() ? "icmp" : "tcp"},
                       {"port", std::to_string(item.m_nPort)},
                       {"row", std::to_string(nRow)}});
}

// The parser's lines for the file at strPath; nullopt when it cannot run.
std::optional<std::vector<std::string>> ParseWithPrometheusClient(const std::string& strPath) {
    if (std::system((std::string(kPython) + " -c 'import prometheus_client' 2>/dev/null").c_str()))
        return std::nullopt;
    CTempDir out;
    setenv("PARSE", kParse, 1);
    EXPECT_EQ(std::system((std::string(kPython) + " -c \"$PARSE\" '" + strPath + "' > '" +
                           out / "parsed" + "'")
                              .c_str()),
              0)
        << "the parser refused the file";
    std::ifstream in(out / "parsed");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

SPassMetrics MetricsFor(size_t nTargets, double value) {
    return {std::vector<double>(nTargets, value), value, value};
}
} // namespace

// Each target: its address as stored and as the label value must read back.
TEST(MetricsTextfile, PrometheusClientReadsBackEveryTargetAndThePass) {
    const struct {
        const char* address;
        const char* label;
    } targets[] = {
        {"127.0.0.1", "127.0.0.1"},
        {"quote\" back\\slash \\n", "quote\" back\\slash \\n"},
        {"line\nfeed", "line\nfeed"},
        {"tab\tcr\rescape\x1b del\x7f", "tab\tcr\rescape\x1b del\x7f"},
        {"{a=b,c}", "{a=b,c}"},
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", // Windows-1252, as the window shows it, not UTF-8
         "caf\xc3\x83\xc2\xa9 \xc3\xb0\xc5\xb8\xcb\x9c\xe2\x82\xac"},
        {"\xe9t\xe9 \x80\x81", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac\xc2\x81"}, // Windows-1252
        {"\xed\xa0\x80\xc3", "\xc3\xad\xc2\xa0\xe2\x82\xac\xc3\x83"},     // ill-formed UTF-8
        {"", ""},
    };
    const double durations[] = {0.1, 1e-300, 5e-324, 123456.789, 0, NAN, INFINITY, 2.5, 1.0 / 3};
    CItemList list;
    SPassMetrics metrics{{}, 12.345678901234567, 1765200000.123456};
    std::vector<std::string> want = {"# ostrel_target_up gauge True"}, durationLines;
    int nRow = 0;
    for (const auto& target : targets) {
        CItem* pItem = NewItem(nRow % 3 == 0, nRow % 2 ? kProbeIcmp : kProbeTcp, target.address,
                               nRow == 1 ? -1 : 70000 + nRow);
        list.AddTail(pItem);
        metrics.probeSeconds.push_back(durations[nRow]);
        want.push_back(
            TargetLine("ostrel_target_up", nRow + 1, *pItem, pItem->m_bOk, target.label));
        durationLines.push_back(TargetLine("ostrel_probe_duration_seconds", nRow + 1, *pItem,
                                           durations[nRow], target.label));
        ++nRow;
    }
    const auto passLines = [](double dSeconds, double dTargets, double dFailed, double dEnd) {
        return std::vector<std::string>{"# ostrel_pass_duration_seconds gauge True",
                                        SampleLine("ostrel_pass_duration_seconds", dSeconds),
                                        "# ostrel_pass_targets gauge True",
                                        SampleLine("ostrel_pass_targets", dTargets),
                                        "# ostrel_pass_failed_targets gauge True",
                                        SampleLine("ostrel_pass_failed_targets", dFailed),
                                        "# ostrel_pass_end_timestamp_seconds gauge True",
                                        SampleLine("ostrel_pass_end_timestamp_seconds", dEnd)};
    };
    want.push_back("# ostrel_probe_duration_seconds gauge True");
    want.insert(want.end(), durationLines.begin(), durationLines.end());
    for (const std::string& line : passLines(metrics.dPassSeconds, 9, 6, metrics.dEndUnixSeconds))
        want.push_back(line);
    std::vector<std::string> wantEmpty = {"# ostrel_target_up gauge True",
                                          "# ostrel_probe_duration_seconds gauge True"};
    for (const std::string& line : passLines(0, 0, 0, 0))
        wantEmpty.push_back(line);

    CTempDir dir;
    std::string strError;
    ASSERT_TRUE(WriteMetricsTextfile(dir / "ostrel.prom", list, metrics, strError)) << strError;
    ASSERT_TRUE(WriteMetricsTextfile(dir / "empty.prom", CItemList(), {}, strError)) << strError;
    const auto parsed = ParseWithPrometheusClient(dir / "ostrel.prom");
    if (!parsed)
        GTEST_SKIP() << kPython << " with the prometheus_client module (python3-prometheus-client)"
                     << " is needed to read the textfile back";
    EXPECT_EQ(*parsed, want);
    EXPECT_EQ(*ParseWithPrometheusClient(dir / "empty.prom"), wantEmpty);
}

// A reader that opens the file while it is rewritten over and over finds
// one whole pass each time, never parts of two or a cut one. The passes
// alternate between two texts of the same length.
TEST(MetricsTextfile, ConcurrentReaderAlwaysFindsOneWholePass) {
    constexpr size_t kTargets = 20000;
    constexpr int kPasses = 10;
    CItemList list;
    for (size_t i = 0; i < kTargets; ++i)
        list.AddTail(
            NewItem(i % 7 != 0, static_cast<int32_t>(i % 2), "10.0." + std::to_string(i), 80));
    const SPassMetrics passes[] = {MetricsFor(kTargets, 1.5), MetricsFor(kTargets, 2.5)};
    const std::string texts[] = {FormatMetricsText(list, passes[0]),
                                 FormatMetricsText(list, passes[1])};
    CTempDir dir;
    const std::string strPath = dir / "ostrel.prom";
    std::atomic<bool> bDone{false};
    std::thread writer([&] {
        for (int nPass = 0; nPass < kPasses; ++nPass) {
            std::string strError;
            EXPECT_TRUE(WriteMetricsTextfile(strPath, list, passes[nPass % 2], strError))
                << strError;
        }
        bDone = true;
    });
    std::string text(texts[0].size() + 1, '\0'); // one byte more shows a longer file
    for (bool bLastRead = false; !bLastRead;) {
        bLastRead = bDone;
        const int fd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue; // not written yet
        size_t nRead = 0;
        for (ssize_t n; (n = read(fd, text.data() + nRead, text.size() - nRead)) > 0;)
            nRead += static_cast<size_t>(n);
        close(fd);
        const std::string_view whole(text.data(), nRead);
        if (whole != texts[0] && whole != texts[1]) {
            ADD_FAILURE() << "read " << nRead << " bytes that are no whole pass";
            break;
        }
    }
    writer.join();
    const Bytes last = ReadFileBytes(strPath);
    EXPECT_EQ(std::string(last.begin(), last.end()), texts[(kPasses - 1) % 2]);
}

// Each row: the umask, the mode of a file already there (0: none), and the
// mode the textfile has after a write.
TEST(MetricsTextfile, NewFileHonoursTheUmaskButStaysTheOwnersAndAnOldFileKeepsItsMode) {
    const struct {
        mode_t umask, before, after;
    } rows[] = {
        {022, 0, 0644}, {077, 0, 0600}, {0277, 0, 0600}, {077, 0644, 0644}, {0, 0640, 0640},
    };
    CTempDir dir;
    const std::string strPath = dir / "ostrel.prom";
    for (const auto& row : rows) {
        std::filesystem::remove(strPath);
        if (row.before) {
            WriteFileBytes(strPath, {'x'});
            chmod(strPath.c_str(), row.before);
        }
        const mode_t oldMask = umask(row.umask);
        std::string strError;
        EXPECT_TRUE(WriteMetricsTextfile(strPath, CItemList(), {}, strError)) << strError;
        umask(oldMask);
        struct stat st {};
        stat(strPath.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, row.after) << std::oct << row.umask << " " << row.before;
    }
}

// A folder closed to the writer fails the write rather than changing the
// file in place, where a reader could meet it half written; so do a missing
// folder and durations that do not match the targets.
TEST(MetricsTextfile, WhatCannotBeWrittenWholeFailsWithAOneLineReason) {
    CTempDir dir;
    const std::string strPath = dir / "ostrel.prom";
    WriteFileBytes(strPath, {'o', 'l', 'd'});
    // nobody's file in a folder that is not nobody's: writable, not replaceable.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(strPath.c_str(), 0666), 0);
    const std::string strClosed = RunInChild([&] {
        if (geteuid() != 0 ? chmod(dir.Path().c_str(), 0555) != 0 : !BecomeNobody().empty())
            return std::string("cannot close the folder to the writer");
        std::string strError;
        return WriteMetricsTextfile(strPath, CItemList(), {}, strError) ? "written" : strError;
    });
    chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(strClosed, strPath + ": Permission denied.");
    EXPECT_EQ(ReadFileBytes(strPath), (Bytes{'o', 'l', 'd'}));

    std::string strError;
    EXPECT_FALSE(WriteMetricsTextfile(dir / "none/\n.prom", CItemList(), {}, strError));
    EXPECT_EQ(strError, dir / "none/\\x0a.prom: No such file or directory.");
    CItemList one;
    one.AddTail(NewItem(1, kProbeTcp, "a", 80));
    EXPECT_FALSE(WriteMetricsTextfile(strPath, one, {}, strError));
    EXPECT_EQ(strError, "the pass gave 0 probe durations for 1 targets");
    EXPECT_EQ(ReadFileBytes(strPath), (Bytes{'o', 'l', 'd'}));
}

// In a sticky folder that everyone may write, nobody's link is not followed,
// also where it points to nothing yet: root would create the file in a
// folder closed to nobody.
TEST(MetricsTextfile, AnotherUsersLinkInAStickyFolderIsNotFollowed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to write through a link of nobody's";
    CTempDir dir;
    const std::string strLink = dir / "shared/ostrel.prom", strTarget = dir / "closed/ostrel.prom";
    std::filesystem::create_directory(dir / "shared");
    std::filesystem::create_directory(dir / "closed");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755) | chmod((dir / "shared").c_str(), 01777), 0);
    const CAsNobody nobody(
        [&] { return symlink(strTarget.c_str(), strLink.c_str()) ? "no link" : ""; });
    ASSERT_EQ(nobody.Result(), "");
    std::string strError;
    EXPECT_FALSE(WriteMetricsTextfile(strLink, CItemList(), {}, strError));
    EXPECT_EQ(strError, strLink + ": Permission denied.");
    EXPECT_FALSE(std::filesystem::exists(strTarget));
}
