// Saving list files on real files, as other users: the owner, group and
// permissions a replaced file keeps, the temporary file's own permissions
// and its removal, folders the saver may not write, and symbolic links that
// point to nothing yet.
#include "framework/disk_file.h"
#include "framework/exception.h"
#include "storage/list_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "flock_hook.h"
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

long FileError(const std::function<void()>& run) {
    try {
        run();
    } catch (const CFileException& e) {
        return e.m_lOsError;
    }
    return 0;
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

// In a child: becomes `uid` with primary group `gid` and `groups` besides.
std::string Become(uid_t uid, gid_t gid, const std::vector<gid_t>& groups) {
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
        return "cannot become user " + std::to_string(uid);
    return "";
}

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
                      const std::string failure = Become(kBob, kUsers, c.bobsGroups);
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
    struct {
        const char* what;
        bool exists;
        const char* lockFailsOn;
        std::function<void(const std::string&)> save;
    } const cases[] = {
        {"replacing, the temporary file", true, ".tmp", write},
        {"creating, the temporary file", false, ".tmp", write},
        {"replacing, the list itself", true, "list.osl", write},
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
    struct {
        const char* what;
        mode_t mode; // 0: no file
        std::function<void(const std::string&)> save;
        long error;
    } const cases[] = {
        {"a file he may write", 0666, write, 0},
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
                      const std::string failure = Become(kBob, kUsers, {});
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
