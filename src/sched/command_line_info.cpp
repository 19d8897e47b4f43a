#include "vardobk/command_line.h"

#include <string_view>

#include "rkit/command_line_split.h"
#include "rkit/decimal.h"

namespace bk {

IBkCommandLineInfo::IBkCommandLineInfo() = default;
IBkCommandLineInfo::IBkCommandLineInfo(const IBkCommandLineInfo&) = default;
IBkCommandLineInfo& IBkCommandLineInfo::operator=(const IBkCommandLineInfo&) = default;
IBkCommandLineInfo::~IBkCommandLineInfo() = default;

BkCommandLineInfoImpl::BkCommandLineInfoImpl() = default;
BkCommandLineInfoImpl::BkCommandLineInfoImpl(const BkCommandLineInfoImpl&) = default;
BkCommandLineInfoImpl& BkCommandLineInfoImpl::operator=(const BkCommandLineInfoImpl&) = default;
BkCommandLineInfoImpl::~BkCommandLineInfoImpl() = default;

bool BkCommandLineInfoImpl::help() const { return help_; }
std::wstring BkCommandLineInfoImpl::user() const { return user_; }
int32_t BkCommandLineInfoImpl::workplace() const { return workplace_; }
std::wstring BkCommandLineInfoImpl::database() const { return database_; }
std::wstring BkCommandLineInfoImpl::program() const { return program_; }
int32_t BkCommandLineInfoImpl::mode() const { return mode_; }
void BkCommandLineInfoImpl::set_help(bool value) { help_ = value; }
void BkCommandLineInfoImpl::set_user(const std::wstring& value) { user_ = value; }
void BkCommandLineInfoImpl::set_workplace(int32_t value) { workplace_ = value; }
void BkCommandLineInfoImpl::set_database(const std::wstring& value) { database_ = value; }
void BkCommandLineInfoImpl::set_program(const std::wstring& value) { program_ = value; }
void BkCommandLineInfoImpl::set_mode(int32_t value) { mode_ = value; }
uint32_t BkCommandLineInfoImpl::process_id() const { return process_id_; }
int32_t BkCommandLineInfoImpl::keep_time() const { return keep_time_; }
bool BkCommandLineInfoImpl::once_a_day() const { return once_a_day_; }
std::wstring BkCommandLineInfoImpl::comment() const { return comment_; }
std::wstring BkCommandLineInfoImpl::excluded_components() const { return excluded_components_; }
std::wstring BkCommandLineInfoImpl::archive() const { return archive_; }
std::wstring BkCommandLineInfoImpl::value_f() const { return value_f_; }
std::wstring BkCommandLineInfoImpl::value_g() const { return value_g_; }
bool BkCommandLineInfoImpl::pass_args() const { return pass_args_; }
const std::vector<std::wstring>& BkCommandLineInfoImpl::extra_args() const { return extra_args_; }
bool BkCommandLineInfoImpl::quiet() const { return quiet_; }
void BkCommandLineInfoImpl::set_process_id(uint32_t value) { process_id_ = value; }
void BkCommandLineInfoImpl::set_keep_time(int32_t value) { keep_time_ = value; }
void BkCommandLineInfoImpl::set_once_a_day(bool value) { once_a_day_ = value; }
void BkCommandLineInfoImpl::set_comment(const std::wstring& value) { comment_ = value; }
void BkCommandLineInfoImpl::set_excluded_components(const std::wstring& value) { excluded_components_ = value; }
void BkCommandLineInfoImpl::set_archive(const std::wstring& value) { archive_ = value; }
void BkCommandLineInfoImpl::set_value_f(const std::wstring& value) { value_f_ = value; }
void BkCommandLineInfoImpl::set_value_g(const std::wstring& value) { value_g_ = value; }

IBkCommandLineInfo* BkCommandLineInfoImpl::clone() const { return new BkCommandLineInfoImpl(*this); }

namespace {

// The switch begins with the letter, in either case.
bool starts_with_letter(std::wstring_view text, wchar_t upper) {
    return !text.empty() && (text[0] == upper || text[0] == upper + (L'a' - L'A'));
}

// The switch begins with the letter and "=", such as "T=" or "t=".
bool is_value_switch(std::wstring_view text, wchar_t upper) {
    return text.size() >= 2 && starts_with_letter(text, upper) && text[1] == L'=';
}

}  // namespace

void BkCommandLineInfoImpl::parse_param(const std::wstring& text, bool is_switch, bool) {
    if (!is_switch) {
        program_ = text;
        return;
    }
    if (text == L"?" || text == L"H" || text == L"h") {
        help_ = true;
        return;
    }
    const std::wstring_view value = text.size() >= 2 ? std::wstring_view(text).substr(2) : std::wstring_view();

    if (is_value_switch(text, L'P')) {
        rkit::parse_uint32(value, process_id_);
        return;
    }
    if (is_value_switch(text, L'T')) {
        rkit::parse_int32(value, keep_time_);
        return;
    }
    if (starts_with_letter(text, L'O')) {
        once_a_day_ = true;
        return;
    }
    const std::pair<wchar_t, std::wstring*> text_values[] = {
        {L'C', &comment_}, {L'E', &excluded_components_}, {L'A', &archive_},
        {L'F', &value_f_}, {L'G', &value_g_},             {L'U', &user_},
    };
    for (const auto& [letter, field] : text_values) {
        if (is_value_switch(text, letter)) {
            *field = value;
            return;
        }
    }
    if (is_value_switch(text, L'W')) {
        rkit::parse_int32(value, workplace_);
        return;
    }
    if (is_value_switch(text, L'D')) {
        database_ = value;
        return;
    }
    const std::pair<wchar_t, int32_t> modes[] = {
        {L'B', CMDLINE_MODE_BACKUP},
        {L'R', CMDLINE_MODE_RESTORE},
        {L'S', CMDLINE_MODE_SETTINGS},
        {L'Z', CMDLINE_MODE_END_OF_WORK},
    };
    for (const auto& [letter, mode] : modes) {
        if (starts_with_letter(text, letter)) {
            mode_ = mode;
            return;
        }
    }
    if (starts_with_letter(text, L'Q')) {
        quiet_ = true;
        return;
    }
    if (starts_with_letter(text, L'X')) {
        pass_args_ = true;
        return;
    }
    if (starts_with_letter(text, L'K')) {
        // The number only has to be one: the arguments are kept in the order
        // in which they come, whatever their numbers say.
        const size_t eq = text.find(L'=');
        int32_t index = 0;
        if (eq != std::wstring::npos && rkit::parse_int32(std::wstring_view(text).substr(1, eq - 1), index))
            extra_args_.push_back(text.substr(eq + 1));
    }
}

IBkCommandLineInfo* factoryBkCommandLineInfo() { return new BkCommandLineInfoImpl(); }

namespace {

// Paths here begin with the switch character: "/opt/vd/prog" is the host's
// program, not the switch "opt/vd/prog" (which would read as /O). A switch
// never has a "/" before its "=", a path of a folder and a name always has one.
bool is_absolute_path_argument(const std::wstring& arg) {
    if (arg.size() < 2 || arg[0] != L'/') return false;
    const size_t slash = arg.find(L'/', 1);
    return slash != std::wstring::npos && slash < arg.find(L'=');
}

}  // namespace

void WinappParseCommandLine(const std::wstring& command_line, IBkCommandLineInfo& info) {
    const std::vector<std::wstring> args = rkit::split_command_line(command_line);
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        const bool is_switch =
            !arg.empty() && (arg[0] == L'-' || arg[0] == L'/') && !is_absolute_path_argument(arg);
        info.parse_param(is_switch ? arg.substr(1) : arg, is_switch, i + 1 == args.size());
    }
}

}  // namespace bk
