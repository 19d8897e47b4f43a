// A text file read or written one line at a time, without the line ends.
#pragma once
#include <fstream>
#include <string>
#include "rkit/text.h"

namespace rkit {

class text_file_stream {
public:
    enum open_mode { read, create };

    text_file_stream() = default;
    bool open(const std::wstring& path, open_mode mode, const text_encoding& enc = text_encoding());
    void close();
    bool read_line(std::wstring& line);
    bool write_line(const std::wstring& line);
    // True when no further line can be read.
    bool eof() const;
    // Open, and no read or write has failed.
    bool ok() const;

private:
    mutable std::fstream stream_;  // eof() peeks
    text_encoding enc_;
    bool ok_ = false;
    bool at_start_ = true;
};

}  // namespace rkit
