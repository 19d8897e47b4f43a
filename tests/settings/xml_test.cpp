#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/com_error.h"
#include "settings/xml.h"
#include "support/temp_dir.h"

using namespace bk;
namespace fs = std::filesystem;

namespace {

std::string saved_text(const XmlDocument& doc, const bktest::TempDir& dir) {
    fs::path path = dir / "doc.xml";
    save_document(doc, path.wstring());
    return bktest::read_file(path);
}

XmlNode parse(const std::string& text, const bktest::TempDir& dir) {
    fs::path path = dir / "in.xml";
    bktest::write_file(path, text);
    return document_element(load_document(path.wstring()));
}

int32_t com_error_code(const std::function<void()>& action) {
    try {
        action();
    } catch (const com_error& e) {
        return e.hresult();
    }
    return 0;
}

}  // namespace

TEST(XmlLayer, NewDocumentIsDeclarationAndUnindentedRoot) {
    bktest::TempDir dir;
    XmlDocument doc = create_document();
    XmlNode root = create_root(doc);
    XmlNode a = add_element(root, L"a");
    add_element(a, L"b");
    write_attr(a, L"text", L"Привет <&\"> ok");
    write_attr(a, L"n", -5);
    EXPECT_EQ(saved_text(doc, dir),
              "<?xml version=\"1.0\"?>\n"
              "<root><a text=\"Привет &lt;&amp;&quot;> ok\" n=\"-5\"><b/></a></root>\n");
}

TEST(XmlLayer, ListsAreItemElementsAndReadWhateverTheChildrenAreNamed) {
    bktest::TempDir dir;
    XmlDocument doc = create_document();
    XmlNode x = add_element(create_root(doc), L"x");
    write_list(x, std::vector<std::wstring>{L"a", L"b"});
    EXPECT_EQ(saved_text(doc, dir),
              "<?xml version=\"1.0\"?>\n<root><x><item0 node_value=\"a\"/><item1 node_value=\"b\"/></x></root>\n");
    std::vector<std::wstring> back{L"old"};
    read_list(x, back);
    EXPECT_EQ(back, (std::vector<std::wstring>{L"a", L"b"}));

    XmlNode root = parse("<root><x><entry node_value='7'/>text<skip other='1'/><e node_value='-2147483648'/></x>"
                         "<empty/></root>",
                         dir);
    std::vector<int32_t> numbers;
    read_list(child_element(root, L"x"), numbers);
    EXPECT_EQ(numbers, (std::vector<int32_t>{7, INT32_MIN}));
    numbers = {1, 2};
    read_list(child_element(root, L"empty"), numbers);
    EXPECT_TRUE(numbers.empty());
}

TEST(XmlLayer, ValueElementsAndAttributes) {
    XmlDocument doc = create_document();
    XmlNode root = create_root(doc);
    // A record spread over several attributes of one element.
    write_value(root, L"rec", L"one", L"first");
    write_value(root, L"rec", 2, L"second");
    write_value(root, L"rec", 3, L"second");
    ASSERT_EQ(child_elements(root).size(), 1u);
    std::wstring s;
    int32_t n = 0;
    EXPECT_TRUE(read_value(root, L"rec", s, L"first"));
    EXPECT_EQ(s, L"one");
    EXPECT_TRUE(read_value(root, L"rec", n, L"second"));
    EXPECT_EQ(n, 3);

    // Present element without node_value, and no element at all: target untouched.
    n = 42;
    EXPECT_FALSE(read_value(root, L"rec", n));
    EXPECT_FALSE(read_value(root, L"missing", n));
    EXPECT_EQ(n, 42);
    EXPECT_FALSE(read_attr(child_element(root, L"rec"), L"third", s));
    EXPECT_EQ(s, L"one");

    try {
        require_attr(child_element(root, L"rec"), L"rel_path", s);
        FAIL();
    } catch (const xml_error& e) {
        EXPECT_STREQ(e.what(), "XML: attribute not found: rel_path");
    }
    require_attr(child_element(root, L"rec"), L"second", n);
    EXPECT_EQ(n, 3);
}

TEST(XmlLayer, IntegerConversionFailuresAreComErrors) {
    bktest::TempDir dir;
    XmlNode root = parse("<root><v a='ten' b='2147483648' c='-2147483649' d='' e=' 12 ' f='2147483647' g='1.5'/></root>",
                         dir);
    XmlNode v = child_element(root, L"v");
    int32_t n = 5;
    const int32_t type_mismatch = static_cast<int32_t>(0x80020005u);
    const int32_t overflow = static_cast<int32_t>(0x8002000Au);
    EXPECT_EQ(com_error_code([&] { read_attr(v, L"a", n); }), type_mismatch);
    EXPECT_EQ(com_error_code([&] { read_attr(v, L"b", n); }), overflow);
    EXPECT_EQ(com_error_code([&] { read_attr(v, L"c", n); }), overflow);
    EXPECT_EQ(com_error_code([&] { read_attr(v, L"d", n); }), type_mismatch);
    EXPECT_EQ(com_error_code([&] { read_attr(v, L"g", n); }), type_mismatch);
    EXPECT_EQ(n, 5);
    EXPECT_TRUE(read_attr(v, L"e", n));
    EXPECT_EQ(n, 12);
    EXPECT_TRUE(read_attr(v, L"f", n));
    EXPECT_EQ(n, INT32_MAX);
}

TEST(XmlLayer, ChildElementSelectsByXPath) {
    bktest::TempDir dir;
    XmlNode root = parse("<root>x<a n='1'/><b><c n='2'/></b><a n='3'/></root>", dir);
    int32_t n = 0;
    EXPECT_TRUE(read_attr(child_element(root, L"a"), L"n", n));
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(read_attr(child_element(root, L"b/c"), L"n", n));
    EXPECT_EQ(n, 2);
    EXPECT_TRUE(read_attr(child_element(root, L"a[@n='3']"), L"n", n));
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(child_element(root, L"c").empty());  // not a grandchild
    EXPECT_NE(com_error_code([&] { child_element(root, L"a[["); }), 0);
}

TEST(XmlLayer, EmptyHandlesAndUnloadableFiles) {
    const int32_t e_pointer = static_cast<int32_t>(0x80004003u);
    EXPECT_EQ(com_error_code([] { child_element(XmlNode(), L"a"); }), e_pointer);
    EXPECT_EQ(com_error_code([] { add_element(XmlNode(), L"a"); }), e_pointer);
    EXPECT_EQ(com_error_code([] { write_attr(XmlNode(), L"a", 1); }), e_pointer);
    // A document without a document element.
    EXPECT_EQ(com_error_code([] { add_element(document_element(create_document()), L"a"); }), e_pointer);

    bktest::TempDir dir;
    for (const char* text : {"", "not xml at all", "<root><a></root>", "<root><a/>"}) {
        fs::path path = dir / "bad.xml";
        bktest::write_file(path, text);
        try {
            load_document(path.wstring());
            ADD_FAILURE() << "loaded: " << text;
        } catch (const xml_error& e) {
            EXPECT_EQ(std::string(e.what()), "error loading XML: " + path.string());
        }
    }
    try {
        load_document(dir.wpath() + L"/нет такого.xml");
        FAIL();
    } catch (const xml_error& e) {
        EXPECT_EQ(std::string(e.what()), "error loading XML: " + dir.path().string() + "/нет такого.xml");
    }
}

// Replacing a file: permissions, failures that leave the old file, no stray files.
class XmlSave : public ::testing::Test {
protected:
    bktest::TempDir dir;
    fs::path target = dir / "data.xml";
    XmlDocument doc = create_document();

    void SetUp() override {
        XmlNode root = create_root(doc);
        for (int i = 0; i < 2000; ++i) write_attr(add_element(root, L"item"), L"value", i);
        bktest::write_file(target, "old content");
    }
    void expect_only_old_file() {
        EXPECT_EQ(bktest::read_file(target), "old content");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
};

TEST_F(XmlSave, ReplacesAndKeepsPermissions) {
    fs::permissions(target, fs::perms(0640));
    save_document(doc, target.wstring());
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_EQ(bktest::read_file(target).substr(0, 28), "<?xml version=\"1.0\"?>\n<root>");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // A new file gets the usual mode of new files.
    mode_t mask = umask(022);
    save_document(doc, (dir / "new.xml").wstring());
    umask(mask);
    EXPECT_EQ(fs::status(dir / "new.xml").permissions(), fs::perms(0644));
}

TEST_F(XmlSave, ThroughSymlinkUpdatesTheLinkedFile) {
    fs::create_symlink(target, dir / "link.xml");
    save_document(doc, (dir / "link.xml").wstring());
    EXPECT_TRUE(fs::is_symlink(dir / "link.xml"));
    EXPECT_NE(bktest::read_file(target), "old content");
}

TEST_F(XmlSave, FailuresLeaveTheOldFile) {
    // The target is a folder.
    fs::create_directory(dir / "folder.xml");
    bktest::write_file(dir / "folder.xml" / "inside", "x");
    EXPECT_NE(com_error_code([&] { save_document(doc, (dir / "folder.xml").wstring()); }), 0);
    EXPECT_EQ(bktest::read_file(dir / "folder.xml" / "inside"), "x");
    fs::remove_all(dir / "folder.xml");
    // The parent is a regular file.
    EXPECT_NE(com_error_code([&] { save_document(doc, (target / "x.xml").wstring()); }), 0);
    expect_only_old_file();
}

TEST_F(XmlSave, FullDiskLeavesTheOldFile) {
    // A file-size limit makes writes fail as a full disk does.
    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_limit;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    int32_t code = com_error_code([&] { save_document(doc, target.wstring()); });
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(code, static_cast<int32_t>(0x80070000u | EFBIG));
    expect_only_old_file();
}

TEST_F(XmlSave, CrashWhileWritingLeavesTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto save_with_tiny_disk = [&] {
        rlimit small{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &small);
        save_document(doc, target.wstring());
        std::exit(0);
    };
    EXPECT_EXIT(save_with_tiny_disk(), ::testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(bktest::read_file(target), "old content");
}
