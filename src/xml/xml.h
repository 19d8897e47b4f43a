// The XML layer every file of the module is written and read through: a
// document, node handles, attributes, value elements and lists.
//
// A value element is a child element holding one value in its attribute
// "node_value"; a list element holds one value element per vector entry,
// named item0, item1, ... in vector order.
//
// Two kinds of error leave this layer: xml_error, with one of four texts,
// and com_error, for a failed platform call, a failed conversion of an
// attribute's text (an integer that is not a number or does not fit in 32
// bits) and an empty handle used where a node is needed. Whatever the kind,
// the text names the file it is about and, where there is one, the element
// (as a path from the document element, "/root/items/backup[3]") and the
// attribute, so that a message alone tells the user what to look at.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace bk {

class xml_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class XmlNode;

namespace detail {
struct Document {
    pugi::xml_document dom;
    std::string path;  // the file it was loaded from (UTF-8); empty for a new document
};
}  // namespace detail

// An owning, shared handle of one document; copies refer to the same document.
class XmlDocument {
public:
    XmlDocument() = default;  // no document
    bool empty() const { return !doc_; }
    explicit operator bool() const { return !empty(); }
    pugi::xml_document* raw() const { return doc_ ? &doc_->dom : nullptr; }

private:
    friend XmlDocument create_document();
    friend XmlDocument load_document(const std::wstring& path);
    friend XmlNode document_element(const XmlDocument& doc);
    friend XmlNode create_root(const XmlDocument& doc);
    std::shared_ptr<detail::Document> doc_;
};

// A handle of one node. It keeps its document alive; an empty handle stands
// for a node that does not exist.
class XmlNode {
public:
    XmlNode() = default;
    XmlNode(std::shared_ptr<detail::Document> doc, pugi::xml_node node)
        : doc_(node ? std::move(doc) : nullptr), node_(node) {}
    bool empty() const { return !node_; }
    explicit operator bool() const { return !empty(); }
    std::wstring name() const;
    pugi::xml_node raw() const { return node_; }
    // A handle of another node of the same document.
    XmlNode wrap(pugi::xml_node node) const { return XmlNode(doc_, node); }
    // The file the node's document was loaded from; empty when none.
    const std::string& file() const;

private:
    std::shared_ptr<detail::Document> doc_;
    pugi::xml_node node_;
};

// A new document holding only the declaration <?xml version="1.0"?>.
XmlDocument create_document();
// Throws xml_error "error loading XML: <path>: <cause>" when the file cannot
// be read (the cause is the system's text) or is not well-formed XML (the
// parser's description and where it stopped: "at line L, column C" for UTF-8
// text, "at offset N" for other encodings).
XmlDocument load_document(const std::wstring& path);
// Replaces the file at path atomically: the text goes to a temporary file in
// the same folder, is flushed to disk and renamed over the old file, which
// keeps its permissions. On failure the old file is left as it was, and the
// com_error says "can't write <path>: <system text>".
// UTF-8 without a byte-order mark, no indentation.
void save_document(const XmlDocument& doc, const std::wstring& path);
// The element "root", made the document element.
XmlNode create_root(const XmlDocument& doc);
// The document element; empty when the document has none.
XmlNode document_element(const XmlDocument& doc);

// The first child element of that name; empty when there is none.
XmlNode child_element(const XmlNode& parent, std::wstring_view name);
// Every child element of parent in document order, whatever its name.
std::vector<XmlNode> child_elements(const XmlNode& parent);
// A new element appended as the parent's last child.
XmlNode add_element(const XmlNode& parent, std::wstring_view name);

// Sets the attribute, replacing one of that name.
void write_attr(const XmlNode& element, std::wstring_view name, const std::wstring& value);
void write_attr(const XmlNode& element, std::wstring_view name, int32_t value);
// False (target untouched) when the attribute is missing. Text that is no
// 32-bit integer throws com_error "XML: attribute <name>="<text>" of element
// <path> in <file>: <conversion error>".
bool read_attr(const XmlNode& element, std::wstring_view name, std::wstring& target);
bool read_attr(const XmlNode& element, std::wstring_view name, int32_t& target);
// As read_attr; a missing attribute throws xml_error
// "XML: attribute not found: <name>, element <path> in <file>".
void require_attr(const XmlNode& element, std::wstring_view name, std::wstring& target);
void require_attr(const XmlNode& element, std::wstring_view name, int32_t& target);

inline constexpr std::wstring_view value_attr = L"node_value";

// read_attr on child_element(parent, name); false when there is no such element.
bool read_value(const XmlNode& parent, std::wstring_view name, std::wstring& target,
                std::wstring_view attr = value_attr);
bool read_value(const XmlNode& parent, std::wstring_view name, int32_t& target,
                std::wstring_view attr = value_attr);
// write_attr on child_element(parent, name), added when missing; so several
// calls with one element name and different attributes fill one element.
void write_value(const XmlNode& parent, std::wstring_view name, const std::wstring& value,
                 std::wstring_view attr = value_attr);
void write_value(const XmlNode& parent, std::wstring_view name, int32_t value,
                 std::wstring_view attr = value_attr);

// Appends item0, item1, ... each with its node_value.
void write_list(const XmlNode& list, const std::vector<std::wstring>& values);
void write_list(const XmlNode& list, const std::vector<int32_t>& values);
// Replaces values with the node_value of every child element, whatever the
// children are named; children without node_value are skipped.
void read_list(const XmlNode& list, std::vector<std::wstring>& values);
void read_list(const XmlNode& list, std::vector<int32_t>& values);

}  // namespace bk
