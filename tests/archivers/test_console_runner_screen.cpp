#include <gtest/gtest.h>

#include "archivers/console_runner.h"
#include "archivers/console_screen.h"

using bk::ConsoleScreen;

TEST(ConsoleScreen, CursorRowAfterCarriageReturnsAndBackspaces) {
    ConsoleScreen screen;
    screen.write("Adding  a.txt   10%");
    screen.write("\b\b\b\b 20%");
    EXPECT_EQ(screen.cursor_line(), L"Adding  a.txt   20%");
    // A carriage return moves the cursor without erasing, as on a terminal.
    screen.write("\rExtracting");
    EXPECT_EQ(screen.cursor_line(), L"Extractingtxt   20%");
    // Backspaces stop at the left edge.
    screen.write("\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b*");
    EXPECT_EQ(screen.cursor_line(), L"*xtractingtxt   20%");
    EXPECT_EQ(screen.cursor_column(), 1);

    screen.write("\nnext\tcol\n");
    EXPECT_EQ(screen.line(0), L"*xtractingtxt   20%");
    EXPECT_EQ(screen.line(1), L"next    col");
    EXPECT_EQ(screen.cursor_row(), 2);
    EXPECT_EQ(screen.cursor_line(), L"");
}

TEST(ConsoleScreen, EscapeSequencesShowNothing) {
    ConsoleScreen screen;
    screen.write("\x1b[1;32mgreen\x1b[0m \x1b]0;window title\x07\x1b(Bplain\x1b[?25l \x1b]2;t\x1b\\end");
    EXPECT_EQ(screen.cursor_line(), L"green plain end");
    // Split between writes, a sequence is still recognised.
    screen.write("\r\x1b[");
    screen.write("31mred");
    EXPECT_EQ(screen.cursor_line(), L"reden plain end");
}

TEST(ConsoleScreen, LineErasingAndCursorMoves) {
    ConsoleScreen screen;
    screen.write("abcdef\r\x1b[Kxy");
    EXPECT_EQ(screen.cursor_line(), L"xy");
    screen.write("\x1b[10Gz\x1b[3D-\x1b[C+");
    EXPECT_EQ(screen.cursor_line(), L"xy     - +");
    screen.write("\x1b[1K!");
    EXPECT_EQ(screen.cursor_line(), L"          !");
    screen.write("\x1b[2K");
    EXPECT_EQ(screen.cursor_line(), L"");
}

TEST(ConsoleScreen, Utf8CharactersCutBetweenWrites) {
    ConsoleScreen screen;
    const std::string text = "Сжатие файла: \xF0\x9F\x98\x80 ok";
    for (char c : text) screen.write(std::string(1, c));
    EXPECT_EQ(screen.cursor_line(), L"Сжатие файла: \U0001F600 ok");
    // One character takes one cell, so backspaces step over whole characters.
    screen.write("\b\b\b\b\bЁ");
    EXPECT_EQ(screen.cursor_line(), L"Сжатие файла:Ё\U0001F600 ok");
    screen.write("\n\xFF\x80x");
    EXPECT_EQ(screen.cursor_line(), L"\uFFFD\uFFFDx");
}

TEST(ConsoleScreen, LongLinesWrapAndTheScreenScrolls) {
    ConsoleScreen screen(10, 3);
    screen.write("0123456789");
    EXPECT_EQ(screen.cursor_row(), 0);  // the wrap waits for the next character
    screen.write("AB");
    EXPECT_EQ(screen.line(0), L"0123456789");
    EXPECT_EQ(screen.cursor_line(), L"AB");
    screen.write("\n\nX");
    EXPECT_EQ(screen.cursor_row(), 2);
    EXPECT_EQ(screen.line(0), L"AB");
    EXPECT_EQ(screen.line(1), L"");
    EXPECT_EQ(screen.cursor_line(), L"X");
    EXPECT_EQ(screen.line(3), L"");
}

TEST(ConsoleScreen, ReadConsoleLineReadsTheNewestLiveConsoleOfTheThread) {
    std::wstring line = L"untouched";
    EXPECT_FALSE(bk::read_console_line(line));
    EXPECT_EQ(line, L"untouched");
    {
        bk::HiddenConsole outer;
        outer.screen().write("outer line");
        {
            bk::HiddenConsole inner;
            inner.screen().write("first\n  5% 3 + file.txt");
            ASSERT_TRUE(bk::read_console_line(line));
            EXPECT_EQ(line, L"  5% 3 + file.txt");
        }
        ASSERT_TRUE(bk::read_console_line(line));
        EXPECT_EQ(line, L"outer line");
    }
    EXPECT_FALSE(bk::read_console_line(line));
}
