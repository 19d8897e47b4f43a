// vdbackup as scheduled tasks and the module start it: a real process, the
// real module, real archives.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "commands/test_host.h"
#include "rkit/text.h"
#include "settings/host_profile.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct VdbackupRun {
    int exit_code = -1;
    std::string errors;
};

// vdbackup with args in the host's current folder, as a task starts it.
VdbackupRun run_vdbackup(const fs::path& folder, const std::vector<std::string>& args) {
    const fs::path errors = folder / "vdbackup.stderr";
    std::string command = "cd '" + folder.string() + "' && '" VDBACKUP_PATH "'";
    for (const auto& arg : args) command += " '" + arg + "'";
    command += " 2>'" + errors.string() + "' </dev/null";
    const int status = std::system(command.c_str());
    VdbackupRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, bktest::read_file(errors)};
    fs::remove(errors);
    return run;
}

class Vdbackup : public testing::Test {
protected:
    void SetUp() override {
        host.save(host.standard_settings());
        write_profile();
    }
    void write_profile() {
        bk::HostProfile profile;
        for (const auto& [key, value] : host.params) profile[key] = rkit::char_to_wide(value);
        bk::write_host_profile((host.root() / "vdbackup_host.xml").wstring(), profile);
    }
    cmdtest::TestHost host;
};

TEST_F(Vdbackup, ScheduledBackupMakesTheArchiveAndRecordTheCommandLineAsksFor) {
    const VdbackupRun run = run_vdbackup(host.root(), {"/opt/vd/host", "/Q", "/B", "/T=-1", "/C=Ночная копия, склад №2",
                                               "/E=docs", "/U=Петров", "/W=7"});
    ASSERT_EQ(run.exit_code, 0) << run.errors;

    const bk::Catalogue catalogue = host.catalogue();
    ASSERT_EQ(catalogue.size(), 1u);
    EXPECT_EQ(catalogue[0].keeptime, bk::KEEP_FOREVER);
    EXPECT_EQ(catalogue[0].comment, L"Ночная копия, склад №2");
    EXPECT_EQ(catalogue[0].username, L"Петров");
    EXPECT_EQ(catalogue[0].workplace, 7);
    ASSERT_EQ(host.archives().size(), 1u);

    // The excluded component's files stay out of the archive.
    host.damage_data();
    host.write("docs/readme.txt", "changed after the backup");
    ASSERT_EQ(run_vdbackup(host.root(), {"/opt/vd/host", "/Q", "/R", "/A=" + host.archives()[0].string()}).exit_code, 0);
    EXPECT_EQ(host.content("docs/readme.txt"), "changed after the backup");
    for (const auto& rel : cmdtest::TestHost::data_files())
        if (rel.rfind("docs/", 0) != 0) {
            EXPECT_EQ(host.content(rel), "content of " + rel) << rel;
        }
}

TEST_F(Vdbackup, RestoreWaitsForTheHostProcessToEnd) {
    ASSERT_EQ(run_vdbackup(host.root(), {"/opt/vd/host", "/B"}).exit_code, 0);
    host.damage_data();

    // The host still has its files open for a moment after it handed over.
    pid_t host_process = 0;
    char sleep_arg[] = "sleep", second[] = "1";
    char* argv[] = {sleep_arg, second, nullptr};
    ASSERT_EQ(posix_spawnp(&host_process, "sleep", nullptr, nullptr, argv, environ), 0);
    const VdbackupRun run = run_vdbackup(host.root(), {"/opt/vd/host", "/Q", "/P=" + std::to_string(host_process), "/R",
                                               "/A=" + host.archives()[0].string()});
    // Had vdbackup not waited, the host would still be running now.
    int status = 0;
    EXPECT_EQ(waitpid(host_process, &status, WNOHANG), host_process);
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_TRUE(host.data_intact());
}

TEST_F(Vdbackup, ABrokenOrMissingProfileIsAClearFailure) {
    bktest::write_file(host.root() / "vdbackup_host.xml", "<root><param name=\"root_path\"");
    VdbackupRun run = run_vdbackup(host.root(), {"/opt/vd/host", "/B"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.errors.find("vdbackup_host.xml"), std::string::npos) << run.errors;
    EXPECT_TRUE(host.archives().empty());

    fs::remove(host.root() / "vdbackup_host.xml");
    run = run_vdbackup(host.root(), {"/opt/vd/host", "/B"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.errors.find("vdbackup_host.xml"), std::string::npos) << run.errors;

    run = run_vdbackup(host.root(), {"/?"});
    EXPECT_EQ(run.exit_code, 0);
}

TEST_F(Vdbackup, ModuleMessagesGoToStandardErrorWithTheResultAsExitCode) {
    host.break_settings_file();
    const VdbackupRun run = run_vdbackup(host.root(), {"/opt/vd/host", "/B"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.errors.find("backup_config.xml"), std::string::npos) << run.errors;
}

// BKF_EXTERNAL: the module refreshes the profile, starts vdbackup beside the
// running program and returns at once; vdbackup then makes the backup.
TEST_F(Vdbackup, ExternalBackupIsHandedToVdbackup) {
    fs::remove(host.root() / "vdbackup_host.xml");
    fs::create_directory(host.root() / "vdbackup_host.xml");  // a profile that cannot be written: nothing starts
    host.ui.backup_dialog_ok();
    EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_EXTERNAL | BKF_INTERACTIVE), BK_FAILED);
    EXPECT_EQ(host.messages(),
              std::vector<std::string>{"can't write " + host.root().string() + "/vdbackup_host.xml: Is a directory"});
    fs::remove(host.root() / "vdbackup_host.xml");
    host.params["batch_keeptime"] = "30";
    host.ui.backup_dialog_ok([](bk::AutoParams& run) {
        run.keeptime = 90;
        run.comment = L"перед закрытием месяца";
    });
    ASSERT_EQ(host.run(BK_CMD_BACKUP, BKF_EXTERNAL | BKF_INTERACTIVE), BK_DONE)
        << testing::PrintToString(host.messages());
    const bk::HostProfile profile = bk::read_host_profile((host.root() / "vdbackup_host.xml").wstring());
    EXPECT_EQ(profile.at("root_path"), rkit::char_to_wide(host.params.at("root_path")));
    EXPECT_EQ(profile.count("batch_keeptime"), 0u);

    for (int i = 0; i < 300 && host.catalogue().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(host.catalogue()[0].username, L"Иванов");
    EXPECT_EQ(host.catalogue()[0].keeptime, 90);
    EXPECT_EQ(host.catalogue()[0].comment, L"перед закрытием месяца");
}

}  // namespace

std::string run_shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[512];
        while (fgets(chunk, sizeof chunk, pipe)) out += chunk;
        pclose(pipe);
    }
    return out;
}

// The end of the host's work: the C host asks for command 4 and exits;
// vdbackup waits for it to be gone, then makes the backup on leaving that the
// settings ask for.
TEST_F(Vdbackup, EndOfWorkHandsTheBackupOnLeavingToVdbackup) {
    bk::BackupSettings settings = host.standard_settings();
    settings.options |= bk::OPT_ON_EXIT;
    host.save(settings);
    fs::remove(host.root() / "vdbackup_host.xml");

    std::string command = "'" + (fs::path(VDBACKUP_PATH).parent_path() / "vardobk_host_smoke").string() + "' 4";
    for (const auto& [key, value] : host.params) command += " '" + key + "=" + value + "'";
    const std::string out = run_shell(command + " 2>&1");
    ASSERT_NE(out.find("result: 0\nmessages: 0\n"), std::string::npos) << out;

    for (int i = 0; i < 300 && host.catalogue().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(host.catalogue()[0].comment, bk::load_string(20071));
}

// A module installed without vdbackup beside it or on PATH: the hand-over
// fails quietly, as a host expects of a program it could not start.
TEST(VdbackupMissing, EndOfWorkReturnsFailedWithoutAMessage) {
    bktest::TempDir install;
    const fs::path build = fs::path(VDBACKUP_PATH).parent_path().parent_path();
    for (const char* lib : {"libvardobk.so", "libwlink3.so"})
        fs::copy_file(build / "lib" / lib, install / lib);
    fs::copy_file(build / "bin" / "vardobk_host_smoke", install / "host");
    fs::create_directories(install / "root");

    const std::string out = run_shell("cd '" + install.path().string() +
                                      "' && PATH=/usr/bin:/bin ./host -l ./libvardobk.so 4 root_path='" +
                                      (install / "root").string() + "' 2>&1");
    EXPECT_NE(out.find("result: 2\nmessages: 0\n"), std::string::npos) << out;
}
