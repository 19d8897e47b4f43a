// backup_config.xml: the settings record as an XML document.
#pragma once
#include <string>

#include "settings/settings.h"

namespace bk {

// Writes every field of settings to a new document and saves it over path.
// Errors of the XML layer (xml_error, com_error) propagate.
void write_settings_file(const std::wstring& path, const BackupSettings& settings);

// Fills settings, which the caller has built with its defaults, from the file
// at path. What the file lacks keeps its value; a value that cannot be
// converted fails the whole read and may leave settings partly filled.
void read_settings_file(const std::wstring& path, BackupSettings& settings);

}  // namespace bk
