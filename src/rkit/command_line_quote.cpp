#include "rkit/command_line_quote.h"

namespace rkit {

std::wstring quote_argument(std::wstring_view arg) {
    std::wstring out;
    out.reserve(arg.size() + 2);
    out.push_back(L'"');
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            if (c == L'"') out.append(backslashes + 1, L'\\');
            backslashes = 0;
        }
        out.push_back(c);
    }
    out.append(backslashes, L'\\');
    out.push_back(L'"');
    return out;
}

std::wstring quote_program_name(std::wstring_view name) {
    std::wstring out;
    out.reserve(name.size() + 2);
    out.push_back(L'"');
    for (wchar_t c : name)
        if (c != L'"') out.push_back(c);
    out.push_back(L'"');
    return out;
}

std::wstring join_command_line(const std::vector<std::wstring>& args) {
    std::wstring line;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) line.push_back(L' ');
        line += i == 0 ? quote_program_name(args[i]) : quote_argument(args[i]);
    }
    return line;
}

}  // namespace rkit
