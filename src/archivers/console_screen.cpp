#include "archivers/console_screen.h"

#include "rkit/text.h"

#include <algorithm>

namespace bk {

namespace {

constexpr wchar_t esc = 0x1B;

// Bytes at the end of text that begin a UTF-8 character still incomplete.
size_t incomplete_tail(std::string_view text) {
    const size_t limit = std::min<size_t>(3, text.size());
    for (size_t k = 1; k <= limit; ++k) {
        const auto b = static_cast<unsigned char>(text[text.size() - k]);
        if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        if (b < 0xC0) return 0;
        const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        return need > k ? k : 0;
    }
    return 0;
}

// The first numeric parameter of a control sequence, or fallback when absent.
int first_param(const std::wstring& params, int fallback) {
    int value = 0;
    bool any = false;
    for (wchar_t c : params) {
        if (c < L'0' || c > L'9') break;
        value = std::min(value * 10 + static_cast<int>(c - L'0'), 100000);
        any = true;
    }
    return any ? value : fallback;
}

}  // namespace

ConsoleScreen::ConsoleScreen(int columns, int rows)
    : columns_(std::max(columns, 1)),
      rows_(std::max(rows, 1)),
      cells_(static_cast<size_t>(rows_), std::wstring(static_cast<size_t>(columns_), L' ')) {}

void ConsoleScreen::write(std::string_view bytes) {
    std::string text = std::move(pending_);
    text.append(bytes);
    const size_t tail = incomplete_tail(text);
    pending_.assign(text, text.size() - tail, tail);
    text.resize(text.size() - tail);
    for (wchar_t c : rkit::char_to_wide(text)) {
        if (escape_ != Escape::none)
            escape(c);
        else if (c == esc)
            escape_ = Escape::start;
        else if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            control(c);
        else
            put(c);
    }
}

std::wstring ConsoleScreen::line(int row) const {
    if (row < 0 || row >= rows_) return {};
    const std::wstring& cells = cells_[static_cast<size_t>(row)];
    const size_t end = cells.find_last_not_of(L' ');
    return end == std::wstring::npos ? std::wstring() : cells.substr(0, end + 1);
}

std::vector<std::wstring> ConsoleScreen::recent_lines() const {
    std::vector<std::wstring> lines(history_.begin(), history_.end());
    for (int row = 0; row <= row_; ++row) lines.push_back(line(row));
    return lines;
}

void ConsoleScreen::put(wchar_t c) {
    if (column_ >= columns_) new_line();
    cells_[static_cast<size_t>(row_)][static_cast<size_t>(column_)] = c;
    ++column_;
}

void ConsoleScreen::control(wchar_t c) {
    switch (c) {
    case L'\r':
        column_ = 0;
        break;
    case L'\n':
    case L'\v':
    case L'\f':
        // The terminal's output processing turns \n into \r\n, so a line feed
        // starts the next line at its beginning.
        new_line();
        break;
    case L'\b':
        if (column_ > 0) --column_;
        break;
    case L'\t':
        if (column_ < columns_) set_column((column_ / 8 + 1) * 8);
        break;
    default:
        break;  // bell, shift codes and the like show nothing
    }
}

void ConsoleScreen::escape(wchar_t c) {
    switch (escape_) {
    case Escape::start:
        if (c == L'[') {
            params_.clear();
            escape_ = Escape::csi;
        } else if (c == L']' || c == L'P' || c == L'_' || c == L'^' || c == L'X') {
            escape_ = Escape::string;
        } else if (c >= 0x20 && c <= 0x2F) {
            escape_ = Escape::intermediate;
        } else if (c != esc) {
            escape_ = Escape::none;
        }
        break;
    case Escape::intermediate:
        if (c == esc)
            escape_ = Escape::start;
        else if (c < 0x20 || c > 0x2F)
            escape_ = Escape::none;
        break;
    case Escape::csi:
        if (c == esc) {
            escape_ = Escape::start;
        } else if (c < 0x20) {
            control(c);  // terminals act on controls inside a sequence
        } else if (c <= 0x3F) {
            params_.push_back(c);
        } else {
            escape_ = Escape::none;
            if (c <= 0x7E) apply_csi(c);
        }
        break;
    case Escape::string:
        if (c == 0x07)
            escape_ = Escape::none;
        else if (c == esc)
            escape_ = Escape::string_esc;
        break;
    case Escape::string_esc:
        escape_ = c == L'\\' ? Escape::none : Escape::string;
        break;
    case Escape::none:
        break;
    }
}

void ConsoleScreen::apply_csi(wchar_t final_char) {
    // Private and intermediate forms (ESC [ ? 25 l and the like) move nothing.
    if (!params_.empty() && (params_[0] < L'0' || params_[0] > L';')) return;
    if (params_.find_first_of(L" !\"#$%&'()*+,-./") != std::wstring::npos) return;
    const int column = std::min(column_, columns_ - 1);
    switch (final_char) {
    case L'K':
        switch (first_param(params_, 0)) {
        case 0: erase(column, columns_); break;
        case 1: erase(0, column + 1); break;
        case 2: erase(0, columns_); break;
        default: break;
        }
        break;
    case L'G':
        set_column(first_param(params_, 1) - 1);
        break;
    case L'D':
        set_column(column - std::max(first_param(params_, 1), 1));
        break;
    case L'C':
        set_column(column + std::max(first_param(params_, 1), 1));
        break;
    default:
        break;
    }
}

void ConsoleScreen::new_line() {
    column_ = 0;
    if (row_ + 1 < rows_) {
        ++row_;
        return;
    }
    history_.push_back(line(0));
    if (history_.size() > history_lines) history_.pop_front();
    cells_.erase(cells_.begin());
    cells_.emplace_back(static_cast<size_t>(columns_), L' ');
}

void ConsoleScreen::erase(int from, int to) {
    std::wstring& cells = cells_[static_cast<size_t>(row_)];
    for (int i = std::max(from, 0); i < std::min(to, columns_); ++i) cells[static_cast<size_t>(i)] = L' ';
}

void ConsoleScreen::set_column(int column) { column_ = std::clamp(column, 0, columns_ - 1); }

}  // namespace bk
