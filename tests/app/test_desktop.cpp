// A backup made for the user: the choices of the backup dialog, the archive
// shown in the file manager (over D-Bus, else the folder opened) and the
// follow-up command. The desktop's programs are stand-ins in PATH that write
// down how they were called.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <tuple>

#include "app/test_host.h"

namespace cmdtest {
namespace {

// The module does not wait for xdg-open and the follow-up command.
std::string wait_for(const fs::path& path) {
    for (int i = 0; i < 200 && !(fs::exists(path) && fs::file_size(path) > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return bktest::read_file(path);
}

TEST(UsersBackup, ChosenInTheDialogShownInTheFileManagerFollowedByTheCommand) {
    bktest::TempDir scratch;
    const fs::path bin = scratch / "bin", calls = scratch / "calls";
    for (const char* program : {"gdbus", "dbus-send", "xdg-open"}) {
        const std::string log = (calls / program).string();
        bktest::write_file(bin / program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + log + ".tmp'\nmv '" + log +
                                              ".tmp' '" + log + "'\nexit $(cat '" + log + ".exit' 2>/dev/null || echo 0)\n");
        fs::permissions(bin / program, fs::perms::owner_all);
    }
    fs::create_directories(calls);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);

    TestHost host;
    auto settings = host.standard_settings();
    host.backup_folder_name = "архив копий";  // percent-encoded in a URI
    settings.backup_folder = L"архив копий";
    settings.options |= bk::OPT_SHOW_IN_EXPLORER | bk::OPT_ON_ENTER;
    settings.backup_cmdline = L"printf '%s|%s' \"$PWD\" \"%PATH%\" > followup.txt";
    settings.default_keeptime = 30;
    host.save(settings);
    host.ui.backup_dialog_ok([](bk::AutoParams& p) {
        p.comment = L"ручная копия", p.keeptime = 90, p.excl_comp = {kDocs};
    });
    ASSERT_DONE(host, BK_CMD_BACKUP);  // the dialog even without the interactive flag
    ASSERT_EQ(host.ui.backup_dialogs.size(), 1u);
    const auto& shown = host.ui.backup_dialogs[0];  // only components some files belong to are offered
    EXPECT_EQ(shown.components, (std::vector<bk::Component>{{kDocs, L"Документы"}}));
    EXPECT_EQ(std::tie(shown.params.keeptime, shown.params.comment, shown.params.excl_comp),
              std::make_tuple(30, L"", std::vector<std::wstring>{}));
    EXPECT_EQ(std::tie(host.catalogue().at(0).comment, host.catalogue().at(0).keeptime),
              std::make_tuple(L"ручная копия", 90));
    const std::string archive = utf8(host.last_archive());
    const std::string uri = "file://" + host.root().string() +
                            "/%D0%B0%D1%80%D1%85%D0%B8%D0%B2%20%D0%BA%D0%BE%D0%BF%D0%B8%D0%B9/" +
                            archive.substr(archive.rfind('/') + 1);
    const std::string gdbus = bktest::read_file(calls / "gdbus");
    EXPECT_EQ(gdbus.substr(0, gdbus.find("--timeout") + 10), "call\n--session\n--timeout\n");
    EXPECT_EQ(gdbus.substr(gdbus.find("--dest")),
              "--dest\norg.freedesktop.FileManager1\n--object-path\n/org/freedesktop/FileManager1\n--method\n"
              "org.freedesktop.FileManager1.ShowItems\n['" + uri + "']\n\n");
    EXPECT_FALSE(fs::exists(calls / "dbus-send"));
    // The follow-up command runs in the host's folder with the archive's path.
    EXPECT_EQ(wait_for(host.root() / "followup.txt"), host.root().string() + "|" + archive);

    // An automatic backup is not shown, but runs the follow-up command too.
    fs::remove(calls / "gdbus");
    fs::remove(host.root() / "followup.txt");
    ASSERT_DONE(host, BK_CMD_BACKUP, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING));
    EXPECT_EQ(wait_for(host.root() / "followup.txt"), host.root().string() + "|" + utf8(host.last_archive()));
    EXPECT_FALSE(fs::exists(calls / "gdbus") || fs::exists(calls / "dbus-send"));

    // Without a file manager service the folder is opened.
    settings.backup_cmdline.clear();
    host.save(settings);
    for (const char* program : {"gdbus.exit", "dbus-send.exit"}) bktest::write_file(calls / program, "1");
    host.ui.backup_dialog_ok();
    ASSERT_DONE(host, BK_CMD_BACKUP);
    EXPECT_TRUE(fs::exists(calls / "dbus-send"));
    EXPECT_EQ(wait_for(calls / "xdg-open"), (host.root() / "архив копий").string() + "\n");
    setenv("PATH", path.c_str(), 1);
}

}  // namespace
}  // namespace cmdtest
