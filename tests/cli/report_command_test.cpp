// SPDX-License-Identifier: Apache-2.0
// ostrel-cli report, run as its own process on small hand-written logs whose
// answers are known, in a time zone with daylight saving time.
#include "cli_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
// One record as the log writes it; `target` is the part after the time and
// result: `"ADDRESS", MODE, PORT`.
std::string R(const char* when, int ok, const std::string& target = "\"a\", 0, 80") {
    return std::string(when) + (ok ? ", 1, " : ", 0, ") + target + "\r\n";
}

struct ReportCase {
    const char* name;
    std::vector<std::string> logs;     // written to 1.log, 2.log, ... in this order
    std::vector<std::string> args;     // before the logs
    std::vector<std::string> expected; // each found in standard output
    std::string error = {};            // found in standard error
    int status = 0;
};

const std::string kOutage = "{\"start\":\"2026-03-01 ";
// Central Europe: clocks go back from 03:00 to 02:00 on 25 October 2026.
const char kZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

const ReportCase kCases[] = {
    {"outages at the start, the middle and the end, the last one open",
     {R("03/01/26 10:00:00", 0) + R("03/01/26 10:01:00", 0) + R("03/01/26 10:02:00", 1) +
      R("03/01/26 10:03:00", 1) + R("03/01/26 10:04:00", 0) + R("03/01/26 10:05:00", 0) +
      R("03/01/26 10:06:00", 1) + R("03/01/26 10:07:00", 0)},
     {"--json"},
     {"{\"address\":\"a\",\"mode\":0,\"port\":80,\"records\":8,\"failures\":5,\"availability\":"
      "37.5,\"outages\":[" +
          kOutage +
          "10:00:00\",\"end\":\"2026-03-01 10:02:00\",\"seconds\":"
          "120,\"records\":2}," +
          kOutage +
          "10:04:00\",\"end\":\"2026-03-01 10:06:00\",\"seconds\":"
          "120,\"records\":2}," +
          kOutage + "10:07:00\",\"end\":null,\"seconds\":0,\"records\":1}]",
      "\"down_seconds\":240,\"longest_seconds\":120", "\"skipped_lines\":0"}},
    {"the text report: summary row, outages newest first",
     {R("03/01/26 10:00:00", 1) + R("03/01/26 10:01:00", 0) + R("03/01/26 10:03:00", 1) +
      R("03/01/26 10:04:00", 0)},
     {},
     {"a        ICMP 80           4         2  50 %             2     00:02:00     00:02:00  "
      "2026-03-01 10:04:00 (",
      "Outages, newest first:\n",
      "2026-03-01 10:04:00  still open               00:00:00        1  a ICMP 80\n"
      "2026-03-01 10:01:00  2026-03-01 10:03:00      00:02:00        1  a ICMP 80\n"}},
    {"the CSV report",
     {R("03/01/26 10:00:00", 1, "\"a,b\", 1, 443") + R("03/01/26 10:01:00", 0, "\"a,b\", 1, 443")},
     {"--csv"},
     {"kind,address,mode,port,start,end,seconds,records,failures,availability,outages,"
      "down_seconds,longest_seconds\n"
      "target,\"a,b\",1,443,2026-03-01 10:00:00,2026-03-01 10:01:00,60,2,1,50,1,0,0\n"
      "outage,\"a,b\",1,443,2026-03-01 10:01:00,,0,1,,,,,\n"}},
    {"one address, targets told apart by mode and port",
     {R("03/01/26 10:00:00", 1, "\"a\", 0, 80") + R("03/01/26 10:00:01", 0, "\"a\", 1, 80") +
      R("03/01/26 10:00:02", 1, "\"a\", 1, 443") + R("03/01/26 10:01:01", 1, "\"a\", 1, 80")},
     {"--json"},
     {"\"mode\":0,\"port\":80,\"records\":1,\"failures\":0,\"availability\":100,\"outages\":[]",
      "\"mode\":1,\"port\":80,\"records\":2,\"failures\":1,\"availability\":50,\"outages\":[" +
          kOutage + "10:00:01\",\"end\":\"2026-03-01 10:01:01\",\"seconds\":60,",
      "\"mode\":1,\"port\":443,\"records\":1,\"failures\":0"}},
    {"records out of order across two files, merged by time",
     {R("03/01/26 10:02:00", 1) + R("03/01/26 10:04:00", 0) + R("03/01/26 10:06:00", 1),
      R("03/01/26 10:01:00", 0) + R("03/01/26 10:03:00", 1) + R("03/01/26 10:05:00", 0)},
     {"--json"},
     {"\"records\":6,\"failures\":3,\"availability\":50,\"outages\":[" + kOutage +
      "10:01:00\",\"end\":\"2026-03-01 10:02:00\",\"seconds\":60,\"records\":1}," + kOutage +
      "10:04:00\",\"end\":\"2026-03-01 10:06:00\",\"seconds\":120,\"records\":2}]"}},
    {"a log written on failure: failure runs, no availability",
     {R("03/01/26 10:00:00", 0) + R("03/01/26 10:05:00", 0) + R("03/01/26 10:10:00", 0) +
      R("03/01/26 10:15:00", 0) + R("03/01/26 11:00:00", 0) + R("03/01/26 11:05:00", 0)},
     {"--json"},
     {"\"records\":6,\"failures\":6,\"availability\":null,\"outages\":[]",
      "\"answers_logged\":false,\"failure_runs\":[" + kOutage +
          "10:00:00\",\"end\":\"2026-03-01 "
          "10:15:00\",\"seconds\":900,\"records\":4}," +
          kOutage +
          "11:00:00\",\"end\":\"2026-03-01 "
          "11:05:00\",\"seconds\":300,\"records\":2}],\"run_spacing_seconds\":300"}},
    {"broken and foreign lines are counted, the first one named",
     {R("03/01/26 10:00:00", 1) + "# a comment\r\n\r\n" + R("13/01/26 10:00:00", 1) +
      "03/01/26 10:01:00, 2, \"a\", 0, 80\r\n" + R("03/01/26 10:01:00", 0, "\"a\", 0, 080") +
      R("03/01/26 10:01:00", 0, "\"a\", 0") + R("", 1) +
      "03/01/26 10:02:00, 0, \"a\", 0, 803/01/26 10:02:01, 1, \"a\", 0, 80\r\n" +
      R("02/30/26 10:00:00", 1) + R("03/01/26 10:03:00", 0) + "03/01/26 10:04:00, 1, \"a\", 0, 80"},
     {"--json"},
     {"\"records\":2,\"failures\":1,",
      "\"skipped_lines\":10,\"first_skipped\":{\"file\":", "1.log\",\"line\":2}"},
     "ostrel-cli report: 10 lines are not records and were skipped (the first: "},
    {"escapes in addresses are decoded, other bytes kept",
     {R("03/01/26 10:00:00", 1, "\"a\\x0ab\\x41\\\\x1f, \\\"q\\\"\", 0, 80") +
      R("03/01/26 10:00:00", 1, "\"caf\xe9\", 0, 80") +
      R("03/01/26 10:00:00", 1, "\"\\x24(x)\\x60\\x22\\x5c\", 0, 80")},
     {"--json"},
     {"\"address\":\"a\\nb\\\\x41\\\\\\u001f, \\\\\\\"q\\\\\\\"\"", "\"address\":\"caf\\u00e9\"",
      "\"address\":\"$(x)`\\\"\\\\\""}},
    {"--since and --until take in their boundary seconds",
     {R("03/01/26 09:59:59", 0) + R("03/01/26 10:00:00", 1) + R("03/01/26 11:00:00", 0) +
      R("03/01/26 11:00:01", 1)},
     {"--json", "--since", "2026-03-01 10:00", "--until", "2026-03-01 11:00:00"},
     {"\"records\":2,\"failures\":1,\"availability\":50,\"outages\":[" + kOutage +
          "11:00:00\",\"end\":null",
      "\"since\":\"2026-03-01 10:00:00\",\"until\":\"2026-03-01 "
      "11:00:00\""}},
    {"--until with a date alone takes in the whole day",
     {R("03/01/26 23:59:59", 1) + R("03/02/26 00:00:00", 0)},
     {"--json", "--until=2026-03-01"},
     {"\"records\":1,\"failures\":0", "\"until\":\"2026-03-01 23:59:59\""}},
    {"--target picks one address and port",
     {R("03/01/26 10:00:00", 1, "\"a\", 1, 443") + R("03/01/26 10:00:00", 0, "\"a\", 1, 80") +
      R("03/01/26 10:00:00", 0, "\"b\", 1, 443")},
     {"--json", "--target", "a:443"},
     {"{\"targets\":[{\"address\":\"a\",\"mode\":1,\"port\":443,\"records\":1,\"failures\":0,"
      "\"availability\":100,\"outages\":[],"}},
    {"--target [IPV6]:PORT picks the address stored with or without brackets",
     {R("03/01/26 10:00:00", 1, "\"::1\", 1, 80") + R("03/01/26 10:00:00", 0, "\"::1\", 1, 443") +
      R("03/01/26 10:00:00", 0, "\"[::1]\", 1, 443")},
     {"--json", "--target", "[::1]:443"},
     {"{\"targets\":[{\"address\":\"::1\",\"mode\":1,\"port\":443,",
      "},{\"address\":\"[::1]\",\"mode\":1,\"port\":443,"}},
    {"the clock set back: the repeated hour, then a correction",
     {R("10/25/26 02:50:00", 1) + R("10/25/26 02:55:00", 0) + R("10/25/26 02:05:00", 0) +
      R("10/25/26 02:10:00", 1) + R("10/25/26 02:20:00", 0) + R("10/25/26 02:15:00", 1)},
     {"--json"},
     {"\"outages\":[{\"start\":\"2026-10-25 02:55:00\",\"end\":\"2026-10-25 02:10:00\","
      "\"seconds\":900,\"records\":2},{\"start\":\"2026-10-25 02:20:00\",\"end\":\"2026-10-25 "
      "02:20:00\",\"seconds\":0,\"records\":1}]",
      "\"clock_set_back_records\":1"}},
    {"two-digit years read as strptime's %y reads them",
     {R("12/31/69 23:59:59", 1) + R("01/01/68 00:00:00", 1, "\"b\", 0, 80")},
     {"--json"},
     {"\"first\":\"1969-12-31 23:59:59\"", "\"first\":\"2068-01-01 00:00:00\""}},
    {"a log that cannot be opened",
     {},
     {"/nonexistent/x.log"},
     {},
     "ostrel-cli: /nonexistent/x.log: No such file or directory",
     2},
    {"a date that is not one", {""}, {"--since", "2026-3-1"}, {}, "--since: expected a date", 2},
};

class ReportCommand : public testing::TestWithParam<ReportCase> {
protected:
    void SetUp() override { ::setenv("TZ", kZone, 1); }

    std::vector<std::string> WriteLogs(const std::vector<std::string>& logs) {
        std::vector<std::string> paths;
        for (const std::string& log : logs) {
            paths.push_back(m_dir / (std::to_string(paths.size() + 1) + ".log"));
            WriteFileBytes(paths.back(), Bytes(log.begin(), log.end()));
        }
        return paths;
    }

    CTempDir m_dir;
};

TEST_P(ReportCommand, StatesTheKnownFacts) {
    const ReportCase& c = GetParam();
    std::vector<std::string> args = {"report"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    for (const std::string& path : WriteLogs(c.logs))
        args.push_back(path);
    const SChildResult result = RunCli(args);
    EXPECT_EQ(result.status, c.status) << result.err;
    for (const std::string& fact : c.expected)
        EXPECT_NE(result.out.find(fact), std::string::npos) << fact << "\nin:\n" << result.out;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Logs, ReportCommand, testing::ValuesIn(kCases));

// The page parses as XML and holds one timeline per target, each outage
// labelled with its times.
TEST_F(ReportCommand, PageIsWellFormedWithATimelinePerTarget) {
    const std::vector<std::string> logs = WriteLogs(
        {R("03/01/26 10:00:00", 1) + R("03/01/26 10:01:00", 0) + R("03/01/26 10:02:00", 1) +
         R("03/01/26 10:00:00", 0, "\"<b>&\\x01\xff\", 1, 80")});
    const std::string page = m_dir / "report.html";
    const SChildResult result = RunCli({"report", "--html", page, logs[0]});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string script = m_dir / "parse.py";
    const std::string code = "import sys, xml.etree.ElementTree as E\n"
                             "svg = '{http://www.w3.org/2000/svg}'\n"
                             "root = E.parse(sys.argv[1]).getroot()\n"
                             "print(len(root.findall('.//' + svg + 'svg')))\n"
                             "for t in root.iter(svg + 'title'): print(t.text)\n";
    WriteFileBytes(script, Bytes(code.begin(), code.end()));
    std::FILE* pipe = ::popen(("python3 " + script + " " + page + " 2>&1").c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string parsed;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        parsed.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << parsed;
    EXPECT_EQ(parsed.substr(0, 2), "2\n") << parsed;
    EXPECT_NE(parsed.find("Outage from 2026-03-01 10:01:00 to 2026-03-01 10:02:00, 00:01:00, 1 "
                          "failed record\n"),
              std::string::npos)
        << parsed;
}
} // namespace
