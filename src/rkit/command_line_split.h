// Splitting a command line into arguments by the Windows rules
// (CommandLineToArgvW), so that command lines written for, or by, the Windows
// build mean the same here.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace rkit {

// The program name comes first and follows its own rule: when it starts with
// a double quote it runs to the next double quote, backslashes included;
// otherwise to the first blank or tab. The arguments after it are separated
// by blanks and tabs outside quotes; 2n backslashes before a double quote give
// n backslashes and the quote opens or closes quoting, 2n+1 give n backslashes
// and a literal quote, backslashes before anything else stay as they are; of
// three double quotes in a row inside quoting, the third is a literal quote.
// An empty or blank line gives no arguments.
std::vector<std::wstring> split_command_line(std::wstring_view line);

}  // namespace rkit
