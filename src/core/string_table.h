// The module's user-visible texts, keyed by their resource ids, and the
// printf-like filling of their "%s" and "%d" places.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace bk {

namespace ids {
// Keep-time choices.
constexpr int KEEP_WEEK = 20001;
constexpr int KEEP_MONTH = 20002;
constexpr int KEEP_3_MONTHS = 20003;
constexpr int KEEP_YEAR = 20004;
// Columns of the backup list.
constexpr int COL_BACKUP_FILE = 20020;
constexpr int COL_CREATED = 20021;
constexpr int COL_KEEP_TIME = 20022;
constexpr int COL_COMPUTER = 20023;
constexpr int COL_COMMENT = 20024;
constexpr int COL_WORKPLACE = 20025;
constexpr int COL_USER = 20026;
constexpr int COL_DATABASE = 20027;
// Keep-time texts: "вечно", "истек", "%d дней".
constexpr int KEEP_FOREVER_TEXT = 20030;
constexpr int KEEP_EXPIRED_TEXT = 20031;
constexpr int KEEP_DAYS_TEXT = 20032;
constexpr int CHOOSE_OTHER_FILE = 20033;
constexpr int ARCHIVE_FILE_FILTER = 20034;
// Columns of the restore warnings.
constexpr int COL_FILE = 20035;
constexpr int COL_REASON = 20036;
constexpr int COL_SYSTEM_ERROR = 20037;
// Columns and placeholders of the files page.
constexpr int COL_FOLDER = 20040;
constexpr int COL_INCLUDE = 20041;
constexpr int COL_EXCLUDE = 20042;
constexpr int ALL_MASKS_TEXT = 20043;
constexpr int NO_MASKS_TEXT = 20044;
constexpr int CHOOSE_BACKUP_FOLDER = 20050;
constexpr int SETTINGS_CAPTION = 20051;
constexpr int CHOOSE_REMOVABLE_FOLDER = 20052;
constexpr int ADD_ROW_TEXT = 20053;
constexpr int CMD_ADD = 20054;
constexpr int CMD_EDIT = 20055;
constexpr int CMD_DELETE = 20056;
constexpr int NEW_FILE_GROUP = 20057;
constexpr int EDIT_FILE_GROUP = 20058;
constexpr int NO_FILE_GROUPS = 20059;
constexpr int NO_KEEP_TIME = 20060;
constexpr int NOT_EXISTS_TEXT = 20061;
constexpr int CHOOSE_RELATIVE_PATH = 20062;
constexpr int BACKUP_TITLE = 20063;
constexpr int RESTORE_TITLE = 20064;
constexpr int APP_CAPTION = 20065;
constexpr int STATUS_COPYING_TO_REMOVABLE = 20066;
constexpr int CMD_MOVE_UP = 20067;
constexpr int CMD_MOVE_DOWN = 20068;
constexpr int COL_TASK_DATABASE = 20069;
// Default comments of the automatic backups.
constexpr int COMMENT_ON_ENTER = 20070;
constexpr int COMMENT_ON_EXIT = 20071;
constexpr int COMMENT_BY_CLOCK = 20072;
constexpr int DATABASE_FILE_FILTER = 20073;
constexpr int CMD_PROPERTIES = 20074;
constexpr int NEW_SINGLE_FILE = 20075;
constexpr int EDIT_SINGLE_FILE = 20076;
// Permission status texts.
constexpr int PERMIT_ALL = 20080;
constexpr int PERMIT_NOBODY = 20081;
constexpr int PERMIT_ONLY = 20082;
constexpr int EXE_FILE_FILTER = 20085;
constexpr int NO_ARCHIVER = 20086;
constexpr int BAD_ARCHIVER_PATH = 20087;
constexpr int ALL_FILES_FILTER = 20088;
// Macro names of the basic folders and file locations.
constexpr int MACRO_ROOT_DIR = 20090;
constexpr int MACRO_EXE_DIR = 20091;
constexpr int MACRO_DBF_DIR = 20092;
constexpr int MACRO_TOP_DIR = 20093;
constexpr int MACRO_FLT_DIR = 20094;
constexpr int MACRO_BLW_DIR = 20095;
constexpr int MACRO_BAR_DIR = 20096;
constexpr int MACRO_VDL_DIR = 20097;
constexpr int MACRO_SRC_DIR = 20098;
constexpr int MACRO_VDX_DIR = 20099;
constexpr int MACRO_DB_DIR = 20100;
constexpr int MACRO_COMMON_DIR = 20101;
constexpr int MACRO_SHP_FILE = 20102;
constexpr int MACRO_REK_FILE = 20103;
constexpr int MACRO_OPR_FILE = 20104;
constexpr int MACRO_SHP_DIR = 20105;
constexpr int MACRO_REK_DIR = 20106;
constexpr int MACRO_OPR_DIR = 20107;
// Errors and questions.
constexpr int ERR_BASIC_FOLDER = 20110;
constexpr int ERR_LOAD_SETTINGS = 20111;
constexpr int ERR_SAVE_SETTINGS = 20112;
constexpr int ERR_LOAD_CATALOGUE = 20113;
constexpr int BAD_SETTINGS_BACKUP = 20114;
constexpr int BAD_SETTINGS_RESTORE = 20115;
constexpr int NO_BACKUP_INFO = 20116;
constexpr int VERSION_MISMATCH = 20117;
constexpr int REMOVABLE_NO_SPACE = 20118;
// Size units: bytes, KB, MB, GB, TB.
constexpr int UNIT_BYTES = 20119;
constexpr int UNIT_KB = 20120;
constexpr int UNIT_MB = 20121;
constexpr int UNIT_GB = 20122;
constexpr int UNIT_TB = 20123;
constexpr int REMOVABLE_NO_ACCESS = 20124;
// Progress texts.
constexpr int STATUS_PREPARING_BACKUP = 20125;
constexpr int STATUS_UPDATING_CATALOGUE = 20126;
constexpr int STATUS_COPYING_FILES = 20127;
constexpr int STATUS_PREPARING_EXTRACT = 20128;
constexpr int STATUS_COMPRESSING = 20129;
constexpr int STATUS_EXTRACTING = 20130;
constexpr int INVALID_MASK_IN_LIST = 20131;
constexpr int STATUS_SEARCH_STARTED = 20132;
constexpr int STATUS_SEARCHING_FOLDER = 20133;
constexpr int STATUS_EXCLUSIONS = 20134;
constexpr int DATABASE_MISMATCH = 20135;
constexpr int BAD_GROUP_MASK = 20136;
constexpr int ERR_CREATE_FOLDER = 20137;
constexpr int ERR_COPY_FILE = 20138;
constexpr int ERR_MOVE_FILE = 20139;
constexpr int RESTORE_DONE = 20140;
constexpr int RESTORE_PROBLEMS = 20141;
constexpr int ERR_COPY_TO_REMOVABLE = 20142;
constexpr int ERR_REMOVABLE_FREE_SPACE = 20143;
constexpr int ERR_ABSOLUTE_PATH = 20144;
constexpr int ERR_RELATIVE_PATH = 20145;
constexpr int COMPONENTS_NOT_USED = 20146;
constexpr int COL_COMPONENT_ID = 20147;
constexpr int COL_COMPONENT_TEXT = 20148;
constexpr int ARCHIVE_NOT_FOUND = 20149;
// Scheduler page.
constexpr int TASKS_FOR_DATABASE = 20150;
constexpr int NO_TASKS_FOR_DATABASE = 20151;
constexpr int ONE_TASK_FOR_DATABASE = 20152;
constexpr int CMD_CREATE_TASK = 20153;
constexpr int CMD_EDIT_TASK = 20154;
// Cloud storage.
constexpr int CLOUD_CONNECTING = 20155;
constexpr int CLOUD_DOWNLOADING = 20156;
constexpr int CLOUD_UPLOADING = 20157;
constexpr int CLOUD_NOT_SET = 20158;
constexpr int CLOUD_CUSTOM = 20159;
constexpr int CLOUD_UPLOAD_FAILED = 20160;
constexpr int CLOUD_NO_PASSWORD = 20161;
constexpr int ERR_FILE_LOCATION = 20162;
// The module's own messages, beyond the original table.
constexpr int ERR_FILE_NOT_SAVED = 20201;
constexpr int ERR_FOLDER_NOT_READ = 20202;
constexpr int BACKUP_INCOMPLETE = 20203;
constexpr int ERR_NO_ARCHIVE_MADE = 20204;
constexpr int ERR_CATALOGUE_LOCKED = 20205;
constexpr int ERR_ARCHIVE_INCOMPLETE = 20206;
}  // namespace ids

// The text of a string id; empty for an id the table does not hold.
std::wstring load_string(int id);

// One value for a "%s" or "%d" place of a pattern.
class FormatArg {
public:
    FormatArg(std::wstring text) : value_(std::move(text)) {}
    FormatArg(std::wstring_view text) : value_(std::wstring(text)) {}
    FormatArg(const wchar_t* text) : value_(std::wstring(text ? text : L"")) {}
    template <typename T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, wchar_t>)
    FormatArg(T number) : value_(static_cast<long long>(number)) {}

    // The value as the place wants it: a number in decimal for "%s", and for
    // "%d" a text as it is, so that a mismatched pattern still shows the value.
    std::wstring text() const;

private:
    std::variant<std::wstring, long long> value_;
};

// Fills the places of pattern in order, as swprintf would: "%s" and "%d" take
// the next argument, "%%" is one "%". Any other "%" sequence is kept as it is,
// and a place with no argument left gives the empty text.
std::wstring format_message(std::wstring_view pattern, std::initializer_list<FormatArg> args);

// load_string(id) filled with args.
std::wstring format_string(int id, std::initializer_list<FormatArg> args = {});

// format_string converted to the narrow text of exception messages.
std::string format_string_narrow(int id, std::initializer_list<FormatArg> args = {});

}  // namespace bk
