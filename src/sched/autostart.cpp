#include "sched/autostart.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "rkit/path.h"
#include "rkit/replace_file.h"
#include "rkit/text.h"

namespace sched {

namespace {

constexpr std::string_view GROUP = "[Desktop Entry]";

// The escapes of a string value: backslash, line break, tab, carriage
// return, and a blank at the start, which would otherwise be dropped.
std::string escape_value(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        switch (value[i]) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case ' ': out += i == 0 ? "\\s" : " "; break;
            default: out.push_back(value[i]);
        }
    }
    return out;
}

std::string unescape_value(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out.push_back(value[i]);
            continue;
        }
        switch (const char c = value[++i]) {
            case 's': out.push_back(' '); break;
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case 'r': out.push_back('\r'); break;
            case '\\': out.push_back('\\'); break;
            default: out += {'\\', c};
        }
    }
    return out;
}

// One argument of Exec=: in double quotes (with "\" before " ` $ and \)
// when it holds a character the key reserves; "%" doubled, since a single
// one starts a field code.
std::string exec_word(std::string_view arg) {
    std::string word;
    if (arg.empty() || arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string_view::npos) {
        word = "\"";
        for (char c : arg) {
            if (std::strchr("\"`$\\", c)) word.push_back('\\');
            word.push_back(c);
        }
        word += "\"";
    } else {
        word = arg;
    }
    std::string out;
    for (char c : word) out += c == '%' ? "%%" : std::string(1, c);
    return out;
}

// The words of an (unescaped) Exec= value; field codes such as %f, which
// only a hand-made entry has, are dropped.
std::vector<std::wstring> exec_words(std::string_view exec) {
    std::vector<std::wstring> words;
    size_t i = 0;
    for (;;) {
        while (i < exec.size() && std::strchr(" \t\n", exec[i])) ++i;
        if (i == exec.size()) return words;
        std::string word;
        if (exec[i] == '"') {
            for (++i; i < exec.size() && exec[i] != '"'; ++i) {
                if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
                word.push_back(exec[i]);
            }
            ++i;
        } else {
            while (i < exec.size() && !std::strchr(" \t\n", exec[i])) word.push_back(exec[i++]);
        }
        if (word.size() == 2 && word[0] == '%' && word[1] != '%') continue;
        std::string decoded;
        for (size_t k = 0; k < word.size(); ++k) {
            if (word[k] != '%') decoded.push_back(word[k]);
            else if (k + 1 < word.size() && word[++k] == '%') decoded.push_back('%');
        }
        words.push_back(rkit::char_to_wide(decoded));
    }
}

bool is_entry_name(const std::wstring& name) {
    return !name.empty() && name.find(L'/') == std::wstring::npos && name != L"." && name != L"..";
}

std::filesystem::path entry_path(const std::wstring& name) {
    if (!is_entry_name(name))
        throw std::runtime_error("not a task name for an autostart entry: " + rkit::wide_to_char(name));
    return autostart_folder() / rkit::native_path(name + L".desktop");
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error) {
    throw std::runtime_error(what + " " + path.string() + ": " + std::strerror(error));
}

}  // namespace

std::filesystem::path autostart_folder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::filesystem::path(config) / "autostart";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : "/";
    }
    return std::filesystem::path(home) / ".config" / "autostart";
}

std::string desktop_entry_text(const std::wstring& name, const AutostartEntry& entry) {
    std::string exec = exec_word(rkit::wide_to_char(entry.command.application));
    for (const std::wstring& arg : entry.command.arguments) exec += " " + exec_word(rkit::wide_to_char(arg));
    std::string text = std::string(GROUP) + "\nType=Application\nName=" + escape_value(rkit::wide_to_char(name)) +
                       "\nExec=" + escape_value(exec) + "\n";
    if (!entry.command.directory.empty())
        text += "Path=" + escape_value(rkit::wide_to_char(entry.command.directory)) + "\n";
    if (!entry.comment.empty()) text += "Comment=" + escape_value(rkit::wide_to_char(entry.comment)) + "\n";
    if (!entry.enabled) text += "Hidden=true\n";
    return text;
}

std::optional<AutostartEntry> parse_desktop_entry(std::string_view text) {
    AutostartEntry entry;
    bool in_group = false, has_exec = false;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with('[')) {
            in_group = line == GROUP;
            continue;
        }
        const size_t equals = line.find('=');
        if (!in_group || equals == std::string::npos) continue;
        const std::string key = line.substr(0, line.find_last_not_of(" \t", equals - 1) + 1);
        const size_t begin = line.find_first_not_of(" \t", equals + 1);
        const std::string value = unescape_value(begin == std::string::npos ? "" : line.substr(begin));
        if (key == "Exec") {
            const std::vector<std::wstring> words = exec_words(value);
            if (words.empty()) return std::nullopt;
            entry.command.application = words[0];
            entry.command.arguments.assign(words.begin() + 1, words.end());
            has_exec = true;
        } else if (key == "Path") {
            entry.command.directory = rkit::char_to_wide(value);
        } else if (key == "Comment") {
            entry.comment = rkit::char_to_wide(value);
        } else if (key == "Hidden") {
            entry.enabled = value != "true";
        }
    }
    if (!has_exec) return std::nullopt;
    return entry;
}

std::optional<AutostartEntry> read_autostart(const std::wstring& name) {
    if (!is_entry_name(name)) return std::nullopt;
    const std::filesystem::path path = entry_path(name);
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (error || !in) fail("cannot read", path, error ? error.value() : errno);
    std::ostringstream text;
    text << in.rdbuf();
    return parse_desktop_entry(text.str());
}

void write_autostart(const std::wstring& name, const AutostartEntry& entry) {
    const std::filesystem::path path = entry_path(name);
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) fail("cannot make", path.parent_path(), error.value());
    if (!rkit::replace_file_content(path.string(), desktop_entry_text(name, entry))) fail("cannot write", path, errno);
}

bool remove_autostart(const std::wstring& name) {
    if (!is_entry_name(name)) return false;
    const std::filesystem::path path = entry_path(name);
    if (::unlink(path.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    fail("cannot remove", path, errno);
}

std::vector<std::wstring> autostart_names() {
    std::vector<std::wstring> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(autostart_folder(), error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path& path = it->path();
        if (path.extension() == ".desktop" && !path.stem().empty())
            names.push_back(rkit::from_native_path(path.stem().string()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace sched
