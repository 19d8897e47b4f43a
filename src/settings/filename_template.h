// Macros in texts ("%DATE%", "%PATH%") and the archive names built from the
// settings' filename template.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "core/host_params.h"
#include "rkit/datetime.h"

namespace bk {

// Ordered (name, value) pairs; the key of a pair is "%" + name + "%".
using MacroList = std::vector<std::pair<std::wstring, std::wstring>>;

// For each pair in order, the first occurrence of its key in the current text
// is replaced by the value. Names are case-sensitive; unknown macros stay.
std::wstring expand_macros(const std::wstring& text, const MacroList& macros);

// The macros of a filename template for a moment and a host, in the order
// they are replaced: DATE, TIME, SHORT_TIME, YEAR, SHORT_YEAR, MONTH,
// MONTH_STR, DAY, WEEKDAY, HOUR, MIN, SEC, VERTYPE, VERFAMILY, WORKPLACE,
// WORKSTATION, USER, DB, SHORT_DB.
MacroList template_macros(const rkit::timestamp& moment, const HostIdentity& identity);

// The template expanded, with every ".", "?", "*", "/" and "\" made "_": one
// file name, without extension.
std::wstring expand_filename_template(const std::wstring& templ, const rkit::timestamp& moment,
                                      const HostIdentity& identity);
// The same for the present moment of the module's clock (rkit::clock).
std::wstring expand_filename_template(const std::wstring& templ, const HostIdentity& identity);

// The first name of path, "x(1).7z", "x(1)(2).7z", "x(1)(2)(3).7z", ... (each
// built from the one before) that this call creates as a new, empty file with
// mode, atomically: two backups started in the same second into one folder
// never share a name. Throws std::runtime_error naming the file when a name
// cannot be created for any reason but an existing file.
std::wstring reserve_unique_path(const std::wstring& path, unsigned mode);

// The follow-up command after a backup: its one macro PATH is the archive's
// full path.
std::wstring expand_backup_cmdline(const std::wstring& cmdline, const std::wstring& archive_path);

}  // namespace bk
