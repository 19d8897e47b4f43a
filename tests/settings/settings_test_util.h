// Helpers shared by the settings tests.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>

#include "settings/settings.h"

namespace settings_test {

// A record with every field away from its default.
bk::BackupSettings full_record();

// True when xmllint finds the file well-formed.
bool xmllint_accepts(const std::filesystem::path& file);

}  // namespace settings_test

namespace bk {
// Failures show a record as the file it would be written to.
void PrintTo(const BackupSettings& settings, std::ostream* out);
}  // namespace bk
