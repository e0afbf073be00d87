// Reading and writing list files: each holds exactly one CItemList.
#pragma once

#include "model/item_list.h"

#include <memory>
#include <string>

class CFile;

// Reads one list from `file` through a 4096-byte archive buffer. Returns null
// when the data begins with the null tag. Raises CArchiveException for a
// malformed file and CFileException when reading fails.
std::unique_ptr<CItemList> ReadList(CFile& file);
// Writes `list` to `file` and flushes the archive buffer.
void WriteList(CFile& file, const CItemList& list);

// Opens the list file at `path` (locked while open) and reads it as ReadList does.
std::unique_ptr<CItemList> ReadListFile(const std::string& path);
// Replaces the file at `path` with `list`, or creates it: the old file stays
// as it was unless the new one was written in full. Raises CFileException
// (a file that cannot be written, a full disk, ...) and CArchiveException.
void WriteListFile(const std::string& path, const CItemList& list);
