// SPDX-License-Identifier: Apache-2.0
#include "storage/list_file.h"

#include "framework/archive.h"
#include "framework/disk_file.h"
#include "framework/exception.h"
#include "storage/file_replacer.h"
#include "storage/list_write_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
// Opening does not wait: a pipe without a writer would hold it for good.
std::unique_ptr<CDiskFile> OpenForReading(const std::string& path) {
    auto file = std::make_unique<CDiskFile>(path, O_RDONLY | O_NONBLOCK, 0, false);
    struct stat st;
    if (::fstat(file->GetDescriptor(), &st) < 0)
        throw CFileException(errno, path);
    if (!S_ISREG(st.st_mode))
        throw CFileException(S_ISDIR(st.st_mode) ? EISDIR : ENXIO, path);
    return file;
}
} // namespace

std::unique_ptr<CItemList> ReadList(CFile& file) {
    CArchive ar(&file, CArchive::load);
    std::unique_ptr<CItemList> list(
        static_cast<CItemList*>(ar.ReadObject(RUNTIME_CLASS(CItemList))));
    ar.Close();
    return list;
}

void WriteList(CFile& file, const CItemList& list) {
    CArchive ar(&file, CArchive::store);
    ar.WriteObject(&list);
    ar.Close();
}

std::unique_ptr<CItemList> ReadListFile(const std::string& path) {
    std::unique_ptr<CDiskFile> file = OpenForReading(path);
    std::unique_ptr<CItemList> list = ReadList(*file);
    file->Close();
    return list;
}

void WriteListFile(const std::string& path, const CItemList& list) {
    CListWriteLock lock(path);
    CFileReplacer replacer(path);
    WriteList(replacer.File(), list);
    replacer.Commit();
}

CListFileUpdate::CListFileUpdate(std::string path) : m_strPath(std::move(path)) {}

CListFileUpdate::~CListFileUpdate() = default;

std::unique_ptr<CItemList> CListFileUpdate::Read() {
    m_pLock = std::make_unique<CListWriteLock>(m_strPath);
    m_pFile = OpenForReading(m_strPath);
    return ReadList(*m_pFile);
}

void CListFileUpdate::Write(const CItemList& list) {
    CFileReplacer replacer(m_strPath, m_pFile.get());
    WriteList(replacer.File(), list);
    replacer.Commit();
    m_pFile.reset();
    m_pLock.reset();
}
