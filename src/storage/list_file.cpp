#include "storage/list_file.h"

#include "framework/archive.h"
#include "framework/disk_file.h"
#include "storage/file_replacer.h"

#include <fcntl.h>

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
    CDiskFile file(path, O_RDONLY);
    std::unique_ptr<CItemList> list = ReadList(file);
    file.Close();
    return list;
}

void WriteListFile(const std::string& path, const CItemList& list) {
    CFileReplacer replacer(path);
    WriteList(replacer.File(), list);
    replacer.Commit();
}

CListFileUpdate::CListFileUpdate(std::string path) : m_strPath(std::move(path)) {}

CListFileUpdate::~CListFileUpdate() = default;

std::unique_ptr<CItemList> CListFileUpdate::Read() {
    m_pFile = std::make_unique<CDiskFile>(m_strPath, O_RDONLY);
    return ReadList(*m_pFile);
}

void CListFileUpdate::Write(const CItemList& list) {
    CFileReplacer replacer(m_strPath, m_pFile.get());
    WriteList(replacer.File(), list);
    replacer.Commit();
    m_pFile.reset();
}
