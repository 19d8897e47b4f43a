#include "rkit/command_line_split.h"

namespace rkit {

namespace {

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> split_command_line(std::wstring_view line) {
    std::vector<std::wstring> args;
    size_t i = 0;
    const size_t n = line.size();
    while (i < n && is_blank(line[i])) ++i;
    if (i == n) return args;

    // The program name: no escapes, so that "C:\Program Files\" stays a path.
    std::wstring program;
    if (line[i] == L'"') {
        ++i;
        while (i < n && line[i] != L'"') program.push_back(line[i++]);
        if (i < n) ++i;  // the closing quote
    } else {
        while (i < n && !is_blank(line[i])) program.push_back(line[i++]);
    }
    args.push_back(std::move(program));

    while (i < n && is_blank(line[i])) ++i;
    if (i == n) return args;

    std::wstring arg;
    int quotes = 0;       // quotes seen in the current run; odd means inside quoting
    size_t backslashes = 0;
    while (i < n) {
        const wchar_t c = line[i];
        if (is_blank(c) && quotes == 0) {
            args.push_back(std::move(arg));
            arg.clear();
            backslashes = 0;
            while (i < n && is_blank(line[i])) ++i;
            if (i == n) return args;
            continue;
        }
        if (c == L'\\') {
            arg.push_back(c);
            ++backslashes;
            ++i;
            continue;
        }
        if (c != L'"') {
            arg.push_back(c);
            backslashes = 0;
            ++i;
            continue;
        }
        // A double quote: the backslashes before it were escapes.
        arg.resize(arg.size() - backslashes / 2);
        if (backslashes % 2 == 1)
            arg.back() = L'"';
        else
            ++quotes;
        backslashes = 0;
        ++i;
        while (i < n && line[i] == L'"') {
            if (++quotes == 3) {
                arg.push_back(L'"');
                quotes = 0;
            }
            ++i;
        }
        if (quotes == 2) quotes = 0;
    }
    args.push_back(std::move(arg));
    return args;
}

}  // namespace rkit
