// The record of one saved file that gathering makes, filelist.xml carries
// inside the archive, and a restore puts back by.
#pragma once
#include <cstdint>
#include <string>

namespace bk {

// One saved file; the gathered list is also the content of filelist.xml.
struct FileRecord {
    // A group's basic_folder as written in the settings; for a single file the
    // file macro its path names, or else the full path of its folder.
    std::wstring base_symbolic_name;
    // Where the file goes back, relative to the base (extract_folder inserted
    // before the file name when the group or file has one).
    std::wstring rel_path;
    // The full path now (after restore: the path of the extracted copy).
    std::wstring path;
    // How many records of the list name this same file.
    int32_t ref_count = 1;
    friend bool operator==(const FileRecord&, const FileRecord&) = default;
};

}  // namespace bk
