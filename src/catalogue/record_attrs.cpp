#include "catalogue/record_attrs.h"

namespace bk {
namespace {

// The attributes after date and time, in the order they are written, each
// with the record's field that holds it: one list for writing and reading.
template <class Record, class Visit>
void for_each_attr(Record& record, Visit visit) {
    visit(L"keeptime", record.keeptime);
    visit(L"filename", record.filename);
    visit(L"comment", record.comment);
    visit(L"version_type", record.identity.ver_type);
    visit(L"version_family", record.identity.ver_family);
    visit(L"workplace", record.identity.workplace);
    visit(L"dbname", record.identity.dbname);
    visit(L"username", record.identity.username);
    visit(L"workstation", record.identity.computer);
}

}  // namespace

void write_record_attrs(const XmlNode& element, const BackupRecord& record) {
    write_attr(element, L"date", rkit::to_wstring(record.time.get_date()));
    write_attr(element, L"time", rkit::to_wstring(record.time.get_time()));
    for_each_attr(record, [&](const wchar_t* name, const auto& value) { write_attr(element, name, value); });
}

void read_record_attrs(const XmlNode& element, BackupRecord& record) {
    rkit::date day = record.time.get_date();
    rkit::time moment = record.time.get_time();
    std::wstring text;
    if (read_attr(element, L"date", text)) rkit::from_str(text, day);
    if (read_attr(element, L"time", text)) rkit::from_str(text, moment);
    record.time.put(day, moment);
    for_each_attr(record, [&](const wchar_t* name, auto& value) { read_attr(element, name, value); });
}

}  // namespace bk
