// Saving an XML file, below every file the module keeps. The text it writes,
// its parse messages, element paths and number conversions are shown by the
// settings-file and manifest tests.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "core/com_error.h"
#include "xml/xml.h"
#include "support/temp_dir.h"

using namespace bk;
namespace fs = std::filesystem;

namespace {

int32_t com_error_code(const std::function<void()>& action) {
    try {
        action();
    } catch (const com_error& e) {
        return e.hresult();
    }
    return 0;
}

// Replacing a file keeps its permissions and links. A file-size limit makes
// writes fail as a full disk does, and then kills a writer as a crash would:
// either leaves the old file, the first no stray files either.
TEST(XmlSave, KeepsPermissionsAndLinksAndAFullDiskOrCrashLeavesTheOldFile) {
    bktest::TempDir dir;
    const fs::path target = dir / "data.xml";
    XmlDocument doc = create_document();
    XmlNode root = create_root(doc);
    for (int i = 0; i < 2000; ++i) write_attr(add_element(root, L"item"), L"value", i);
    bktest::write_file(target, "old content");
    fs::permissions(target, fs::perms(0640));
    fs::create_symlink(target, dir / "link.xml");

    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old_limit;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    const int32_t code = com_error_code([&] { save_document(doc, target.wstring()); });
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(code, static_cast<int32_t>(0x80070000u | EFBIG));
    EXPECT_EQ(bktest::read_file(target), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    const pid_t child = fork();
    if (child == 0) {
        rlimit tiny{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &tiny);
        save_document(doc, target.wstring());
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_EQ(bktest::read_file(target), "old content");

    write_attr(child_element(document_element(doc), L"item"), L"value", L"первый");  // replaces, adds nothing
    save_document(doc, (dir / "link.xml").wstring());
    EXPECT_TRUE(fs::is_symlink(dir / "link.xml"));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_EQ(bktest::read_file(target).rfind("<?xml version=\"1.0\"?>\n<root><item value=\"первый\"/><item", 0), 0u);
    // A new file gets the usual mode of new files.
    mode_t mask = umask(022);
    save_document(doc, (dir / "new.xml").wstring());
    umask(mask);
    EXPECT_EQ(fs::status(dir / "new.xml").permissions(), fs::perms(0644));
}

}  // namespace
