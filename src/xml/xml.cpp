#include "xml/xml.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/com_error.h"
#include "rkit/decimal.h"
#include "rkit/replace_file.h"
#include "rkit/text.h"

namespace bk {
namespace {

// Result codes of the failures the DOM and variant conversions report.
constexpr int32_t e_pointer = static_cast<int32_t>(0x80004003u);
constexpr int32_t disp_e_typemismatch = static_cast<int32_t>(0x80020005u);
constexpr int32_t disp_e_overflow = static_cast<int32_t>(0x8002000Au);

int32_t hresult_from_errno(int err) { return static_cast<int32_t>(0x80070000u | (static_cast<uint32_t>(err) & 0xFFFFu)); }

// A failed system call while writing the file at path.
[[noreturn]] void throw_write_error(int err, const std::string& path) {
    throw com_error(hresult_from_errno(err), rkit::char_to_wide("can't write " + path + ": " + std::strerror(err)));
}

[[noreturn]] void throw_null_pointer() { throw com_error(e_pointer, L"Invalid pointer."); }

pugi::xml_node checked(const XmlNode& node) {
    if (node.empty()) throw_null_pointer();
    return node.raw();
}

std::string utf8(std::wstring_view text) { return rkit::wide_to_char(text); }
std::wstring wide(const char* text) { return rkit::char_to_wide(text); }

// Decimal text to a 32-bit integer with the rules of the variant conversion:
// blanks around the number are allowed, anything else is a type mismatch,
// a number outside the 32-bit range an overflow. Gives 0 or the failure's code.
int32_t to_int32(std::wstring_view text, int32_t& target) {
    int64_t value = 0;
    switch (rkit::parse_decimal(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                                value, true)) {
        case rkit::decimal_result::ok:
            target = static_cast<int32_t>(value);
            return 0;
        case rkit::decimal_result::out_of_range:
            return disp_e_overflow;
        case rkit::decimal_result::not_a_number:
            break;
    }
    return disp_e_typemismatch;
}

// The element as a path from the document element; an element with
// siblings of its own name gets its place among them: /root/items/backup[3].
std::string element_path(pugi::xml_node node) {
    std::string path;
    for (; node.type() == pugi::node_element; node = node.parent()) {
        std::string step = std::string("/") + node.name();
        size_t count = 0, place = 0;
        for (pugi::xml_node same = node.parent().child(node.name()); same; same = same.next_sibling(node.name())) {
            ++count;
            if (same == node) place = count;
        }
        if (count > 1) step += "[" + std::to_string(place) + "]";
        path.insert(0, step);
    }
    return path;
}

// "element <path> in <file>", or without the file for a document made in memory.
std::string where(const XmlNode& element) {
    std::string text = "element " + element_path(element.raw());
    if (!element.file().empty()) text += " in " + element.file();
    return text;
}

// Where the parser stopped. Lines and columns are counted in the file's text
// when it is UTF-8, the usual case; other encodings are converted before
// parsing, and only the offset into the converted text is known.
std::string parse_position(const std::string& bytes, const pugi::xml_parse_result& result) {
    if (result.encoding != pugi::encoding_utf8 || result.offset < 0 ||
        static_cast<size_t>(result.offset) > bytes.size())
        return "at offset " + std::to_string(result.offset);
    size_t line = 1, column = 1;
    for (size_t i = 0; i < static_cast<size_t>(result.offset); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column;  // a character, not a continuation byte of one
        }
    }
    return "at line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The whole file, or the errno of the failure.
int read_whole_file(const std::string& path, std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return errno;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    const int err = std::ferror(file) ? (errno ? errno : EIO) : 0;
    std::fclose(file);
    return err;
}

struct string_writer : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

// Replaces the file at path with bytes so that a crash or a full disk at any
// moment leaves either the old file or the new one, never a mixture.
void replace_file(const std::string& path, const std::string& bytes) {
    if (!rkit::replace_file_content(path, bytes)) throw_write_error(errno, path);
}

}  // namespace

std::wstring XmlNode::name() const { return node_ ? wide(node_.name()) : std::wstring(); }

const std::string& XmlNode::file() const {
    static const std::string none;
    return doc_ ? doc_->path : none;
}

XmlDocument create_document() {
    XmlDocument doc;
    doc.doc_ = std::make_shared<detail::Document>();
    pugi::xml_node decl = doc.raw()->append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    return doc;
}

XmlDocument load_document(const std::wstring& path) {
    XmlDocument doc;
    doc.doc_ = std::make_shared<detail::Document>();
    doc.doc_->path = utf8(path);
    const std::string& narrow = doc.doc_->path;
    std::string bytes;
    if (const int err = read_whole_file(narrow, bytes))
        throw xml_error("error loading XML: " + narrow + ": " + std::strerror(err));
    pugi::xml_parse_result result =
        doc.raw()->load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result)
        throw xml_error("error loading XML: " + narrow + ": " + result.description() + " " +
                        parse_position(bytes, result));
    return doc;
}

void save_document(const XmlDocument& doc, const std::wstring& path) {
    if (doc.empty()) throw_null_pointer();
    // Every top-level node on a line of its own, the content unindented.
    string_writer out;
    for (pugi::xml_node node : doc.raw()->children()) {
        node.print(out, "", pugi::format_raw, pugi::encoding_utf8);
        out.text += '\n';
    }
    replace_file(utf8(path), out.text);
}

XmlNode create_root(const XmlDocument& doc) {
    if (doc.empty()) throw_null_pointer();
    if (pugi::xml_node old = doc.raw()->document_element()) doc.raw()->remove_child(old);
    pugi::xml_node root = doc.raw()->append_child("root");
    if (!root) throw xml_error("XML: can't create node: root");
    return XmlNode(doc.doc_, root);
}

XmlNode document_element(const XmlDocument& doc) {
    if (doc.empty()) throw_null_pointer();
    return XmlNode(doc.doc_, doc.raw()->document_element());
}

XmlNode child_element(const XmlNode& parent, std::wstring_view name) {
    pugi::xml_node node = checked(parent);
    const std::string narrow = utf8(name);
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && narrow == child.name()) return parent.wrap(child);
    }
    return XmlNode();
}

std::vector<XmlNode> child_elements(const XmlNode& parent) {
    pugi::xml_node node = checked(parent);
    std::vector<XmlNode> result;
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element) result.push_back(parent.wrap(child));
    }
    return result;
}

XmlNode add_element(const XmlNode& parent, std::wstring_view name) {
    pugi::xml_node node = checked(parent);
    std::string narrow = utf8(name);
    pugi::xml_node child = narrow.empty() ? pugi::xml_node() : node.append_child(narrow.c_str());
    if (!child) throw xml_error("XML: can't create node: " + narrow);
    return parent.wrap(child);
}

namespace {

void set_attr(const XmlNode& element, std::wstring_view name, const char* value) {
    pugi::xml_node node = checked(element);
    std::string narrow = utf8(name);
    pugi::xml_attribute attr = node.attribute(narrow.c_str());
    if (!attr && !narrow.empty()) attr = node.append_attribute(narrow.c_str());
    if (!attr) throw xml_error("XML: can't create attribute: " + narrow);
    attr.set_value(value);
}

pugi::xml_attribute find_attr(const XmlNode& element, std::wstring_view name) {
    return checked(element).attribute(utf8(name).c_str());
}

[[noreturn]] void throw_missing(const XmlNode& element, std::wstring_view name) {
    throw xml_error("XML: attribute not found: " + utf8(name) + ", " + where(element));
}

// A long value is cut: the message only has to let the user find it.
std::string quoted_value(const pugi::xml_attribute& attr) {
    std::wstring value = wide(attr.value());
    if (value.size() > 40) value = value.substr(0, 40) + L"...";
    return "\"" + utf8(value) + "\"";
}

}  // namespace

void write_attr(const XmlNode& element, std::wstring_view name, const std::wstring& value) {
    set_attr(element, name, utf8(value).c_str());
}

void write_attr(const XmlNode& element, std::wstring_view name, int32_t value) {
    set_attr(element, name, std::to_string(value).c_str());
}

bool read_attr(const XmlNode& element, std::wstring_view name, std::wstring& target) {
    pugi::xml_attribute attr = find_attr(element, name);
    if (!attr) return false;
    target = wide(attr.value());
    return true;
}

bool read_attr(const XmlNode& element, std::wstring_view name, int32_t& target) {
    pugi::xml_attribute attr = find_attr(element, name);
    if (!attr) return false;
    if (const int32_t code = to_int32(wide(attr.value()), target)) {
        const char* cause = code == disp_e_overflow ? "Out of present range." : "Type mismatch.";
        throw com_error(code, wide(("XML: attribute " + utf8(name) + "=" + quoted_value(attr) + " of " +
                                    where(element) + ": " + cause)
                                       .c_str()));
    }
    return true;
}

void require_attr(const XmlNode& element, std::wstring_view name, std::wstring& target) {
    if (!read_attr(element, name, target)) throw_missing(element, name);
}

void require_attr(const XmlNode& element, std::wstring_view name, int32_t& target) {
    if (!read_attr(element, name, target)) throw_missing(element, name);
}

bool read_value(const XmlNode& parent, std::wstring_view name, std::wstring& target, std::wstring_view attr) {
    XmlNode element = child_element(parent, name);
    return !element.empty() && read_attr(element, attr, target);
}

bool read_value(const XmlNode& parent, std::wstring_view name, int32_t& target, std::wstring_view attr) {
    XmlNode element = child_element(parent, name);
    return !element.empty() && read_attr(element, attr, target);
}

namespace {

XmlNode value_element(const XmlNode& parent, std::wstring_view name) {
    XmlNode element = child_element(parent, name);
    return element.empty() ? add_element(parent, name) : element;
}

template <class T>
void write_list_of(const XmlNode& list, const std::vector<T>& values) {
    checked(list);
    for (size_t i = 0; i < values.size(); ++i) {
        XmlNode item = add_element(list, L"item" + std::to_wstring(i));
        write_attr(item, value_attr, values[i]);
    }
}

template <class T>
void read_list_of(const XmlNode& list, std::vector<T>& values) {
    pugi::xml_node node = checked(list);
    values.clear();
    values.reserve(static_cast<size_t>(std::distance(node.begin(), node.end())));
    for (const XmlNode& child : child_elements(list)) {
        T value{};
        if (read_attr(child, value_attr, value)) values.push_back(std::move(value));
    }
}

}  // namespace

void write_value(const XmlNode& parent, std::wstring_view name, const std::wstring& value, std::wstring_view attr) {
    write_attr(value_element(parent, name), attr, value);
}

void write_value(const XmlNode& parent, std::wstring_view name, int32_t value, std::wstring_view attr) {
    write_attr(value_element(parent, name), attr, value);
}

void write_list(const XmlNode& list, const std::vector<std::wstring>& values) { write_list_of(list, values); }
void write_list(const XmlNode& list, const std::vector<int32_t>& values) { write_list_of(list, values); }
void read_list(const XmlNode& list, std::vector<std::wstring>& values) { read_list_of(list, values); }
void read_list(const XmlNode& list, std::vector<int32_t>& values) { read_list_of(list, values); }

}  // namespace bk
