// SPDX-License-Identifier: Apache-2.0
// Drives the built ostrel-cli as a separate process and checks its standard
// output, standard error, exit status and the list files it leaves.
#include "storage/list_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli_run.h"
#include "support/test_files.h"
#include "support/test_items.h"

namespace {
const char* const kDefaultJson =
    "{\"popup\":1,\"sound\":\"\",\"execute\":\"\",\"period\":15,"
    "\"autostart\":0,\"logging\":0,\"log_file\":\"\",\"targets\":[]}\n";
} // namespace

TEST(Cli, NewAndShowInBothForms) {
    CTempDir dir;
    const std::string path = dir / "a.osl";
    WriteFileBytes(path, Bytes(300, 0xEE)); // replaced whole
    SChildResult r = RunCli({"new", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(path), FixtureBytes("default.osl"));
    r = RunCli({"show", "--json", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDefaultJson);
    EXPECT_EQ(r.err, "");

    WriteFileBytes(path, FixtureBytes("example.osl"));
    r = RunCli({"show", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Popup alert:          On\n"
                     "Sound alert:          \n"
                     "Execute alert:        \n"
                     "Period (minutes):     5\n"
                     "Start automatically:  No\n"
                     "Logging:              Always\n"
                     "Log file:             events.log\n"
                     "\n"
                     "    #  Port    OK   Address\n"
                     "    1  ICMP    Yes  10.0.0.1\n"
                     "    2  25      No   10.0.0.2\n");
    r = RunCli({"show", path, "--json"});
    EXPECT_EQ(r.out, "{\"popup\":1,\"sound\":\"\",\"execute\":\"\",\"period\":5,\"autostart\":0,"
                     "\"logging\":2,\"log_file\":\"events.log\",\"targets\":["
                     "{\"ok\":1,\"mode\":0,\"address\":\"10.0.0.1\",\"port\":80},"
                     "{\"ok\":0,\"mode\":1,\"address\":\"10.0.0.2\",\"port\":25}]}\n");

    WriteFileBytes(path, {0, 0});
    EXPECT_EQ(RunCli({"show", "--json", path}).out, "null\n");
    EXPECT_EQ(RunCli({"show", path}).out, "The file holds no list.\n");
}

TEST(Cli, JsonEscapesHighBytesAndControlsAndKeepsSignedValues) {
    CTempDir dir;
    const std::string path = dir / "odd.osl";
    CItemList list;
    list.m_strSound = "caf\xE9 \x80\xFF";
    list.m_strExecute = std::string("a\"b\\c/\n\r\t\b\f\x01\x1F\x7F\0z", 16);
    list.m_nPeriod = -5;
    list.m_bPopup = 7;
    list.m_nLogging = 9;
    list.m_strLogFile = "\xC3\xA9";
    list.AddTail(NewItem(-1, 3, "h\x1B[31m", -1));
    WriteListFile(path, list);

    SChildResult r = RunCli({"show", "--json", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\"popup\":7,\"sound\":\"caf\\u00e9 \\u0080\\u00ff\","
              "\"execute\":\"a\\\"b\\\\c/\\n\\r\\t\\b\\f\\u0001\\u001f\\u007f\\u0000z\","
              "\"period\":-5,\"autostart\":0,\"logging\":9,\"log_file\":\"\\u00c3\\u00a9\","
              "\"targets\":[{\"ok\":-1,\"mode\":3,\"address\":\"h\\u001b[31m\",\"port\":-1}]}\n");
    // The text form keeps control characters away from the terminal.
    r = RunCli({"show", path});
    EXPECT_NE(r.out.find("    1  -1      Yes  h\\x1b[31m\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
}

TEST(Cli, SetChangesOnlyWhatIsNamed) {
    CTempDir dir;
    const std::string path = dir / "a.osl";
    WriteFileBytes(path, FixtureBytes("example.osl"));
    SChildResult r = RunCli({"set", path, "--popup", "off", "--sound", "/s/alarm.wav", "--execute",
                             "notify-send 'down'", "--period", " 60\t", "--autostart", "on",
                             "--logging=on-failure", "--log-file", "/var/log/o.log"});
    EXPECT_EQ(r.status, 0) << r.err;
    auto list = ReadListFile(path);
    EXPECT_EQ(list->m_bPopup, 0);
    EXPECT_EQ(list->m_strSound, "/s/alarm.wav");
    EXPECT_EQ(list->m_strExecute, "notify-send 'down'");
    EXPECT_EQ(list->m_nPeriod, 60);
    EXPECT_EQ(list->m_bAutoStart, 1);
    EXPECT_EQ(list->m_nLogging, kLogOnFailure);
    EXPECT_EQ(list->m_strLogFile, "/var/log/o.log");
    EXPECT_EQ(list->GetCount(), 2u);

    // No option: the list is saved unchanged.
    WriteFileBytes(path, FixtureBytes("example.osl") + Bytes(10, 0xAB));
    EXPECT_EQ(RunCli({"set", path}).status, 0);
    EXPECT_EQ(ReadFileBytes(path), FixtureBytes("example.osl"));
    // A file without a list counts as the default list.
    WriteFileBytes(path, {0, 0});
    EXPECT_EQ(RunCli({"set", path, "--period", "5"}).status, 0);
    EXPECT_EQ(ReadListFile(path)->m_nPeriod, 5);
    EXPECT_EQ(ReadListFile(path)->m_bPopup, 1);

    // Bad values change nothing.
    const Bytes before = ReadFileBytes(path);
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"--period", "0"},
         "ostrel-cli set: --period: expected an integer from 1 to 100000, got \"0\"\n"},
        {{"--period", "100001"},
         "ostrel-cli set: --period: expected an integer from 1 to 100000, got \"100001\"\n"},
        {{"--period", "-0"},
         "ostrel-cli set: --period: expected an integer from 1 to 100000, got \"-0\"\n"},
        {{"--period", "5 minutes"},
         "ostrel-cli set: --period: expected an integer from 1 to 100000, got \"5 minutes\"\n"},
        {{"--popup", "yes"}, "ostrel-cli set: --popup: expected on or off, got \"yes\"\n"},
        {{"--logging", "sometimes"},
         "ostrel-cli set: --logging: expected never, on-failure or always, got \"sometimes\"\n"},
        {{"--colour", "red"}, ""},
        {{"--sound"}, ""},
    };
    for (const auto& [options, message] : bad) {
        std::vector<std::string> args{"set", path};
        args.insert(args.end(), options.begin(), options.end());
        r = RunCli(args);
        EXPECT_EQ(r.status, 2) << options[0];
        if (!message.empty())
            EXPECT_EQ(r.err, message);
        else
            EXPECT_NE(r.err.find("usage: ostrel-cli set ["), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(Cli, AddAndRemoveTargets) {
    CTempDir dir;
    const std::string path = dir / "a.osl";
    ASSERT_EQ(RunCli({"new", path}).status, 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"add", path, "first.example"},
             {"add", path, "--icmp", "10.0.0.1"},
             {"add", path, "--tcp", "1", "p1"},
             {"add", path, "--tcp", " 443\t", "p443"},
             {"add", path, "--tcp=65535", "p65535"},
             {"add", path, "--", "-dash"},
         })
        EXPECT_EQ(RunCli(args).status, 0) << args.back();
    EXPECT_EQ(RunCli({"remove", path, "2"}).status, 0);

    SChildResult r = RunCli({"show", "--json", path});
    EXPECT_NE(
        r.out.find("\"targets\":[{\"ok\":0,\"mode\":1,\"address\":\"first.example\",\"port\":80},"
                   "{\"ok\":0,\"mode\":1,\"address\":\"p1\",\"port\":1},"
                   "{\"ok\":0,\"mode\":1,\"address\":\"p443\",\"port\":443},"
                   "{\"ok\":0,\"mode\":1,\"address\":\"p65535\",\"port\":65535},"
                   "{\"ok\":0,\"mode\":1,\"address\":\"-dash\",\"port\":80}]}"),
        std::string::npos)
        << r.out;

    const Bytes before = ReadFileBytes(path);
    for (const char* port : {"http", "0", "-1", "65536"}) {
        r = RunCli({"add", path, "--tcp", port, "x"});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "ostrel-cli add: --tcp: expected an integer from 1 to 65535, got \"" +
                             std::string(port) + "\"\n");
    }
    EXPECT_EQ(RunCli({"add", path, "--icmp", "--tcp", "1", "x"}).status, 2);
    EXPECT_EQ(RunCli({"add", path}).status, 2);
    r = RunCli({"remove", path, "6"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "ostrel-cli remove: there is no target 6; the list has 5\n");
    EXPECT_EQ(RunCli({"remove", path, "0"}).status, 2);
    EXPECT_EQ(RunCli({"remove", path, "two"}).status, 2);
    EXPECT_EQ(ReadFileBytes(path), before);

    // The icmp target sits where it was added, shown with ICMP.
    ASSERT_EQ(RunCli({"add", path, "--icmp", "ping.me"}).status, 0);
    EXPECT_NE(RunCli({"show", path}).out.find("    6  ICMP    No   ping.me\n"), std::string::npos);
}

TEST(Cli, ErrorsGoToStandardErrorWithTheirExitStatus) {
    CTempDir dir;
    const std::string missing = dir / "missing.osl";
    SChildResult r = RunCli({"show", missing});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ostrel-cli: " + missing + ": No such file or directory\n");
    EXPECT_EQ(RunCli({"add", missing, "x"}).err, r.err);

    const std::string cut = dir / "cut.osl";
    Bytes example = FixtureBytes("example.osl");
    WriteFileBytes(cut, Bytes(example.begin(), example.begin() + 40));
    r = RunCli({"show", "--json", cut});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ostrel-cli: " + cut + ": malformed list file (cut short)\n");
    const std::string wrong = dir / "wrong.osl";
    WriteFileBytes(wrong, {0x01, 0x80});
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"show", wrong},
                                               {"set", wrong, "--period", "9"},
                                               {"add", wrong, "h"},
                                               {"remove", wrong, "1"}}) {
        r = RunCli(args);
        EXPECT_EQ(r.status, 3) << args[0];
        EXPECT_EQ(r.err, "ostrel-cli: " + wrong + ": malformed list file (bad format)\n")
            << args[0];
    }
    EXPECT_EQ(ReadFileBytes(wrong), (Bytes{0x01, 0x80}));

    r = RunCli({"new", dir / "no/such/folder.osl"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "ostrel-cli: " + dir / "no/such/folder.osl" + ": No such file or directory\n");
}

TEST(Cli, HelpAndUsageErrors) {
    for (const char* command : {"show", "new", "set", "add", "remove"}) {
        SChildResult r = RunCli({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("usage: ostrel-cli ") + command, 0), 0u) << r.out;
        r = RunCli({command, "--bogus", "x.osl"});
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_EQ(
            r.err.rfind(std::string("ostrel-cli ") + command + ": --bogus: unknown option\n", 0),
            0u)
            << r.err;
        r = RunCli({command});
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
    EXPECT_EQ(RunCli({}).status, 2);
    EXPECT_EQ(RunCli({"--help"}).status, 0);
    SChildResult r = RunCli({"frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("ostrel-cli: frobnicate: unknown command\n", 0), 0u);
}

// new through a symbolic link that points to nothing yet creates the list
// where it points; the link stays, and later changes go through it.
TEST(Cli, NewThroughADanglingLinkKeepsTheLink) {
    CTempDir dir;
    std::filesystem::create_directory(dir / "lists");
    ASSERT_EQ(::symlink("lists/office.osl", (dir / "link.osl").c_str()), 0);
    SChildResult r = RunCli({"new", dir / "link.osl"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.osl"));
    EXPECT_EQ(ReadFileBytes(dir / "lists/office.osl"), FixtureBytes("default.osl"));
    EXPECT_EQ(RunCli({"add", dir / "link.osl", "x"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.osl"));
    EXPECT_EQ(ReadListFile(dir / "lists/office.osl")->GetCount(), 1u);
}
