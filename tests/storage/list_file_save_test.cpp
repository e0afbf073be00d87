// SPDX-License-Identifier: Apache-2.0
// Saving list files on real files, as other users and against other
// processes: the owner, group and permissions a replaced file keeps, the
// temporary file's own permissions and its removal, two changes of one list
// at the same time, folders the saver may not write, and symbolic links
// that point to nothing yet.
#include "framework/exception.h"
#include "storage/list_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/file.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli_run.h"
#include "flock_hook.h"
#include "support/other_user.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace {
// Numeric ids with no names: a child may take them without /etc/passwd.
constexpr uid_t kAlice = 2001, kBob = 2002;
constexpr gid_t kStaff = 3001, kUsers = 3002;

std::unique_ptr<CItemList> ListOf(std::vector<std::string> addresses) {
    auto list = std::make_unique<CItemList>();
    for (std::string& address : addresses) {
        auto* item = new CItem;
        item->m_strAddress = std::move(address);
        list->AddTail(item);
    }
    return list;
}

// The addresses of the list in the file at `path`, joined by blanks.
std::string AddressesIn(const std::string& path) {
    std::string joined;
    std::unique_ptr<CItemList> list = ReadListFile(path);
    for (POSITION pos = list ? list->GetHeadPosition() : nullptr; pos;)
        joined += (joined.empty() ? "" : " ") + list->GetNext(pos)->m_strAddress;
    return joined;
}

// Reads the list at `path`, adds `address` and saves it, under one lock.
void AddTo(const std::string& path, const std::string& address) {
    CListFileUpdate update(path);
    std::unique_ptr<CItemList> list = update.Read();
    auto* item = new CItem;
    item->m_strAddress = address;
    list->AddTail(item);
    update.Write(*list);
}

// Every name under `dir`, folders included, relative to it.
std::vector<std::string> Tree(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        names.push_back(entry.path().lexically_relative(dir));
    std::sort(names.begin(), names.end());
    return names;
}

struct stat LstatOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// Starts ostrel-cli with `args`, preloaded with the shim that holds it at its
// `nLock`-th lock, and returns once it is held there (or has ended);
// Release() lets it go on and collects its exit status and standard error.
class CHeldCli {
public:
    CHeldCli(const std::vector<std::string>& args, int nLock) {
        if (::pipe(m_arrived) < 0 || ::pipe(m_go) < 0)
            return;
        const std::string hold = std::to_string(m_arrived[1]) + "," + std::to_string(m_go[0]) +
                                 "," + std::to_string(nLock);
        // A sanitized ostrel-cli would rather have its runtime loaded first.
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string options =
            std::string(asan ? asan : "") + (asan ? ":" : "") + "verify_asan_link_order=0";
        m_child.emplace(OSTREL_CLI_PATH, args,
                        SChildOptions{.env = {{"OSTREL_TEST_HOLD", hold},
                                              {"LD_PRELOAD", OSTREL_HOLD_SHIM_PATH},
                                              {"ASAN_OPTIONS", options}}});
        ::close(m_arrived[1]);
        ::close(m_go[0]);
        char byte;
        m_bHeld = ::read(m_arrived[0], &byte, 1) == 1;
    }
    bool Held() const { return m_bHeld; }
    SChildResult Release() {
        const char byte = 0;
        [[maybe_unused]] ssize_t n = ::write(m_go[1], &byte, 1);
        ::close(m_go[1]);
        ::close(m_arrived[0]);
        return m_child->Wait();
    }

private:
    std::optional<CChildProcess> m_child;
    int m_arrived[2] = {-1, -1};
    int m_go[2] = {-1, -1};
    bool m_bHeld = false;
};

#define SKIP_UNLESS_ROOT()                                                                         \
    if (::geteuid() != 0)                                                                          \
    GTEST_SKIP() << "needs root to hand files to other users"
} // namespace

// Saved by bob (primary group users), a list of alice's keeps her group when
// bob belongs to it; else it falls to bob's group, and then neither that
// group nor others may use it.
TEST(ListFileSave, AnotherUsersListKeepsItsGroupOrClosesToGroupAndOthers) {
    SKIP_UNLESS_ROOT();
    struct {
        const char* what;
        uid_t uid;
        gid_t gid;
        mode_t mode;
        std::vector<gid_t> bobsGroups;
        gid_t wantGid;
        mode_t wantMode;
    } const cases[] = {
        {"a member keeps the group", kAlice, kStaff, 0660, {kStaff}, kStaff, 0660},
        {"no member: group and others closed", kAlice, kStaff, 0666, {}, kUsers, 0600},
        {"own file of a foreign group", kBob, kStaff, 0664, {}, kUsers, 0600},
        {"own file of his group", kBob, kStaff, 0664, {kStaff}, kStaff, 0664},
        {"set-user-id goes with the owner", kAlice, kStaff, 04660, {kStaff}, kStaff, 0660},
        {"set-group-id goes with the group", kAlice, kStaff, 02666, {}, kUsers, 0600},
        {"set-group-id stays with the group", kBob, kStaff, 02660, {kStaff}, kStaff, 02660},
    };
    CTempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    for (const auto& c : cases) {
        const std::string path = dir / "list.osl";
        WriteFileBytes(path, FixtureBytes("example.osl"));
        ASSERT_EQ(::chown(path.c_str(), c.uid, c.gid), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        EXPECT_EQ(RunInChild([&] {
                      const std::string failure = BecomeUser(kBob, kUsers, c.bobsGroups);
                      if (!failure.empty())
                          return failure;
                      const long error = FileError([&] { WriteListFile(path, *ListOf({"b"})); });
                      return error ? "the save failed: " + std::to_string(error) : "";
                  }),
                  "")
            << c.what;
        const struct stat st = LstatOf(path);
        EXPECT_EQ(st.st_uid, kBob) << c.what;
        EXPECT_EQ(st.st_gid, c.wantGid) << c.what;
        EXPECT_EQ(st.st_mode & 07777, c.wantMode) << c.what;
        EXPECT_EQ(AddressesIn(path), "b") << c.what;
        EXPECT_EQ(Tree(dir.Path()), std::vector<std::string>{"list.osl"}) << c.what;
    }
}

// The temporary file is the saver's alone until it takes the old
// permissions, whatever the umask would have given it.
TEST(ListFileSave, TemporaryFileIsPrivateUntilItTakesTheOldPermissions) {
    CTempDir dir;
    const std::string path = dir / "list.osl";
    const mode_t oldMask = ::umask(0);
    for (mode_t mode : {0644, 0666, 0640, 0604, 0600}) {
        WriteFileBytes(path, FixtureBytes("example.osl"));
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        g_flockHook.m_locked.clear();
        WriteListFile(path, *ListOf({"a"}));
        std::vector<mode_t> tempModes;
        for (const auto& [name, lockedMode] : g_flockHook.m_locked)
            if (name.find("/.list.osl.") != std::string::npos)
                tempModes.push_back(lockedMode);
        EXPECT_EQ(tempModes, std::vector<mode_t>{0600}) << std::oct << mode;
        EXPECT_EQ(LstatOf(path).st_mode & 07777, mode) << std::oct << mode;
    }
    ::umask(oldMask);
}

// A lock that fails (ENOLCK where the file system has no locks) fails the
// save and leaves the folder as it was.
TEST(ListFileSave, FailedLockLeavesNoTemporaryFileBehind) {
    const std::function<void(const std::string&)> write = [](const std::string& path) {
        WriteListFile(path, *ListOf({"new"}));
    };
    const std::function<void(const std::string&)> update = [](const std::string& path) {
        AddTo(path, "new");
    };
    struct {
        const char* what;
        bool exists;
        const char* lockFailsOn;
        std::function<void(const std::string&)> save;
    } const cases[] = {
        {"replacing, the temporary file", true, ".tmp", write},
        {"creating, the temporary file", false, ".tmp", write},
        {"updating, the temporary file", true, ".tmp", update},
        {"replacing, the list itself", true, "list.osl", write},
        {"updating, the list itself", true, "list.osl", update},
    };
    for (const auto& c : cases) {
        CTempDir dir;
        const std::string path = dir / "list.osl";
        if (c.exists)
            WriteFileBytes(path, FixtureBytes("example.osl"));
        g_flockHook.m_strFailSuffix = c.lockFailsOn;
        EXPECT_EQ(FileError([&] { c.save(path); }), ENOLCK) << c.what;
        g_flockHook.m_strFailSuffix.clear();
        EXPECT_EQ(Tree(dir.Path()),
                  c.exists ? std::vector<std::string>{"list.osl"} : std::vector<std::string>{})
            << c.what;
        if (c.exists) {
            EXPECT_EQ(ReadFileBytes(path), FixtureBytes("example.osl")) << c.what;
        }
    }
}

// Two ostrel-cli runs on one list, the first held at a lock while the second
// runs from start to end. Held before its first lock (between its open and
// its lock), the first one changes the list the second one saved: both land.
// Held at its second lock (the list read, the save begun), it holds the list
// locked: the second is told that the file is in use, and nothing is lost.
TEST(ListFileSave, TwoCliChangesAtOnceLoseNothing) {
    const std::string busy = "ostrel-cli: LIST: Resource temporarily unavailable\n";
    struct {
        int nLock;
        std::vector<std::string> held, quick;
        std::string quickErr;
        std::string finally;
    } const cases[] = {
        {1, {"add", "LIST", "held"}, {"add", "LIST", "quick"}, "", "base quick held"},
        {1, {"remove", "LIST", "1"}, {"add", "LIST", "quick"}, "", "quick"},
        {1, {"set", "LIST", "--period", "9"}, {"add", "LIST", "quick"}, "", "base quick"},
        {1, {"add", "LIST", "held"}, {"new", "LIST"}, "", "held"},
        {2, {"add", "LIST", "held"}, {"add", "LIST", "quick"}, busy, "base held"},
        {2, {"remove", "LIST", "1"}, {"add", "LIST", "quick"}, busy, ""},
        {2, {"add", "LIST", "held"}, {"new", "LIST"}, busy, "base held"},
    };
    for (const auto& c : cases) {
        CTempDir dir;
        const std::string path = dir / "list.osl";
        WriteListFile(path, *ListOf({"base"}));
        auto withPath = [&](std::vector<std::string> args) {
            std::replace(args.begin(), args.end(), std::string("LIST"), path);
            return args;
        };
        const std::string what = c.held[0] + " held at lock " + std::to_string(c.nLock) + ", " +
                                 c.quick[0] + " meanwhile";
        CHeldCli held(withPath(c.held), c.nLock);
        EXPECT_TRUE(held.Held()) << what;
        const SChildResult quick = RunCli(withPath(c.quick));
        std::string quickErr = c.quickErr;
        if (size_t at = quickErr.find("LIST"); at != std::string::npos)
            quickErr.replace(at, 4, path);
        EXPECT_EQ(quick.err, quickErr) << what;
        EXPECT_EQ(quick.status, quickErr.empty() ? 0 : 2) << what;
        const SChildResult late = held.Release();
        EXPECT_EQ(late.status, 0) << what << ": " << late.err;
        EXPECT_EQ(AddressesIn(path), c.finally) << what;
        EXPECT_EQ(Tree(dir.Path()), std::vector<std::string>{"list.osl"}) << what;
    }
}

// From reading a list for a change to saving it, other writers are kept out;
// readers are not.
TEST(ListFileSave, ChangeHoldsTheLockFromReadToWrite) {
    CTempDir dir;
    const std::string path = dir / "list.osl";
    WriteListFile(path, *ListOf({"a"}));
    {
        CListFileUpdate update(path);
        std::unique_ptr<CItemList> list = update.Read();
        EXPECT_EQ(AddressesIn(path), "a");
        EXPECT_EQ(FileError([&] { WriteListFile(path, CItemList()); }), EWOULDBLOCK);
        EXPECT_EQ(FileError([&] { AddTo(path, "other"); }), EWOULDBLOCK);
        auto* item = new CItem;
        item->m_strAddress = "b";
        list->AddTail(item);
        update.Write(*list);
        EXPECT_EQ(AddressesIn(path), "a b"); // let go with the save
    }
    AddTo(path, "c");
    EXPECT_EQ(AddressesIn(path), "a b c");
}

// A lock file that a user who may not write the list left in a sticky folder,
// and holds, is ignored: the owner saves, and a change made past the lock
// meanwhile is refused rather than lost.
TEST(ListFileSave, AReadersLockFileIsIgnoredAndNoChangeIsLost) {
    SKIP_UNLESS_ROOT();
    CTempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 01777), 0);
    const std::string path = dir / "list.osl", lock = dir / ".#list.osl";
    WriteListFile(path, *ListOf({"base"}));
    const CAsNobody nobody([&] {
        return ::flock(::open(lock.c_str(), O_RDONLY | O_CREAT, 0666), LOCK_EX | LOCK_NB)
                   ? "no lock"
                   : "";
    });
    ASSERT_EQ(nobody.Result(), "");
    CListFileUpdate update(path);
    std::unique_ptr<CItemList> list = update.Read();
    AddTo(path, "other");
    EXPECT_EQ(FileError([&] { update.Write(*list); }), EWOULDBLOCK);
    EXPECT_EQ(AddressesIn(path), "base other");
}

// In a folder bob may not write, a list he may write is written in place
// and cut after the new bytes; anything else he may not write is refused.
TEST(ListFileSave, ListInAFolderClosedToTheSaverIsWrittenInPlace) {
    SKIP_UNLESS_ROOT();
    CTempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0); // root's, closed to bob
    const Bytes old = FixtureBytes("example.osl") + Bytes(5000, 0xAB);
    const std::function<void(const std::string&)> write = [](const std::string& path) {
        WriteListFile(path, CItemList());
    };
    const std::function<void(const std::string&)> update = [](const std::string& path) {
        CListFileUpdate file(path);
        file.Read();
        file.Write(CItemList());
    };
    struct {
        const char* what;
        mode_t mode; // 0: no file
        std::function<void(const std::string&)> save;
        long error;
    } const cases[] = {
        {"a file he may write", 0666, write, 0},
        {"a file he may write, changed", 0666, update, 0},
        {"a file he may only read", 0644, write, EACCES},
        {"no file", 0, write, EACCES},
    };
    for (const auto& c : cases) {
        const std::string path = dir / "list.osl";
        fs::remove(path);
        if (c.mode) {
            WriteFileBytes(path, old);
            ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        }
        const ino_t inode = LstatOf(path).st_ino;
        EXPECT_EQ(RunInChild([&] {
                      const std::string failure = BecomeUser(kBob, kUsers, {});
                      return failure.empty() ? std::to_string(FileError([&] { c.save(path); }))
                                             : failure;
                  }),
                  std::to_string(c.error))
            << c.what;
        EXPECT_EQ(Tree(dir.Path()),
                  c.mode ? std::vector<std::string>{"list.osl"} : std::vector<std::string>{})
            << c.what;
        if (!c.mode)
            continue;
        EXPECT_EQ(ReadFileBytes(path), c.error ? old : FixtureBytes("default.osl")) << c.what;
        const struct stat st = LstatOf(path);
        EXPECT_EQ(st.st_ino, inode) << c.what;
        EXPECT_EQ(st.st_mode & 07777, c.mode) << c.what;
        EXPECT_EQ(st.st_uid, 0u) << c.what;
    }
}

// Saving through a symbolic link that points to nothing yet creates the file
// where it points and keeps the link, as saving through any link does.
TEST(ListFileSave, DanglingLinkGetsTheFileWhereItPoints) {
    struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> links; // name, what it holds
        std::string created;
    } const cases[] = {
        {"relative", {{"l.osl", "new.osl"}}, "new.osl"},
        {"into a subfolder", {{"l.osl", "sub/deep.osl"}}, "sub/deep.osl"},
        {"from a subfolder", {{"sub/l.osl", "../up.osl"}}, "up.osl"},
        {"absolute", {{"l.osl", "/ABS/abs.osl"}}, "abs.osl"},
        {"a chain", {{"l.osl", "mid.osl"}, {"mid.osl", "sub/end.osl"}}, "sub/end.osl"},
    };
    for (const auto& c : cases) {
        CTempDir dir;
        fs::create_directory(dir / "sub");
        std::vector<std::string> want{"sub", c.created};
        for (const auto& [name, target] : c.links) {
            std::string text = target;
            if (text.rfind("/ABS/", 0) == 0)
                text = dir / text.substr(5);
            ASSERT_EQ(::symlink(text.c_str(), (dir / name).c_str()), 0);
            want.push_back(name);
        }
        std::sort(want.begin(), want.end());
        const std::string link = dir / c.links[0].first;
        WriteListFile(link, *ListOf({"x", "y"}));
        for (const auto& [name, target] : c.links)
            EXPECT_TRUE(S_ISLNK(LstatOf(dir / name).st_mode)) << c.what;
        EXPECT_TRUE(S_ISREG(LstatOf(dir / c.created).st_mode)) << c.what;
        EXPECT_EQ(AddressesIn(dir / c.created), "x y") << c.what;
        EXPECT_EQ(Tree(dir.Path()), want) << c.what;
    }

    CTempDir dir;
    ASSERT_EQ(::symlink("gone/x.osl", (dir / "l.osl").c_str()), 0);
    EXPECT_EQ(FileError([&] { WriteListFile(dir / "l.osl", CItemList()); }), ENOENT);
    EXPECT_EQ(Tree(dir.Path()), std::vector<std::string>{"l.osl"});
}
