// The backup settings record: what a backup contains, where it goes, how long
// it is kept, when automatic backups run, who may make them and which archiver
// makes them. Every record is a plain value: copyable and comparable.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace bk {

// Keep times are days; -1 keeps forever, 0 means not set.
inline constexpr int32_t KEEP_FOREVER = -1;

// Option bits of BackupSettings::options. Each is stored as one capital letter.
inline constexpr uint32_t OPT_REMOVABLE = 0x0001;           // R
inline constexpr uint32_t OPT_ASK_REMOVABLE = 0x0002;       // P
inline constexpr uint32_t OPT_ON_ENTER = 0x0004;            // E
inline constexpr uint32_t OPT_ENTER_CONFIRM = 0x0008;       // H
inline constexpr uint32_t OPT_ON_EXIT = 0x0010;             // L
inline constexpr uint32_t OPT_EXIT_CONFIRM = 0x0020;        // G
inline constexpr uint32_t OPT_BY_CLOCK = 0x0040;            // T
inline constexpr uint32_t OPT_CLOUD = 0x0080;               // C
inline constexpr uint32_t OPT_SHOW_IN_EXPLORER = 0x0100;    // B
inline constexpr uint32_t OPT_KEEP_LAST_OF_WEEK = 0x0200;   // W
inline constexpr uint32_t OPT_KEEP_LAST_OF_MONTH = 0x0400;  // M
inline constexpr uint32_t OPT_ENTER_ON_DB_CHANGE = 0x0800;  // N
inline constexpr uint32_t OPT_EXIT_ON_DB_CHANGE = 0x1000;   // X

// FileGroup::flags.
inline constexpr uint32_t GROUP_RECURSIVE = 0x1;  // R

// AutoParams::flags.
inline constexpr uint32_t AUTO_ONCE_A_DAY = 0x1;
inline constexpr uint32_t AUTO_DB_EXCLUSIVE = 0x2;

// ArchiverSettings::archiver.
inline constexpr int32_t ARCHIVER_NONE = -1;
inline constexpr int32_t ARCHIVER_DEFAULT = 0;  // 7-Zip
inline constexpr int32_t ARCHIVER_7ZIP = 1;
inline constexpr int32_t ARCHIVER_RAR = 2;

// The cloud service that is the user's own WebDAV server at CloudSettings::url.
inline constexpr const wchar_t* CLOUD_SERVICE_CUSTOM = L"custom";

struct FileGroup {
    std::wstring basic_folder;    // a basic-folder macro name or a path
    std::wstring relative_path;   // below the basic folder; empty: the folder itself
    std::wstring include_mask;
    std::wstring exclude_mask;
    std::wstring extract_folder;  // subfolder put between folder and name on restore
    uint32_t flags = 0;           // GROUP_RECURSIVE
    std::wstring comment;
    std::vector<std::wstring> components;  // empty: saved whatever components are chosen
    friend bool operator==(const FileGroup&, const FileGroup&) = default;
};

struct SingleFile {
    std::wstring path;  // a file-location macro name or a path
    std::wstring extract_folder;
    std::wstring comment;
    std::vector<std::wstring> components;
    friend bool operator==(const SingleFile&, const SingleFile&) = default;
};

struct Component {
    std::wstring name;          // the identifier groups and files refer to
    std::wstring display_text;  // what the user sees
    friend bool operator==(const Component&, const Component&) = default;
};

// One kind of automatic backup: on entering, on leaving, by the clock.
struct AutoParams {
    std::wstring comment;
    int32_t keeptime = 7;
    uint32_t flags = 0;  // AUTO_ONCE_A_DAY, AUTO_DB_EXCLUSIVE
    std::vector<std::wstring> excl_comp;
    friend bool operator==(const AutoParams&, const AutoParams&) = default;
};

struct PermissionLists {
    std::vector<int32_t> workplaces;
    std::vector<std::wstring> logins;
    std::vector<std::wstring> workstations;
    friend bool operator==(const PermissionLists&, const PermissionLists&) = default;
};

struct ArchiverSettings {
    int32_t archiver = ARCHIVER_DEFAULT;
    int32_t compress_level = -1;  // -1: the archiver's default
    std::wstring exe_path;        // empty: looked for in the usual way
    std::wstring common_options;
    std::wstring compress_options;
    std::wstring extract_options;
    std::wstring password;  // plain text, as typed; empty: none
    friend bool operator==(const ArchiverSettings&, const ArchiverSettings&) = default;
};

struct CloudSettings {
    std::wstring service;  // a known service or CLOUD_SERVICE_CUSTOM
    std::wstring url;      // only meaningful for CLOUD_SERVICE_CUSTOM
    std::wstring login;
    std::wstring password;  // plain text, as typed
    bool eternal_only = false;  // upload only backups kept forever
    friend bool operator==(const CloudSettings&, const CloudSettings&) = default;
};

struct BackupSettings {
    // Every default; the comments of the automatic backups come from the
    // string table (20070, 20071, 20072).
    BackupSettings();

    std::wstring backup_folder = L"backup";
    std::wstring removable_path;
    CloudSettings cloud;
    std::wstring filename_template = L"vd_backup_%DATE%_%TIME%";
    std::wstring backup_cmdline;
    int32_t expired_limit = 10;
    int32_t default_keeptime = KEEP_FOREVER;
    int32_t last_at_week_keeptime = 30;
    int32_t last_at_month_keeptime = 365;
    std::vector<FileGroup> file_groups;
    std::vector<SingleFile> single_files;
    std::vector<Component> components;  // empty: components are not used
    AutoParams enter_param;
    AutoParams exit_param;
    AutoParams timer_param;
    int32_t save_hour = 12;
    uint32_t options = 0;  // OPT_*
    PermissionLists include_permission;
    PermissionLists exclude_permission;
    ArchiverSettings archiver;

    friend bool operator==(const BackupSettings&, const BackupSettings&) = default;
};

// Whether a backup or restore may start at all: something to save, an
// archiver chosen, and a complete cloud account when uploading is on.
bool is_usable(const BackupSettings& settings);
// The account is complete enough to try: a service, a url for "custom",
// and a login.
bool cloud_account_complete(const CloudSettings& cloud);
// Uploading is on (OPT_CLOUD) and the account is complete.
bool cloud_upload_enabled(const BackupSettings& settings);

// "RPEHLGTCBWMNX" order, one letter per set bit; bits above 0x1000 are dropped.
std::wstring options_to_letters(uint32_t bits);
// Each of the thirteen letters anywhere in text sets its bit (case-sensitive).
uint32_t options_from_letters(const std::wstring& text);
// "R" for GROUP_RECURSIVE, else empty; and back (other bits are not kept).
std::wstring group_flags_to_letters(uint32_t flags);
uint32_t group_flags_from_letters(const std::wstring& text);

}  // namespace bk
