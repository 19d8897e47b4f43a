// A BackupRecord as the attributes of one element: an entry of
// backup_list.xml and the item of fileinfo.xml share this form.
#pragma once
#include "catalogue/catalogue.h"
#include "xml/xml.h"

namespace bk {

void write_record_attrs(const XmlNode& element, const BackupRecord& record);
// Attributes that are missing, and a date or time that cannot be parsed,
// keep the record's values.
void read_record_attrs(const XmlNode& element, BackupRecord& record);

}  // namespace bk
