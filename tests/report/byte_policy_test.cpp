// SPDX-License-Identifier: Apache-2.0
// One byte policy per output: the files other programs read are the same in
// every locale; only what goes to a terminal follows it.
#include "framework/terminal_text.h"
#include "monitor/metrics_textfile.h"
#include "report/report_formats.h"
#include "support/test_items.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {
// "café" in Windows-1252, a control byte and a byte Windows-1252 leaves undefined.
const std::string kAddress = "caf\xe9\x01\x81";

struct SOutputs {
    std::string html, csv, json, textfile, text;
};

// Every output for kAddress, the terminal's encoding chosen under `pszLocale`.
SOutputs Outputs(const char* pszLocale) {
    std::setlocale(LC_ALL, pszLocale);
    ChooseTerminalEncoding();
    CReport report;
    report.m_targets.resize(1);
    report.m_targets[0].m_nRecords = 1;
    report.m_targets[0].m_strAddress = kAddress;
    CItemList list;
    list.AddTail(NewItem(1, kProbeIcmp, kAddress, 0));
    SOutputs outputs{HtmlReport(report), CsvReport(report), JsonReport(report),
                     FormatMetricsText(list, {{0.5}, 1, 2}), TextReport(report)};
    std::setlocale(LC_ALL, "C");
    ChooseTerminalEncoding();
    return outputs;
}

TEST(BytePolicy, FilesAreTheSameInEveryLocaleAndOnlyTheTextReportFollowsIt) {
    const SOutputs c = Outputs("C"), utf8 = Outputs("C.UTF-8");
    EXPECT_EQ(c.html, utf8.html);
    EXPECT_EQ(c.csv, utf8.csv);
    EXPECT_EQ(c.json, utf8.json);
    EXPECT_EQ(c.textfile, utf8.textfile);
    // "café" in UTF-8; the control and the undefined byte as \xNN in the page
    // and CSV, as characters in the label; JSON one character per byte.
    EXPECT_NE(c.html.find("<td>caf\xc3\xa9\\x01\\x81</td>"), std::string::npos) << c.html;
    EXPECT_NE(c.csv.find("\ntarget,caf\xc3\xa9\\x01\\x81,"), std::string::npos) << c.csv;
    EXPECT_NE(c.textfile.find("address=\"caf\xc3\xa9\x01\xc2\x81\""), std::string::npos)
        << c.textfile;
    EXPECT_NE(c.json.find("\"address\":\"caf\\u00e9\\u0001\\u0081\""), std::string::npos) << c.json;
    EXPECT_NE(c.text.find("\ncaf\\xe9\\x01\\x81  "), std::string::npos) << c.text;
    EXPECT_NE(utf8.text.find("\ncaf\xc3\xa9\\x01\\x81  "), std::string::npos) << utf8.text;
}
} // namespace
