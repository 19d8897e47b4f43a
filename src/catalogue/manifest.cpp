#include "catalogue/manifest.h"

#include <stdexcept>

#include "catalogue/record_attrs.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "xml/xml.h"

namespace bk {

std::wstring arc_rel_path(const std::wstring& full_path) {
    std::wstring_view rest = full_path;
    const auto is_letter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
    if (rest.size() >= 2 && is_letter(rest[0]) && rest[1] == L':') rest.remove_prefix(2);
    if (!rest.empty() && rkit::is_separator(rest.front())) rest.remove_prefix(1);
    return std::wstring(rest);
}

void write_fileinfo(const std::wstring& path, const BackupRecord& record) {
    const XmlDocument doc = create_document();
    write_record_attrs(add_element(create_root(doc), L"item"), record);
    save_document(doc, path);
}

void read_fileinfo(const std::wstring& path, BackupRecord& record) {
    const XmlDocument doc = load_document(path);
    if (const XmlNode item = child_element(document_element(doc), L"item")) read_record_attrs(item, record);
}

void write_filelist(const std::wstring& path, const std::vector<FileRecord>& records) {
    const XmlDocument doc = create_document();
    const XmlNode files = add_element(create_root(doc), L"files");
    for (const FileRecord& r : records) {
        const XmlNode file = add_element(files, L"file");
        write_attr(file, L"base_symbolic_name", r.base_symbolic_name);
        write_attr(file, L"rel_path", r.rel_path);
        write_attr(file, L"arc_rel_path", arc_rel_path(r.path));
        write_attr(file, L"ref_count", r.ref_count);
    }
    save_document(doc, path);
}

namespace {


}  // namespace

void read_filelist(const std::wstring& path, const std::wstring& extract_folder, std::vector<FileRecord>& records) {
    const XmlDocument doc = load_document(path);
    const XmlNode files = child_element(document_element(doc), L"files");
    if (!files) return;
    std::vector<FileRecord> read;
    for (const XmlNode& file : child_elements(files)) {
        FileRecord r;
        std::wstring arc;
        require_attr(file, L"base_symbolic_name", r.base_symbolic_name);
        require_attr(file, L"rel_path", r.rel_path);
        require_attr(file, L"arc_rel_path", arc);
        require_attr(file, L"ref_count", r.ref_count);
        // A path that climbs out of the folder is kept as written: the
        // restore refuses that one record and says so, and puts back the rest.
        r.path = rkit::concat_path(extract_folder, rkit::to_native_separators(arc));
        read.push_back(std::move(r));
    }
    records = std::move(read);
}

}  // namespace bk
