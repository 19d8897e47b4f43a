#include "sched/crontab.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "rkit/process.h"
#include "rkit/text.h"
#include "rkit/unique_fd.h"

namespace sched {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// A word for /bin/sh in single quotes ("'" as '\''), with "%" and "\"
// escaped for cron, which reads "\%" as "%" and "\\" as "\".
std::string cron_word(std::string_view word) {
    if (word.find('\n') != std::string_view::npos)
        throw std::runtime_error("a scheduled command cannot hold a line break: " + std::string(word));
    std::string out = "'";
    for (char c : word) {
        if (c == '\'') out += "'\\''";
        else if (c == '%' || c == '\\') out += {'\\', c};
        else out.push_back(c);
    }
    return out + "'";
}

// cron's own reading of a command: "\%" is "%" and "\\" is "\"; a bare "%"
// ends the command and starts its input, which no command of ours has.
std::optional<std::string> cron_unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') return std::nullopt;
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '%' || text[i + 1] == '\\')) ++i;
        out.push_back(text[i]);
    }
    return out;
}

struct ShellWord {
    std::string text;
    bool plain = true;  // no quoting in it: a keyword or an operator can be told
};

// The words of a command that holds nothing the shell would expand or
// interpret but quoting and "&&"; nullopt for anything else.
std::optional<std::vector<ShellWord>> shell_words(std::string_view s) {
    std::vector<ShellWord> words;
    size_t i = 0;
    for (;;) {
        while (i < s.size() && is_blank(s[i])) ++i;
        if (i == s.size()) return words;
        if (s.substr(i, 2) == "&&" && (i + 2 == s.size() || is_blank(s[i + 2]))) {
            words.push_back({"&&", true});
            i += 2;
            continue;
        }
        if (s[i] == '#' || s[i] == '~') return std::nullopt;
        ShellWord word;
        while (i < s.size() && !is_blank(s[i])) {
            const char c = s[i++];
            if (c == '\'') {
                const size_t end = s.find('\'', i);
                if (end == std::string_view::npos) return std::nullopt;
                word.text.append(s.substr(i, end - i));
                i = end + 1;
            } else if (c == '"') {
                for (;;) {
                    if (i == s.size() || s[i] == '$' || s[i] == '`') return std::nullopt;
                    char d = s[i++];
                    if (d == '"') break;
                    if (d == '\\' && i < s.size() && std::strchr("$`\"\\", s[i])) d = s[i++];
                    word.text.push_back(d);
                }
            } else if (c == '\\') {
                if (i == s.size()) return std::nullopt;
                word.text.push_back(s[i++]);
            } else if (std::strchr(";&|<>()$`*?[", c)) {
                return std::nullopt;
            } else {
                word.text.push_back(c);
                continue;
            }
            word.plain = false;
        }
        words.push_back(std::move(word));
    }
}

bool is_keyword(const ShellWord& word, std::string_view keyword) { return word.plain && word.text == keyword; }

bool is_timing_field(std::wstring_view field) {
    return !field.empty() && std::all_of(field.begin(), field.end(), [](wchar_t c) {
        return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
               c == L'*' || c == L'/' || c == L',' || c == L'-';
    });
}

// The words of text between blanks, with where each ends.
std::vector<std::pair<std::wstring_view, size_t>> blank_words(std::wstring_view text, size_t count) {
    std::vector<std::pair<std::wstring_view, size_t>> words;
    size_t i = 0;
    while (words.size() < count) {
        while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
        if (i == text.size()) break;
        const size_t begin = i;
        while (i < text.size() && text[i] != L' ' && text[i] != L'\t') ++i;
        words.emplace_back(text.substr(begin, i - begin), i);
    }
    return words;
}

struct ScheduleLine {
    CronSchedule schedule;
    TaskCommand command;
};

// A line of ours: [#]TIMING COMMAND.
std::optional<ScheduleLine> parse_schedule_line(std::string_view line) {
    ScheduleLine parsed;
    if (!line.empty() && line[0] == '#') {
        parsed.schedule.enabled = false;
        line.remove_prefix(1);
    }
    const std::wstring wide = rkit::char_to_wide(line);
    const auto first = blank_words(wide, 1);
    if (first.empty()) return std::nullopt;
    const size_t count = first[0].first.starts_with(L'@') ? 1 : 5;
    const auto words = blank_words(wide, count);
    if (words.size() != count) return std::nullopt;
    const std::wstring timing = wide.substr(0, words.back().second);
    if (!timing_fields(timing)) return std::nullopt;
    const std::wstring rest = wide.substr(words.back().second);
    if (rest.empty() || (rest[0] != L' ' && rest[0] != L'\t')) return std::nullopt;
    auto command = parse_cron_command(rkit::wide_to_char(rest));
    if (!command) return std::nullopt;
    parsed.schedule.timing = timing;
    parsed.command = std::move(*command);
    return parsed;
}

// "# NAME" or "# NAME COMMENT": the name and the comment.
std::optional<std::pair<std::wstring, std::wstring>> parse_marker(std::string_view line) {
    if (!line.starts_with("# ") || line.size() < 3 || is_blank(line[2])) return std::nullopt;
    line.remove_prefix(2);
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return std::make_pair(rkit::char_to_wide(line), std::wstring());
    return std::make_pair(rkit::char_to_wide(line.substr(0, blank)), rkit::char_to_wide(line.substr(blank + 1)));
}

std::vector<std::string> task_lines(const CronTask& task) {
    if (task.name.empty() || std::any_of(task.name.begin(), task.name.end(), [](wchar_t c) { return c <= L' '; }))
        throw std::runtime_error("a task name cannot be empty or hold blanks: " + rkit::wide_to_char(task.name));
    if (task.schedules.empty())
        throw std::runtime_error("the task " + rkit::wide_to_char(task.name) + " has no schedule");
    std::wstring comment = task.comment;
    std::replace_if(comment.begin(), comment.end(), [](wchar_t c) { return c == L'\n' || c == L'\r'; }, L' ');
    std::vector<std::string> lines{"# " + rkit::wide_to_char(task.name) +
                                   (comment.empty() ? "" : " " + rkit::wide_to_char(comment))};
    const std::string command = cron_command(task.command);
    for (const CronSchedule& schedule : task.schedules) {
        if (!timing_fields(schedule.timing))
            throw std::runtime_error("not a cron schedule: " + rkit::wide_to_char(schedule.timing));
        lines.push_back((schedule.enabled ? "" : "#") + rkit::wide_to_char(schedule.timing) + " " + command);
    }
    return lines;
}

// Runs crontab with args, input on its standard input when given: the wait
// status and what it wrote.
std::pair<int, std::string> run_crontab(const std::vector<std::string>& args, const std::string* input) {
    const auto fail = [](const std::string& what) {
        throw std::runtime_error("crontab: " + what + ": " + std::strerror(errno));
    };
    rkit::unique_fd output(memfd_create("crontab-output", MFD_CLOEXEC));
    if (!output.valid()) fail("no output file");
    rkit::child_spec spec;
    spec.args = args;
    spec.output = rkit::child_stream::descriptor;
    spec.descriptor = output.get();
    rkit::unique_fd in;
    if (input) {
        in.reset(memfd_create("crontab-input", MFD_CLOEXEC));
        if (!in.valid()) fail("no input file");
        for (size_t done = 0; done < input->size();) {
            const ssize_t n = write(in.get(), input->data() + done, input->size() - done);
            if (n < 0 && errno != EINTR) fail("cannot write its input");
            if (n > 0) done += static_cast<size_t>(n);
        }
        if (lseek(in.get(), 0, SEEK_SET) != 0) fail("cannot write its input");
        spec.input = rkit::child_stream::descriptor;
        spec.input_descriptor = in.get();
    }
    rkit::waited_child child(spec);
    if (!child.started()) fail("cannot run it");
    const int status = child.wait();
    std::string text;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = pread(output.get(), buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
        at += n;
    }
    return {status, text};
}

std::string failure_text(const std::string& command, int status, const std::string& output) {
    std::string message = output;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    if (message.empty())
        message = WIFEXITED(status) ? "exit code " + std::to_string(WEXITSTATUS(status)) : "ended abnormally";
    return command + ": " + message;
}

}  // namespace

std::string cron_command(const TaskCommand& command) {
    std::string text;
    if (!command.directory.empty()) text = "cd " + cron_word(rkit::wide_to_char(command.directory)) + " && ";
    text += "exec " + cron_word(rkit::wide_to_char(command.application));
    for (const std::wstring& arg : command.arguments) text += " " + cron_word(rkit::wide_to_char(arg));
    return text;
}

std::optional<TaskCommand> parse_cron_command(std::string_view text) {
    const auto unescaped = cron_unescape(text);
    if (!unescaped) return std::nullopt;
    const auto words = shell_words(*unescaped);
    if (!words) return std::nullopt;
    TaskCommand command;
    size_t at = 0;
    if (!words->empty() && is_keyword((*words)[0], "cd")) {
        if (words->size() < 3 || !is_keyword((*words)[2], "&&")) return std::nullopt;
        command.directory = rkit::char_to_wide((*words)[1].text);
        at = 3;
    }
    if (at < words->size() && is_keyword((*words)[at], "exec")) ++at;
    if (at == words->size()) return std::nullopt;
    for (size_t i = at; i < words->size(); ++i) {
        if (is_keyword((*words)[i], "&&") || is_keyword((*words)[i], "cd")) return std::nullopt;
        (i == at ? command.application : command.arguments.emplace_back()) = rkit::char_to_wide((*words)[i].text);
    }
    return command;
}

std::optional<std::vector<std::wstring>> timing_fields(std::wstring_view timing) {
    const auto words = blank_words(timing, 6);
    if (words.empty()) return std::nullopt;
    const bool special = words[0].first.starts_with(L'@');
    if (words.size() != (special ? 1u : 5u)) return std::nullopt;
    std::vector<std::wstring> fields;
    for (const auto& [word, end] : words) {
        if (!is_timing_field(special ? word.substr(1) : word)) return std::nullopt;
        fields.emplace_back(word);
    }
    return fields;
}

bool parse_daily(std::wstring_view timing, int& hour, int& minute) {
    const auto fields = timing_fields(timing);
    if (!fields || fields->size() != 5 || (*fields)[2] != L"*" || (*fields)[3] != L"*" || (*fields)[4] != L"*")
        return false;
    const auto number = [](const std::wstring& field, int limit, int& value) {
        const auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
        if (field.empty() || field.size() > 2 || !std::all_of(field.begin(), field.end(), digit)) return false;
        value = std::stoi(field);
        return value <= limit;
    };
    return number((*fields)[0], 59, minute) && number((*fields)[1], 23, hour);
}

std::wstring daily_timing(int hour, int minute) {
    return std::to_wstring(minute) + L" " + std::to_wstring(hour) + L" * * *";
}

CronTable::CronTable(std::string_view text) {
    std::vector<std::string> lines;
    for (size_t begin = 0; begin < text.size();) {
        size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    for (size_t i = 0; i < lines.size();) {
        Entry entry{{lines[i]}, std::nullopt};
        const auto marker = parse_schedule_line(lines[i]) ? std::nullopt : parse_marker(lines[i]);
        if (marker) {
            CronTask task{marker->first, marker->second, {}, {}};
            for (size_t next = i + 1; next < lines.size(); ++next) {
                auto line = parse_schedule_line(lines[next]);
                if (!line) break;
                if (task.schedules.empty()) task.command = std::move(line->command);
                task.schedules.push_back(std::move(line->schedule));
                entry.lines.push_back(lines[next]);
            }
            if (!task.schedules.empty()) entry.task = std::move(task);
        }
        i += entry.lines.size();
        entries_.push_back(std::move(entry));
    }
}

std::string CronTable::text() const {
    std::string text;
    for (const Entry& entry : entries_)
        for (const std::string& line : entry.lines) text += line + "\n";
    return text;
}

CronTable::Entry* CronTable::entry(const std::wstring& name) {
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const Entry& e) { return e.task && e.task->name == name; });
    return found == entries_.end() ? nullptr : &*found;
}

const CronTask* CronTable::find(const std::wstring& name) const {
    Entry* found = const_cast<CronTable*>(this)->entry(name);
    return found ? &*found->task : nullptr;
}

std::vector<std::wstring> CronTable::task_names() const {
    std::vector<std::wstring> names;
    for (const Entry& entry : entries_)
        if (entry.task && std::find(names.begin(), names.end(), entry.task->name) == names.end())
            names.push_back(entry.task->name);
    return names;
}

void CronTable::put(const CronTask& task) {
    Entry replacement{task_lines(task), task};
    if (Entry* found = entry(task.name)) *found = std::move(replacement);
    else entries_.push_back(std::move(replacement));
}

bool CronTable::remove(const std::wstring& name) {
    Entry* found = entry(name);
    if (!found) return false;
    entries_.erase(entries_.begin() + (found - entries_.data()));
    return true;
}

std::string read_crontab() {
    const auto [status, output] = run_crontab({"crontab", "-l"}, nullptr);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return output;
    if (output.starts_with("no crontab for ")) return {};
    throw std::runtime_error(failure_text("crontab -l", status, output));
}

void write_crontab(const std::string& text) {
    const auto [status, output] = run_crontab({"crontab", "-"}, &text);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(failure_text("crontab -", status, output));
}

}  // namespace sched
