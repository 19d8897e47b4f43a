// Writing arguments into a command line so that split_command_line (the
// Windows rules) gives them back unchanged.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace rkit {

// The argument in double quotes. A double quote inside is written as \" and
// the backslashes just before a double quote or before the closing quote are
// doubled; every other character, backslashes included, is written as it is,
// so that ordinary values read exactly as typed.
std::wstring quote_argument(std::wstring_view arg);

// The program name in double quotes. The program name is read without escapes,
// so it cannot hold a double quote; one inside is dropped.
std::wstring quote_program_name(std::wstring_view name);

// The program name and the arguments, quoted and separated by blanks.
std::wstring join_command_line(const std::vector<std::wstring>& args);

}  // namespace rkit
