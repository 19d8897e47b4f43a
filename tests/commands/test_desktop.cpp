// After a backup made for the user: the archive shown in the file manager
// and the user's follow-up command. The desktop's programs are stand-ins in
// PATH that write down how they were called.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "commands/test_host.h"

namespace cmdtest {
namespace {

// The follow-up command and xdg-open are not waited for by the module.
bool wait_for_file(const fs::path& path) {
    for (int i = 0; i < 200; ++i) {
        if (fs::exists(path) && fs::file_size(path) > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::vector<std::string> lines(const fs::path& path) {
    std::vector<std::string> out;
    std::string text = bktest::read_file(path);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(bin());
        for (const char* program : {"gdbus", "dbus-send", "xdg-open"}) {
            const fs::path log = calls() / program;
            bktest::write_file(bin() / program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + log.string() +
                                                    ".tmp'\nmv '" + log.string() + ".tmp' '" + log.string() +
                                                    "'\nexit $(cat '" + log.string() + ".exit' 2>/dev/null || echo 0)\n");
            fs::permissions(bin() / program, fs::perms::owner_all);
        }
        fs::create_directories(calls());
        saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (bin().string() + ":" + saved_path_).c_str(), 1);

        settings = host.standard_settings();
        // A URI must carry the folder's name percent-encoded.
        host.backup_folder_name = "архив копий";
        settings.backup_folder = L"архив копий";
        settings.options |= bk::OPT_SHOW_IN_EXPLORER | bk::OPT_ON_ENTER;
    }
    void TearDown() override { setenv("PATH", saved_path_.c_str(), 1); }

    fs::path bin() const { return scratch_.path() / "bin"; }
    fs::path calls() const { return scratch_.path() / "calls"; }
    void fail(const char* program) const { bktest::write_file(calls() / (std::string(program) + ".exit"), "1"); }

    TestHost host;
    bk::BackupSettings settings;

private:
    bktest::TempDir scratch_;
    std::string saved_path_;
};

TEST_F(Desktop, TheUsersBackupIsShownInTheFileManager) {
    host.save(settings);
    host.ui.backup_dialog_ok();
    ASSERT_EQ(host.run(BK_CMD_BACKUP, BKF_INTERACTIVE), BK_DONE) << ::testing::PrintToString(host.messages());
    const std::string archive = utf8(host.last_archive());
    const std::string folder = host.root().string() + "/%D0%B0%D1%80%D1%85%D0%B8%D0%B2%20%D0%BA%D0%BE%D0%BF%D0%B8%D0%B9";
    ASSERT_TRUE(fs::exists(calls() / "gdbus"));
    const auto args = lines(calls() / "gdbus");
    ASSERT_EQ(args.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(args.begin(), args.begin() + 3),
              (std::vector<std::string>{"call", "--session", "--timeout"}));
    EXPECT_EQ(std::vector<std::string>(args.begin() + 4, args.end()),
              (std::vector<std::string>{"--dest", "org.freedesktop.FileManager1", "--object-path",
                                        "/org/freedesktop/FileManager1", "--method",
                                        "org.freedesktop.FileManager1.ShowItems",
                                        "['file://" + folder + "/" + archive.substr(archive.rfind('/') + 1) + "']",
                                        ""}));
    EXPECT_FALSE(fs::exists(calls() / "dbus-send"));
}

TEST_F(Desktop, AutomaticBackupsAreNotShown) {
    host.save(settings);
    ASSERT_EQ(host.run(BK_CMD_BACKUP, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING)), BK_DONE);
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_FALSE(fs::exists(calls() / "gdbus"));
    EXPECT_FALSE(fs::exists(calls() / "dbus-send"));
}

TEST_F(Desktop, WithoutAFileManagerServiceTheFolderIsOpened) {
    fail("gdbus");
    fail("dbus-send");
    host.save(settings);
    host.ui.backup_dialog_ok();
    ASSERT_EQ(host.run(BK_CMD_BACKUP), BK_DONE);
    EXPECT_TRUE(fs::exists(calls() / "dbus-send"));
    ASSERT_TRUE(wait_for_file(calls() / "xdg-open"));
    EXPECT_EQ(lines(calls() / "xdg-open"), std::vector<std::string>{(host.root() / "архив копий").string()});
}

TEST_F(Desktop, TheFollowUpCommandRunsInTheHostsFolderWithTheArchivesPath) {
    settings.options &= ~bk::OPT_SHOW_IN_EXPLORER;
    settings.backup_cmdline = L"printf '%s|%s' \"$PWD\" \"%PATH%\" > followup.txt";
    host.save(settings);
    // Automatic backups run it as well.
    ASSERT_EQ(host.run(BK_CMD_BACKUP, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING)), BK_DONE);
    ASSERT_TRUE(wait_for_file(host.root() / "followup.txt"));
    EXPECT_EQ(host.content("followup.txt"), host.root().string() + "|" + utf8(host.last_archive()));
}

}  // namespace
}  // namespace cmdtest
