// vdbackup.log: one line for every run of vdbackup, in the backup folder.
// Cron throws a job's standard error away, so this is where a user finds out
// what last night's backup did.
#pragma once
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "vardobk/vardobk.h"

namespace vdbackup {

inline constexpr const char* RUN_LOG_NAME = "vdbackup.log";
inline constexpr uintmax_t RUN_LOG_LIMIT = 1024 * 1024;

// "backup", "restore", "settings", "end of work" for a mode of the command
// line; "no mode" for none.
std::string mode_name(int32_t mode);

// "YYYY-MM-DD HH:MM:SS MODE: RESULT (CODE)" followed by ": archive" and
// ": message" for those that are not empty, and a line feed. Line breaks
// inside the message become blanks, so that a run stays one line.
std::string log_line(const std::tm& local, const std::string& mode, int code, const std::string& archive,
                     const std::string& message);

// Where the log of a run belongs: the settings' backup folder made absolute
// against root_path; the working folder when there are no settings to read,
// no root_path, or the folder does not exist.
std::filesystem::path log_folder(HostParamCallback params);

// Appends line to file. When the file would grow past limit bytes, its
// oldest whole lines are dropped and the rest is written to a new file that
// replaces the old one, so that a failure midway leaves the old log whole.
// Runs that log at the same moment take turns. False when the line could not
// be written; nothing is reported.
bool append_log_line(const std::filesystem::path& file, const std::string& line, uintmax_t limit = RUN_LOG_LIMIT);

}  // namespace vdbackup
