// The module-wide list of messages of the last command, handed to the host by
// bkLastError. Every operation locks it: worker threads add to it while the
// calling thread waits.
#pragma once
#include <cstdint>
#include <exception>
#include <string>

namespace bk {

void add_error(const std::string& text);
void add_error_wide(const std::wstring& text);
// Appends the message of a caught exception (see exception_message).
void add_exception_message(std::exception_ptr e = std::current_exception());
void clear_errors();
int32_t error_count();
// Copies message index as strncpy would; returns its length, or -1 past the end.
int32_t copy_error(int32_t index, char* buffer, int32_t size);

// The message of an exception: what() of a standard exception, the text of a
// com_error ("unknown COM error" when it has none), otherwise "unknown error".
std::string exception_message(std::exception_ptr e);

}  // namespace bk
