// What a terminal would show of a console program's output: one screen of
// text cells and a cursor. The progress parsers read the row the cursor
// stands on, which is the line a program keeps rewriting with \r and \b.
#pragma once
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace bk {

class ConsoleScreen {
public:
    // Wide enough that an archiver's progress line with a long path is not
    // wrapped onto a second row.
    static constexpr int default_columns = 256;
    static constexpr int default_rows = 32;

    explicit ConsoleScreen(int columns = default_columns, int rows = default_rows);

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    int cursor_row() const { return row_; }
    int cursor_column() const { return column_; }

    // Output bytes as the terminal receives them: UTF-8 text, a multi-byte
    // character possibly split between two calls, with control characters
    // (\r, \n, \b, \t) and escape sequences. Of the escape sequences only
    // erasing in the line and horizontal cursor moves are applied, everything
    // else (colours, titles, modes) is dropped.
    void write(std::string_view bytes);

    // A row's text without its trailing blank cells.
    std::wstring line(int row) const;
    std::wstring cursor_line() const { return line(row_); }

    // What the program wrote last, oldest first: up to history_lines rows that
    // scrolled off the top, then the screen's rows down to the cursor's. An
    // archiver's error often stands some lines above its final summary.
    static constexpr size_t history_lines = 100;
    std::vector<std::wstring> recent_lines() const;

private:
    enum class Escape { none, start, intermediate, csi, string, string_esc };

    void put(wchar_t c);
    void control(wchar_t c);
    void escape(wchar_t c);
    void apply_csi(wchar_t final_char);
    void new_line();
    void erase(int from, int to);
    void set_column(int column);

    int columns_;
    int rows_;
    std::vector<std::wstring> cells_;  // rows_ rows of columns_ cells each
    std::deque<std::wstring> history_;  // rows scrolled off, without trailing blanks
    int row_ = 0;
    int column_ = 0;  // may equal columns_: the next character wraps
    std::string pending_;  // the start of a UTF-8 character cut off by the last write
    Escape escape_ = Escape::none;
    std::wstring params_;  // parameters of the escape sequence being read
};

}  // namespace bk
