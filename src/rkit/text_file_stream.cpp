#include "rkit/text_file_stream.h"

#include "rkit/path.h"

namespace rkit {

namespace {
constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";
}

bool text_file_stream::open(const std::wstring& path, open_mode mode, const text_encoding& enc) {
    close();
    enc_ = enc;
    const auto flags = mode == read ? std::ios::in | std::ios::binary
                                    : std::ios::out | std::ios::trunc | std::ios::binary;
    stream_.open(native_path(path), flags);
    ok_ = stream_.is_open();
    at_start_ = true;
    return ok_;
}

void text_file_stream::close() {
    if (stream_.is_open()) stream_.close();
    stream_.clear();
    ok_ = false;
}

bool text_file_stream::read_line(std::wstring& line) {
    if (!ok_) return false;
    std::string bytes;
    if (!std::getline(stream_, bytes)) {
        if (stream_.bad()) ok_ = false;
        return false;
    }
    // Files written by Windows programs may open with a byte-order mark and
    // end their lines with "\r\n".
    if (at_start_ && bytes.starts_with(utf8_bom)) bytes.erase(0, utf8_bom.size());
    at_start_ = false;
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    line = char_to_wide(bytes, enc_);
    return true;
}

bool text_file_stream::write_line(const std::wstring& line) {
    if (!ok_) return false;
    const std::string bytes = wide_to_char(line, enc_) + "\n";
    stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    stream_.flush();
    if (!stream_) ok_ = false;
    return ok_;
}

bool text_file_stream::eof() const {
    if (!ok_) return true;
    return stream_.peek() == std::char_traits<char>::eof();
}

bool text_file_stream::ok() const { return ok_; }

}  // namespace rkit
