#include "catalogue/record_attrs.h"

namespace bk {

void write_record_attrs(const XmlNode& element, const BackupRecord& record) {
    write_attr(element, L"date", rkit::to_wstring(record.time.get_date()));
    write_attr(element, L"time", rkit::to_wstring(record.time.get_time()));
    write_attr(element, L"keeptime", record.keeptime);
    write_attr(element, L"filename", record.filename);
    write_attr(element, L"comment", record.comment);
    write_attr(element, L"version_type", record.identity.ver_type);
    write_attr(element, L"version_family", record.identity.ver_family);
    write_attr(element, L"workplace", record.identity.workplace);
    write_attr(element, L"dbname", record.identity.dbname);
    write_attr(element, L"username", record.identity.username);
    write_attr(element, L"workstation", record.identity.computer);
}

void read_record_attrs(const XmlNode& element, BackupRecord& record) {
    rkit::date day = record.time.get_date();
    rkit::time moment = record.time.get_time();
    std::wstring text;
    if (read_attr(element, L"date", text)) rkit::from_str(text, day);
    if (read_attr(element, L"time", text)) rkit::from_str(text, moment);
    record.time.put(day, moment);
    read_attr(element, L"keeptime", record.keeptime);
    read_attr(element, L"filename", record.filename);
    read_attr(element, L"comment", record.comment);
    read_attr(element, L"version_type", record.identity.ver_type);
    read_attr(element, L"version_family", record.identity.ver_family);
    read_attr(element, L"workplace", record.identity.workplace);
    read_attr(element, L"dbname", record.identity.dbname);
    read_attr(element, L"username", record.identity.username);
    read_attr(element, L"workstation", record.identity.computer);
}

}  // namespace bk
