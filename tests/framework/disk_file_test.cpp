// SPDX-License-Identifier: Apache-2.0
#include "framework/disk_file.h"
#include "framework/exception.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>

#include "support/test_files.h"

namespace {
// The errno of the file error that opening `path` raises, or 0.
long OpenError(const std::string& path, int flags) {
    try {
        CDiskFile file(path, flags);
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_strFileName, path);
        return e.m_lOsError;
    }
    return 0;
}
} // namespace

TEST(DiskFile, HoldsAnExclusiveLockWhileOpen) {
    CTempDir dir;
    const std::string path = dir / "a.osl";
    {
        CDiskFile writer(path, O_WRONLY | O_CREAT);
        writer.Write("abc", 3);
        // Every other opener is refused while the file is open, readers included.
        EXPECT_EQ(OpenError(path, O_RDONLY), EWOULDBLOCK);
        EXPECT_EQ(OpenError(path, O_WRONLY), EWOULDBLOCK);
        writer.Close();
        EXPECT_EQ(OpenError(path, O_RDONLY), 0); // closing releases it
    }
    CDiskFile reader(path, O_RDONLY);
    char buf[8];
    EXPECT_EQ(reader.Read(buf, sizeof buf), 3u);
    EXPECT_EQ(reader.Read(buf, sizeof buf), 0u);
    EXPECT_EQ(reader.GetFilePath(), path);
}

TEST(DiskFile, FailuresCarryErrnoAndPath) {
    CTempDir dir;
    EXPECT_EQ(OpenError(dir / "missing.osl", O_RDONLY), ENOENT);
    EXPECT_EQ(OpenError(dir.Path(), O_WRONLY), EISDIR);
    CDiskFile folder(dir.Path(), O_RDONLY);
    char byte;
    try {
        folder.Read(&byte, 1);
        ADD_FAILURE() << "reading a folder succeeded";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_lOsError, EISDIR);
    }
    // Written bytes wait in the file's buffer; the failure shows when they go out.
    CDiskFile full("/dev/full", O_WRONLY);
    try {
        full.Write("x", 1);
        full.Close();
        ADD_FAILURE() << "writing to /dev/full succeeded";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_lOsError, ENOSPC);
        EXPECT_EQ(e.m_strFileName, "/dev/full");
    }
}

TEST(DiskFile, ArchiveErrorsNameTheFullPath) {
    CTempDir dir;
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    std::filesystem::create_directory("sub");
    {
        CDiskFile file("sub/../b.osl", O_WRONLY | O_CREAT);
        EXPECT_EQ(file.GetFilePath(), dir / "b.osl");
    }
    std::filesystem::current_path(cwd);
}

TEST(DiskFile, TruncateEndsTheFileAfterTheBytesWritten) {
    CTempDir dir;
    const std::string path = dir / "a.osl";
    WriteFileBytes(path, Bytes(100, 'x'));
    CDiskFile file(path, O_WRONLY);
    file.Write("abc", 3); // still in the buffer: Truncate writes it out first
    file.Truncate();
    file.Close();
    EXPECT_EQ(ReadFileBytes(path), (Bytes{'a', 'b', 'c'}));
}

TEST(DiskFile, OpensWithoutALockForWhoHoldsItAlready) {
    CTempDir dir;
    const std::string path = dir / "a.osl";
    CDiskFile holder(path, O_WRONLY | O_CREAT);
    EXPECT_EQ(OpenError(path, O_WRONLY), EWOULDBLOCK);
    CDiskFile second(path, O_WRONLY, 0, false);
    second.Write("z", 1);
    second.Close();
    EXPECT_EQ(ReadFileBytes(path), Bytes{'z'});
    EXPECT_EQ(OpenError(path, O_RDONLY), EWOULDBLOCK); // the holder's lock stands
}
