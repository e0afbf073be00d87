// The metrics textfile as node_exporter's collector meets it: read back by a
// real parser of the text format, never seen half written, and created with
// the permissions and refusals of a file others read at any time.
#include "monitor/metrics_textfile.h"

#include "support/test_files.h"
#include "support/test_items.h"

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {
constexpr const char* kPython = "/usr/bin/python3";

// Prints each family and sample the prometheus_client parser finds in the
// file, a field a tab: label values as the hex of their UTF-8, values as
// Python's shortest round-trip text. Decoding refuses anything but UTF-8.
constexpr const char* kParse = R"(
import sys
from prometheus_client.parser import text_string_to_metric_families
text = open(sys.argv[1], 'rb').read().decode('utf-8')
for f in text_string_to_metric_families(text):
    print('family', f.name, f.type, f.documentation != '', sep='\t')
    for s in f.samples:
        labels = sorted(k + '=' + v.encode().hex() for k, v in s.labels.items())
        print('sample', s.name, repr(s.value), *labels, sep='\t')
)";

struct SSample {
    std::string name;
    std::map<std::string, std::string> labels;
    double value = 0;
    bool operator==(const SSample& o) const {
        return name == o.name && labels == o.labels &&
               (value == o.value || (std::isnan(value) && std::isnan(o.value)));
    }
};

struct SParsed {
    std::vector<std::string> families; // "name type documented"
    std::vector<SSample> samples;
};

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

SParsed Parse(const std::string& strOutput) {
    SParsed parsed;
    std::istringstream lines(strOutput);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (fields.size() == 4 && fields[0] == "family") {
            parsed.families.push_back(fields[1] + " " + fields[2] + " " + fields[3]);
        } else if (fields.size() >= 3 && fields[0] == "sample") {
            SSample sample{fields[1], {}, std::strtod(fields[2].c_str(), nullptr)};
            for (size_t i = 3; i < fields.size(); ++i) {
                const size_t eq = fields[i].find('=');
                sample.labels[fields[i].substr(0, eq)] = FromHex(fields[i].substr(eq + 1));
            }
            parsed.samples.push_back(sample);
        } else {
            ADD_FAILURE() << "unexpected parser output: " << line;
        }
    }
    return parsed;
}

// The parser's view of the file at strPath; nullopt when it cannot run.
std::optional<SParsed> ParseWithPrometheusClient(const std::string& strPath) {
    if (std::system((std::string(kPython) + " -c 'import prometheus_client' 2>/dev/null").c_str()))
        return std::nullopt;
    CTempDir out;
    const std::string strCommand =
        std::string(kPython) + " -c \"$PARSE\" '" + strPath + "' > '" + out / "parsed" + "'";
    setenv("PARSE", kParse, 1);
    EXPECT_EQ(std::system(strCommand.c_str()), 0) << "the parser refused the file";
    const Bytes text = ReadFileBytes(out / "parsed");
    return Parse(std::string(text.begin(), text.end()));
}

SSample TargetSample(const char* pszName, int nRow, const CItem& item, double value,
                     const std::string& strAddress) {
    return {pszName,
            {{"row", std::to_string(nRow)},
             {"address", strAddress},
             {"mode", item.IsIcmp() ? "icmp" : "tcp"},
             {"port", std::to_string(item.m_nPort)}},
            value};
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
        {"caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80"}, // UTF-8 kept
        {"\xe9t\xe9 \x80\x81", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac\xc2\x81"}, // Windows-1252
        {"\xed\xa0\x80\xc3", "\xc3\xad\xc2\xa0\xe2\x82\xac\xc3\x83"},     // ill-formed UTF-8
        {"", ""},
    };
    const double durations[] = {0.1, 1e-300, 5e-324, 123456.789, 0, NAN, INFINITY, 2.5, 1.0 / 3};
    CItemList list;
    SPassMetrics metrics{{}, 12.345678901234567, 1765200000.123456};
    std::vector<SSample> want;
    int nRow = 0;
    for (const auto& target : targets) {
        CItem* pItem = NewItem(nRow % 3 == 0, nRow % 2 ? kProbeIcmp : kProbeTcp, target.address,
                               nRow == 1 ? -1 : 70000 + nRow);
        list.AddTail(pItem);
        metrics.probeSeconds.push_back(durations[nRow]);
        want.push_back(
            TargetSample("ostrel_target_up", ++nRow, *pItem, pItem->m_bOk, target.label));
    }
    nRow = 0;
    for (POSITION pos = list.GetHeadPosition(); pos; ++nRow)
        want.push_back(TargetSample("ostrel_probe_duration_seconds", nRow + 1, *list.GetNext(pos),
                                    durations[nRow], targets[nRow].label));
    want.push_back({"ostrel_pass_duration_seconds", {}, metrics.dPassSeconds});
    want.push_back({"ostrel_pass_targets", {}, 9});
    want.push_back({"ostrel_pass_failed_targets", {}, 6});
    want.push_back({"ostrel_pass_end_timestamp_seconds", {}, metrics.dEndUnixSeconds});

    CTempDir dir;
    std::string strError;
    ASSERT_TRUE(WriteMetricsTextfile(dir / "ostrel.prom", list, metrics, strError)) << strError;
    ASSERT_TRUE(WriteMetricsTextfile(dir / "empty.prom", CItemList(), {}, strError)) << strError;
    const std::optional<SParsed> parsed = ParseWithPrometheusClient(dir / "ostrel.prom");
    if (!parsed)
        GTEST_SKIP() << kPython << " with the prometheus_client module (python3-prometheus-client)"
                     << " is needed to read the textfile back";
    EXPECT_EQ(parsed->samples, want);
    const std::vector<std::string> families = {"ostrel_target_up gauge True",
                                               "ostrel_probe_duration_seconds gauge True",
                                               "ostrel_pass_duration_seconds gauge True",
                                               "ostrel_pass_targets gauge True",
                                               "ostrel_pass_failed_targets gauge True",
                                               "ostrel_pass_end_timestamp_seconds gauge True"};
    EXPECT_EQ(parsed->families, families);

    const SParsed empty = *ParseWithPrometheusClient(dir / "empty.prom");
    EXPECT_EQ(empty.families, families);
    const std::vector<SSample> wantEmpty = {{"ostrel_pass_duration_seconds", {}, 0},
                                            {"ostrel_pass_targets", {}, 0},
                                            {"ostrel_pass_failed_targets", {}, 0},
                                            {"ostrel_pass_end_timestamp_seconds", {}, 0}};
    EXPECT_EQ(empty.samples, wantEmpty);
}

// A reader that opens the file while it is rewritten over and over finds
// one whole pass each time, never parts of two or a cut one.
TEST(MetricsTextfile, ConcurrentReaderAlwaysFindsOneWholePass) {
    constexpr size_t kTargets = 20000;
    constexpr int kPasses = 30;
    CItemList list;
    for (size_t i = 0; i < kTargets; ++i)
        list.AddTail(
            NewItem(i % 7 != 0, static_cast<int32_t>(i % 2), "10.0." + std::to_string(i), 80));
    CTempDir dir;
    const std::string strPath = dir / "ostrel.prom";
    std::atomic<bool> bDone{false};
    std::thread writer([&] {
        for (int nPass = 1; nPass <= kPasses; ++nPass) {
            std::string strError;
            EXPECT_TRUE(WriteMetricsTextfile(strPath, list, MetricsFor(kTargets, nPass), strError))
                << strError;
        }
        bDone = true;
    });
    const std::string strLast = "\nostrel_pass_end_timestamp_seconds ";
    int nReads = 0;
    for (bool bLastRead = false; !bLastRead; ++nReads) {
        bLastRead = bDone;
        std::ifstream in(strPath, std::ios::binary);
        if (!in)
            continue; // not written yet
        const std::string text(std::istreambuf_iterator<char>(in), {});
        const size_t at = text.rfind(strLast);
        const int nPass = at == text.npos ? 0 : std::atoi(text.c_str() + at + strLast.size());
        if (text != FormatMetricsText(list, MetricsFor(kTargets, nPass))) {
            ADD_FAILURE() << "read " << text.size() << " bytes that are no whole pass";
            break;
        }
    }
    writer.join();
    EXPECT_EQ(ReadFileBytes(strPath).size(),
              FormatMetricsText(list, MetricsFor(kTargets, kPasses)).size());
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
        if (geteuid() != 0 ? chmod(dir.Path().c_str(), 0555) != 0
                           : setgid(65534) != 0 || setuid(65534) != 0)
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
