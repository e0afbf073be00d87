// SPDX-License-Identifier: Apache-2.0
// The report library on small hand-written logs whose answers are known, in
// a time zone with daylight saving time and a UTF-8 terminal.
#include "framework/terminal_text.h"
#include "report/local_clock.h"
#include "report/log_reader.h"
#include "report/report_file.h"
#include "report/report_formats.h"
#include "support/test_files.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {
// One record as the log writes it; `target` is the part after the time and
// result: `"ADDRESS", MODE, PORT`.
std::string R(const char* when, int ok, const std::string& target = "\"a\", 0, 80") {
    return std::string(when) + (ok ? ", 1, " : ", 0, ") + target + "\r\n";
}

using FReport = std::string (*)(const CReport&);

struct ReportCase {
    const char* name;
    std::vector<std::string> logs;     // written to 1.log, 2.log, ... in this order
    FReport form;                      // the report's form
    std::vector<std::string> expected; // each found in the report
    std::string skipped = {};          // found in the skipped-lines note
    const char* since = nullptr;       // --since and --until as written
    const char* until = nullptr;
};

const std::string kOutage = "{\"start\":\"2026-03-01 ";
// Central Europe: clocks go back from 03:00 to 02:00 on 25 October 2026.
const char kZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

const ReportCase kCases[] = {
    {"outages at the start, the middle and the end, the last one open",
     {R("03/01/26 10:00:00", 0) + R("03/01/26 10:01:00", 0) + R("03/01/26 10:02:00", 1) +
      R("03/01/26 10:03:00", 1) + R("03/01/26 10:04:00", 0) + R("03/01/26 10:05:00", 0) +
      R("03/01/26 10:06:00", 1) + R("03/01/26 10:07:00", 0)},
     JsonReport,
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
     TextReport,
     {"a        ICMP 80           4         2  50 %             2     00:02:00     00:02:00  "
      "2026-03-01 10:04:00 (",
      "Outages, newest first:\n",
      "2026-03-01 10:04:00  still open               00:00:00        1  a ICMP 80\n"
      "2026-03-01 10:01:00  2026-03-01 10:03:00      00:02:00        1  a ICMP 80\n"}},
    {"the text report pads an accented name by the characters it shows",
     {R("03/01/26 10:00:00", 1, "\"caf\xe9\", 0, 80") + R("03/01/26 10:00:00", 1)},
     TextReport,
     {"Address  Probe", "a        ICMP 80", "caf\xc3\xa9     ICMP 80"}},
    {"the CSV report",
     {R("03/01/26 10:00:00", 1, "\"a,b\", 1, 443") + R("03/01/26 10:01:00", 0, "\"a,b\", 1, 443")},
     CsvReport,
     {"kind,address,mode,port,start,end,seconds,records,failures,availability,outages,"
      "down_seconds,longest_seconds\n"
      "target,\"a,b\",1,443,2026-03-01 10:00:00,2026-03-01 10:01:00,60,2,1,50,1,0,0\n"
      "outage,\"a,b\",1,443,2026-03-01 10:01:00,,0,1,,,,,\n"}},
    {"one address, targets told apart by mode and port",
     {R("03/01/26 10:00:00", 1, "\"a\", 0, 80") + R("03/01/26 10:00:01", 0, "\"a\", 1, 80") +
      R("03/01/26 10:00:02", 1, "\"a\", 1, 443") + R("03/01/26 10:01:01", 1, "\"a\", 1, 80")},
     JsonReport,
     {"\"mode\":0,\"port\":80,\"records\":1,\"failures\":0,\"availability\":100,\"outages\":[]",
      "\"mode\":1,\"port\":80,\"records\":2,\"failures\":1,\"availability\":50,\"outages\":[" +
          kOutage + "10:00:01\",\"end\":\"2026-03-01 10:01:01\",\"seconds\":60,",
      "\"mode\":1,\"port\":443,\"records\":1,\"failures\":0"}},
    {"records out of order across two files, merged by time",
     {R("03/01/26 10:02:00", 1) + R("03/01/26 10:04:00", 0) + R("03/01/26 10:06:00", 1),
      R("03/01/26 10:01:00", 0) + R("03/01/26 10:03:00", 1) + R("03/01/26 10:05:00", 0)},
     JsonReport,
     {"\"records\":6,\"failures\":3,\"availability\":50,\"outages\":[" + kOutage +
      "10:01:00\",\"end\":\"2026-03-01 10:02:00\",\"seconds\":60,\"records\":1}," + kOutage +
      "10:04:00\",\"end\":\"2026-03-01 10:06:00\",\"seconds\":120,\"records\":2}]"}},
    {"a log written on failure: failure runs, no availability",
     {R("03/01/26 10:00:00", 0) + R("03/01/26 10:05:00", 0) + R("03/01/26 10:10:00", 0) +
      R("03/01/26 10:15:00", 0) + R("03/01/26 11:00:00", 0) + R("03/01/26 11:05:00", 0)},
     JsonReport,
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
     JsonReport,
     {"\"records\":2,\"failures\":1,",
      "\"skipped_lines\":10,\"first_skipped\":{\"file\":", "1.log\",\"line\":2}"},
     "10 lines are not records and were skipped (the first: "},
    {"escapes in addresses are decoded, other bytes kept",
     {R("03/01/26 10:00:00", 1, "\"a\\x0ab\\x41\\\\x1f, \\\"q\\\"\", 0, 80") +
      R("03/01/26 10:00:00", 1, "\"caf\xe9\", 0, 80") +
      R("03/01/26 10:00:00", 1, "\"\\x24(x)\\x60\\x22\\x5c\", 0, 80")},
     JsonReport,
     {"\"address\":\"a\\nb\\\\x41\\\\\\u001f, \\\\\\\"q\\\\\\\"\"", "\"address\":\"caf\\u00e9\"",
      "\"address\":\"$(x)`\\\"\\\\\""}},
    {"--since and --until take in their boundary seconds",
     {R("03/01/26 09:59:59", 0) + R("03/01/26 10:00:00", 1) + R("03/01/26 11:00:00", 0) +
      R("03/01/26 11:00:01", 1)},
     JsonReport,
     {"\"records\":2,\"failures\":1,\"availability\":50,\"outages\":[" + kOutage +
          "11:00:00\",\"end\":null",
      "\"since\":\"2026-03-01 10:00:00\",\"until\":\"2026-03-01 "
      "11:00:00\""},
     {},
     "2026-03-01 10:00",
     "2026-03-01 11:00:00"},
    {"--until with a date alone takes in the whole day",
     {R("03/01/26 23:59:59", 1) + R("03/02/26 00:00:00", 0)},
     JsonReport,
     {"\"records\":1,\"failures\":0", "\"until\":\"2026-03-01 23:59:59\""},
     {},
     nullptr,
     "2026-03-01"},
    {"the clock set back: the repeated hour, then a correction",
     {R("10/25/26 02:50:00", 1) + R("10/25/26 02:55:00", 0) + R("10/25/26 02:05:00", 0) +
      R("10/25/26 02:10:00", 1) + R("10/25/26 02:20:00", 0) + R("10/25/26 02:15:00", 1)},
     JsonReport,
     {"\"outages\":[{\"start\":\"2026-10-25 02:55:00\",\"end\":\"2026-10-25 02:10:00\","
      "\"seconds\":900,\"records\":2},{\"start\":\"2026-10-25 02:20:00\",\"end\":\"2026-10-25 "
      "02:20:00\",\"seconds\":0,\"records\":1}]",
      "\"clock_set_back_records\":1"}},
    {"two-digit years read as strptime's %y reads them",
     {R("12/31/69 23:59:59", 1) + R("01/01/68 00:00:00", 1, "\"b\", 0, 80")},
     JsonReport,
     {"\"first\":\"1969-12-31 23:59:59\"", "\"first\":\"2068-01-01 00:00:00\""}},
};

// The test runs in a UTF-8 terminal: only the text report follows it.
class ReportLogs : public testing::TestWithParam<ReportCase> {
protected:
    void SetUp() override {
        ::setenv("TZ", kZone, 1);
        ::tzset();
        std::setlocale(LC_CTYPE, "C.UTF-8");
        ChooseTerminalEncoding();
    }
    void TearDown() override {
        std::setlocale(LC_CTYPE, "C");
        ChooseTerminalEncoding();
    }

    std::vector<std::string> WriteLogs(const std::vector<std::string>& logs) {
        return WriteLogFiles(m_dir, logs);
    }

    // The logs read as `report` reads them, with its --since and --until.
    CReport Read(const std::vector<std::string>& logs, const char* since = nullptr,
                 const char* until = nullptr) {
        CReportFilter filter;
        if (since)
            filter.m_since = ParseLocalDate(since, false);
        if (until)
            filter.m_until = ParseLocalDate(until, true);
        CReport report;
        report.m_tNow = time(nullptr);
        EXPECT_EQ(ReadLogs(WriteLogs(logs), filter, report), "");
        return report;
    }

    CTempDir m_dir;
};

TEST_P(ReportLogs, StatesTheKnownFacts) {
    const ReportCase& c = GetParam();
    const CReport report = Read(c.logs, c.since, c.until);
    const std::string text = c.form(report);
    for (const std::string& fact : c.expected)
        EXPECT_NE(text.find(fact), std::string::npos) << fact << "\nin:\n" << text;
    const std::string note = report.m_nSkipped ? SkippedLinesNote(report) : "";
    EXPECT_NE(note.find(c.skipped), std::string::npos) << note;
}

INSTANTIATE_TEST_SUITE_P(Logs, ReportLogs, testing::ValuesIn(kCases));

TEST_F(ReportLogs, ALogThatCannotBeOpenedIsNamed) {
    CReport report;
    EXPECT_EQ(ReadLogs({"/nonexistent/x.log"}, {}, report),
              "/nonexistent/x.log: No such file or directory");
}

// What expat finds in a page: how many <svg> elements, then each SVG
// <title>'s text, one per line.
std::string ParsePage(const std::string& page) {
    struct SParse {
        std::string found, title;
        int nSvg = 0;
        bool bInTitle = false;
    } parse;
    XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
    XML_SetUserData(parser, &parse);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char**) {
            auto& p = *static_cast<SParse*>(data);
            p.nSvg += std::string(name) == "http://www.w3.org/2000/svg svg";
            p.bInTitle = std::string(name) == "http://www.w3.org/2000/svg title";
        },
        [](void* data, const XML_Char* name) {
            auto& p = *static_cast<SParse*>(data);
            if (std::string(name) == "http://www.w3.org/2000/svg title")
                p.found += std::exchange(p.title, "") + "\n";
            p.bInTitle = false;
        });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int n) {
        auto& p = *static_cast<SParse*>(data);
        if (p.bInTitle)
            p.title.append(text, static_cast<size_t>(n));
    });
    const bool bOk =
        XML_Parse(parser, page.data(), static_cast<int>(page.size()), 1) == XML_STATUS_OK;
    const std::string error = bOk ? "" : XML_ErrorString(XML_GetErrorCode(parser));
    XML_ParserFree(parser);
    return bOk ? std::to_string(parse.nSvg) + "\n" + parse.found : "not XML: " + error;
}

// The page, as written to its file, parses as XML and holds one timeline per
// target, each outage labelled with its times.
TEST_F(ReportLogs, PageIsWellFormedWithATimelinePerTarget) {
    const CReport report =
        Read({R("03/01/26 10:00:00", 1) + R("03/01/26 10:01:00", 0) + R("03/01/26 10:02:00", 1) +
              R("03/01/26 10:00:00", 0, "\"<b>&\\x01\xff\", 1, 80")});
    const std::string page = m_dir / "report.html";
    ASSERT_EQ(WriteReportFile(page, HtmlReport(report)), 0);
    const std::string parsed = ParsePage(ReadText(page));
    EXPECT_EQ(parsed.substr(0, 2), "2\n") << parsed;
    EXPECT_NE(parsed.find("Outage from 2026-03-01 10:01:00 to 2026-03-01 10:02:00, 00:01:00, 1 "
                          "failed record\n"),
              std::string::npos)
        << parsed;
}
} // namespace
