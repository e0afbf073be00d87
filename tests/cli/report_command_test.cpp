// SPDX-License-Identifier: Apache-2.0
// ostrel-cli report's own command line, run as its own process: the forms
// of --target and --since, and the exit status of a log that cannot be read.
// What the report states is tested on the library (tests/report).
#include "cli_run.h"

#include <gtest/gtest.h>

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

const ReportCase kCases[] = {
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
    std::vector<std::string> WriteLogs(const std::vector<std::string>& logs) {
        return WriteLogFiles(m_dir, logs);
    }

    CTempDir m_dir;
};

TEST_P(ReportCommand, ReadsItsCommandLine) {
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
} // namespace
