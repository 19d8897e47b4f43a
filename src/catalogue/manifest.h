// The two manifests at the root of every archive: fileinfo.xml, the record
// of the backup, and filelist.xml, where every saved file came from and
// under which path the archive holds it.
#pragma once
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/file_record.h"

namespace bk {

// Their names, at the archive's root and in a staging folder alike.
inline constexpr const wchar_t* FILELIST_NAME = L"filelist.xml";
inline constexpr const wchar_t* FILEINFO_NAME = L"fileinfo.xml";

// The path under which an archive holds a file: its full path without a
// leading "/". A path written on Windows keeps its meaning there: the drive
// is dropped and "\" stays its separator ("C:\Data\x.dbf" gives "Data\x.dbf").
// Parts of any length are kept whole.
std::wstring arc_rel_path(const std::wstring& full_path);

// root/item with the record's attributes as backup_list.xml has them.
void write_fileinfo(const std::wstring& path, const BackupRecord& record);
// Attributes that are missing, or a document without item, leave the
// record's values as they were.
void read_fileinfo(const std::wstring& path, BackupRecord& record);

// root/files with one file element per record, in order.
void write_filelist(const std::wstring& path, const std::vector<FileRecord>& records);
// Reads every child of root/files, whatever it is named; all four attributes
// must be there ("XML: attribute not found: <name>"), and a ref_count that is
// no number throws com_error. A record's path becomes the file's place under
// extract_folder, "\" taken as a separator. A path leading out of the
// extraction folder ("..") throws std::runtime_error. Without a files
// element the records are left as they were.
void read_filelist(const std::wstring& path, const std::wstring& extract_folder, std::vector<FileRecord>& records);

}  // namespace bk
