// SPDX-License-Identifier: Apache-2.0
#include "framework/disk_file.h"
#include "framework/exception.h"
#include "storage/list_file.h"
#include "storage/list_file_messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/other_user.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {
std::unique_ptr<CItemList> ListOf(size_t n) {
    auto list = std::make_unique<CItemList>();
    for (size_t i = 0; i < n; ++i) {
        auto* item = new CItem;
        item->m_strAddress = "host-" + std::to_string(i);
        list->AddTail(item);
    }
    return list;
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}
} // namespace

TEST(ListFile, MessagesForFailedLoadsAndSaves) {
    EXPECT_EQ(LoadFailedMessage("/a b/x.osl", ENOENT),
              "Loading /a b/x.osl failed (returned a 0x2).");
    EXPECT_EQ(SaveFailedMessage("x.osl", EACCES), "Opening x.osl failed (returned a 0xd).");
    EXPECT_EQ(SaveFailedMessage("x.osl", -1), "Opening x.osl failed (returned a 0xffffffff).");
    EXPECT_EQ(SaveFormatFailedMessage("/l/x.osl"), "File Open Error: /l/x.osl");
    EXPECT_STREQ(kLoadCorruptMessage, "Error: Load failure.  File may be corrupted.");
}

TEST(ListFile, SavesNewFilesAndReadsThemBack) {
    CTempDir dir;
    const mode_t oldMask = ::umask(027);
    WriteListFile(dir / "new.osl", CItemList());
    ::umask(oldMask);
    EXPECT_EQ(ReadFileBytes(dir / "new.osl"), FixtureBytes("default.osl"));
    EXPECT_EQ(StatOf(dir / "new.osl").st_mode & 07777, 0640u); // as any new file
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"new.osl"});

    WriteFileBytes(dir / "example.osl", FixtureBytes("example.osl"));
    auto list = ReadListFile(dir / "example.osl");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->GetCount(), 2u);
    EXPECT_EQ(list->m_strLogFile, "events.log");
    WriteFileBytes(dir / "null.osl", {0, 0});
    EXPECT_EQ(ReadListFile(dir / "null.osl"), nullptr);

    EXPECT_EQ(FileError([&] { ReadListFile(dir / "missing.osl"); }), ENOENT);
    EXPECT_EQ(FileError([&] { ReadListFile(dir.Path()); }), EISDIR);
    EXPECT_EQ(FileError([&] { WriteListFile(dir / "no/such.osl", CItemList()); }), ENOENT);
    EXPECT_EQ(FileError([&] { WriteListFile(dir.Path(), CItemList()); }), EISDIR);
    try {
        WriteFileBytes(dir / "cut.osl", {0xFF, 0xFF, 0, 0, 9, 0, 'C'});
        ReadListFile(dir / "cut.osl");
        ADD_FAILURE() << "a cut class name was read";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.GetErrorMessage(), dir / "cut.osl" + " contained an unexpected object.");
    }
}

TEST(ListFile, SaveReplacesWholeAndKeepsModeOwnerAndLinks) {
    CTempDir dir;
    const std::string path = dir / "list.osl";
    Bytes longer = FixtureBytes("example.osl");
    longer.resize(5000, 0xAB);
    WriteFileBytes(path, longer);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    const ino_t oldInode = StatOf(path).st_ino;

    WriteListFile(path, CItemList());
    EXPECT_EQ(ReadFileBytes(path), FixtureBytes("default.osl")); // no stale tail
    const struct stat st = StatOf(path);
    EXPECT_NE(st.st_ino, oldInode);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"list.osl"});

    // Saving through a symbolic link replaces the file it points to.
    ASSERT_EQ(::symlink("list.osl", (dir / "link.osl").c_str()), 0);
    WriteListFile(dir / "link.osl", *ListOf(3));
    EXPECT_TRUE(S_ISLNK(StatOf(dir / "link.osl").st_mode));
    EXPECT_EQ(ReadListFile(path)->GetCount(), 3u);
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"link.osl", "list.osl"}));
}

// A lock that anyone who may read the list can take on it stops neither a
// reader nor a save (which replaces the file it is on).
TEST(ListFile, ALockOnTheListStopsNeitherReadingNorSaving) {
    CTempDir dir;
    const std::string path = dir / "list.osl";
    WriteFileBytes(path, FixtureBytes("example.osl"));
    {
        CDiskFile holder(path, O_RDONLY);
        EXPECT_EQ(FileError([&] { ReadListFile(path); }), 0);
        EXPECT_EQ(FileError([&] { WriteListFile(path, CItemList()); }), 0);
        EXPECT_EQ(ReadFileBytes(path), FixtureBytes("default.osl"));
        EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"list.osl"});
    }
    EXPECT_NE(ReadListFile(path), nullptr);
}

TEST(ListFile, PipeOrDeviceGetsTheBytesInPlace) {
    CTempDir dir;
    const std::string fifo = dir / "pipe.osl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    WriteListFile(fifo, CItemList());
    Bytes got(64);
    got.resize(static_cast<size_t>(std::max<ssize_t>(0, ::read(reader, got.data(), got.size()))));
    ::close(reader);
    EXPECT_EQ(got, FixtureBytes("default.osl"));
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
}

TEST(ListFile, AFileTheUserMayNotWriteIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to create a file that another user may not write";
    CTempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0); // the folder itself is writable
    const std::string path = dir / "list.osl";
    const std::string secret = dir / "secret.osl";
    WriteFileBytes(path, FixtureBytes("example.osl"));
    WriteFileBytes(secret, FixtureBytes("example.osl"));
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);

    const std::string failure = RunInChild([&]() -> std::string {
        if (!BecomeNobody().empty())
            return "cannot become nobody";
        try {
            WriteListFile(path, CItemList());
            return "saving over a read-only file succeeded";
        } catch (const CFileException& e) {
            if (SaveFailedMessage(path, e.m_lOsError) !=
                "Opening " + path + " failed (returned a 0xd).")
                return "save error " + std::to_string(e.m_lOsError);
        }
        try {
            ReadListFile(secret);
            return "reading an unreadable file succeeded";
        } catch (const CFileException& e) {
            if (LoadFailedMessage(secret, e.m_lOsError) !=
                "Loading " + secret + " failed (returned a 0xd).")
                return "load error " + std::to_string(e.m_lOsError);
        }
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(ReadFileBytes(path), FixtureBytes("example.osl"));
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"list.osl", "secret.osl"}));
}

TEST(ListFile, SaveThatFailsHalfwayLeavesTheOldFileIntact) {
    CTempDir dir;
    const std::string path = dir / "list.osl";
    const std::string failure = RunInChild([&]() -> std::string {
        // A 64 KiB file system of our own, visible only to this child.
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("SKIP: cannot create a mount namespace: ") + std::strerror(errno);
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
            return std::string("SKIP: cannot mount a small tmpfs: ") + std::strerror(errno);
        WriteListFile(path, *ListOf(2));
        const Bytes before = ReadFileBytes(path);
        long error = FileError([&] { WriteListFile(path, *ListOf(20000)); }); // about 400 KB
        std::string result;
        if (error != ENOSPC)
            result += "the save failed with " + std::to_string(error) + ", not ENOSPC; ";
        if (ReadFileBytes(path) != before)
            result += "the old file changed; ";
        if (Entries(dir.Path()) != std::vector<std::string>{"list.osl"})
            result += "a temporary file was left behind; ";
        if (!ReadListFile(path) || ReadListFile(path)->GetCount() != 2)
            result += "the old list no longer loads; ";
        return result;
    });
    if (failure.rfind("SKIP: ", 0) == 0)
        GTEST_SKIP() << failure.substr(6);
    EXPECT_EQ(failure, "");
}
