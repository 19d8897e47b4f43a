#include "sched/task_command.h"

#include "rkit/command_line_quote.h"
#include "rkit/command_line_split.h"

namespace sched {

namespace {

std::wstring quoted_where_needed(const std::wstring& arg) {
    return arg.empty() || arg.find_first_of(L" \t\"") != std::wstring::npos ? rkit::quote_argument(arg) : arg;
}

}  // namespace

std::vector<std::wstring> split_parameters(const std::wstring& parameters) {
    // The first word follows the program name's rule; a stand-in takes it.
    std::vector<std::wstring> words = rkit::split_command_line(L"x " + parameters);
    words.erase(words.begin());
    return words;
}

std::wstring join_parameters(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (const std::wstring& arg : arguments) line += (line.empty() ? L"" : L" ") + quoted_where_needed(arg);
    return line;
}

std::wstring join_command(const std::wstring& application, const std::vector<std::wstring>& arguments) {
    std::wstring line = application.empty() || application.find_first_of(L" \t\"") != std::wstring::npos
                            ? rkit::quote_program_name(application)
                            : application;
    for (const std::wstring& arg : arguments) line += L" " + quoted_where_needed(arg);
    return line;
}

}  // namespace sched
