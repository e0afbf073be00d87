// SPDX-License-Identifier: Apache-2.0
// ostrel-cli's options as the user meets them: each command's --help, the
// top-level usage and the bash completion list the same options, each of them
// is accepted, and every bad value of every option is refused in one line
// that names program, command and option.
#include "framework/version_text.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "cli_run.h"

namespace {
using Words = std::set<std::string>;

Words Matches(const std::string& text, const std::string& pattern) {
    Words words;
    const std::regex re(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
        words.insert((*it)[1]);
    return words;
}

// A command as the completion script declares it.
struct SDeclared {
    std::string name;
    Words options, valued;
};

class CommandOptions : public testing::Test {
protected:
    void SetUp() override {
        const SChildResult r = RunCli({"--bash-completion"});
        ASSERT_EQ(r.status, 0) << r.err;
        WriteFileBytes(m_script, Bytes(r.out.begin(), r.out.end()));
        const std::regex re("\n    ([a-z]+)\\) options='([^']*)' valued='([^']*)'");
        for (std::sregex_iterator it(r.out.begin(), r.out.end(), re), end; it != end; ++it)
            m_commands.push_back(
                {(*it)[1], Matches((*it)[2], "(--[a-z-]+)"), Matches((*it)[3], "(--[a-z-]+)")});
    }
    // What the completion offers for `words`, the last one under the cursor,
    // run in m_dir; sorted.
    Words Complete(std::vector<std::string> words) {
        words.insert(words.begin(), {"-c",
                                     "source \"$1\"; shift; COMP_WORDS=(ostrel-cli \"$@\"); "
                                     "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _ostrel_cli; "
                                     "printf '%s\\n' \"${COMPREPLY[@]}\"",
                                     "_", m_script});
        const std::string dir = m_dir.Path();
        const SChildResult r =
            RunChild("bash", words, {.fnInChild = [dir] { (void)!chdir(dir.c_str()); }});
        return Matches(r.out, "([^\n]+)\n");
    }

    CTempDir m_dir;
    std::string m_script = m_dir / "completion.bash";
    std::vector<SDeclared> m_commands;
};

TEST_F(CommandOptions, HelpUsageAndCompletionListWhatEachCommandAccepts) {
    ASSERT_EQ(m_commands.size(), 9u);
    const std::string usage = RunCli({"--help"}).out;
    for (const auto& [name, options, valued] : m_commands) {
        const Words help = Matches(RunCli({name, "--help"}).out, "\n  (--[a-z-]+)");
        EXPECT_EQ(options, help) << name;
        Words offered = help;
        offered.insert("--help");
        EXPECT_EQ(Complete({name, "--"}), offered) << name;
        // The top-level usage: the command's lines, up to the next command's.
        const std::regex block("\n  " + name + "([^\n]*(\n {4,}[^\n]*)*)");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(usage, m, block)) << name;
        EXPECT_EQ(Matches(m[1].str(), "(--[a-z-]+)"), help) << name;
        // Each is taken; one at the end without its value says so.
        for (const std::string& option : help) {
            const std::string err = RunCli({name, option}).err;
            EXPECT_EQ(err.rfind("ostrel-cli " + name + ": " + option + ": needs a value\n", 0) == 0,
                      valued.count(option) != 0)
                << err;
            EXPECT_EQ(err.find("unknown option"), std::string::npos) << err;
        }
    }
    EXPECT_EQ(RunCli({"--version"}).out, VersionText() + std::string("\n"));
}

// Every option that takes a value, in every command that has it, with a value
// it refuses; the options of free text take any.
TEST_F(CommandOptions, EveryBadValueIsOneLineNamingTheOption) {
    const std::string kDate = "a date YYYY-MM-DD[ HH:MM[:SS]]";
    const std::map<std::string, std::pair<std::string, std::string>> kBad = {
        {"--popup", {"yes", "on or off"}},
        {"--autostart", {"1", "on or off"}},
        {"--logging", {"sometimes", "never, on-failure or always"}},
        {"--period", {"0", "an integer from 1 to 100000"}},
        {"--tcp", {"65536", "an integer from 1 to 65535"}},
        {"--jobs", {"x", "an integer from 1 to 65536"}},
        {"--count", {"1001", "an integer from 1 to 1000"}},
        {"--interval", {"-1", "an integer from 0 to 3600000"}},
        {"--max-loss", {"100.5", "a number from 0 to 100"}},
        {"--max-rtt", {"nan", "a number from 0 to 3600000"}},
        {"--timeout", {"0", "a number from 0.001 to 3600"}},
        {"--textfile", {"", "a file name"}},
        {"--alert-after", {"0", "an integer from 1 to 100000"}},
        {"--recover-after", {"5 passes", "an integer from 1 to 100000"}},
        {"--remind", {"100001", "an integer from 1 to 100000"}},
        {"--canary",
         {"host:0",
          "ADDRESS or ADDRESS:PORT (1 to 65535), an IPv6 ADDRESS in brackets before :PORT"}},
        {"--since", {"2026-3-1", kDate}},
        {"--until", {"yesterday", kDate}},
        {"--html", {"", "a file name"}},
    };
    const Words kFreeText = {"--sound", "--execute", "--log-file", "--target"};
    size_t nChecked = 0;
    for (const auto& [name, options, valued] : m_commands) {
        for (const std::string& option : valued) {
            if (kFreeText.count(option))
                continue;
            ASSERT_EQ(kBad.count(option), 1u) << option << " of " << name << " has no bad value";
            const auto& [value, expected] = kBad.at(option);
            const SChildResult r = RunCli({name, option, value});
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err, "ostrel-cli " + name + ": " + option + ": expected " + expected +
                                 ", got \"" + value + "\"\n");
            ++nChecked;
        }
    }
    EXPECT_EQ(nChecked, 25u); // check's and watch's six shared ones counted twice
}

// What the completion offers: choice words, list files for LIST, any file
// for LOG and for a path value, nothing past the operands or for free text.
TEST_F(CommandOptions, CompletionOffersValuesAndFiles) {
    for (const char* file : {"a.osl", "b.log"})
        WriteFileBytes(m_dir / file, {});
    std::filesystem::create_directory(m_dir / "sub");
    const Words kAll = {"a.osl", "b.log", "completion.bash", "sub"};
    const std::pair<std::vector<std::string>, Words> kCases[] = {
        {{"ch"}, {"check"}},
        {{"--v"}, {"--version"}},
        {{"set", "l.osl", "--logging", ""}, {"never", "on-failure", "always"}},
        {{"set", "--popup", "=", "o"}, {"on", "off"}},
        {{"check", "--jobs", "4", ""}, {"a.osl", "sub"}},
        {{"add", "--icmp", "x.osl", ""}, {}},
        {{"show", "a.osl", ""}, {}},
        {{"report", "a.osl", ""}, kAll},
        {{"report", "--html", ""}, kAll},
        {{"watch", "--textfile", "x", "--", "-"}, {}},
        {{"set", "--execute", ""}, {}},
        {{"doctor", ""}, {}},
    };
    for (const auto& [words, expected] : kCases)
        EXPECT_EQ(Complete(words), expected) << words.front() << " ... " << words.back();
}
} // namespace
