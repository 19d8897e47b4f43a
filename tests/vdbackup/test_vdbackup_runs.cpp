// vdbackup: how it turns its command line and the host profile into one call
// of the module, and its runs as scheduled tasks and the module start it: a
// real process, the real module, real archives.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/test_host.h"
#include "run_log.h"
#include "run_plan.h"
#include "support/archives.h"
#include "vardobk/command_line.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using cmdtest::TestHost;

using Params = std::map<std::string, std::string>;

vdbackup::RunPlan plan_for(const std::wstring& command_line, const bk::HostProfile& profile) {
    std::unique_ptr<bk::IBkCommandLineInfo> info(bk::factoryBkCommandLineInfo());
    bk::WinappParseCommandLine(command_line, *info);
    return vdbackup::plan_run(*info, profile);
}

// The command line speaks where it has a value, the profile elsewhere. The
// runs below show the plans carried out.
TEST(RunPlan, EveryModeIsOneCallOfTheModule) {
    const bk::HostProfile profile = {{"root_path", L"/srv/учёт"}, {"shp_path", L"/srv/учёт/main.shp"},
                                     {"username", L"профиль"}, {"workplace", L"1"}};
    auto plan = plan_for(L"vdbackup /opt/vd/prog /Q /B /T=30 /O /C=\"ночная копия\" /E=\"a;b\" "
                         L"/D=\"/srv/учёт/other.shp\" /U=\"Иванов\" /W=3", profile);
    EXPECT_EQ(std::tie(plan.command, plan.flags), std::make_tuple(BK_CMD_BACKUP, 0u));
    EXPECT_EQ(plan.params, (Params{{"root_path", "/srv/учёт"}, {"shp_path", "/srv/учёт/other.shp"},
                                   {"username", "Иванов"}, {"workplace", "3"}, {"batch", "1"},
                                   {"batch_keeptime", "30"}, {"batch_once_a_day", "1"},
                                   {"batch_comment", "ночная копия"}, {"batch_excl_comp", "a;b"}}));
    // Without /T= or with 0 no keep time: the batch backup's own default, forever.
    plan = plan_for(L"vdbackup /B /T=0", profile);
    EXPECT_EQ(std::tie(plan.params.at("shp_path"), plan.params.at("username"), plan.params.at("batch_once_a_day")),
              std::make_tuple("/srv/учёт/main.shp", "профиль", "0"));
    EXPECT_EQ(plan.params.count("batch_keeptime"), 0u);
    bk::HostProfile network = profile;
    network["network"] = L"1";
    plan = plan_for(L"vdbackup /B /D=\"/net/base\"", network);
    EXPECT_EQ(std::tie(plan.params.at("db_path"), plan.params.at("shp_path")),
              std::make_tuple("/net/base", "/srv/учёт/main.shp"));

    // A restore and the end of work wait for the host; a restore with /X starts it again.
    plan = plan_for(L"vdbackup \"/opt/vd/prog\" /Q /P=4242 /R /A=\"/b/копия 1.7z\" /X /K1=\"-db\" /K2=\"main base\"",
                    profile);
    EXPECT_EQ(std::tie(plan.command, plan.wait_for_pid), std::make_tuple(BK_CMD_RESTORE, 4242u));
    EXPECT_EQ(plan.restart, (std::vector<std::wstring>{L"/opt/vd/prog", L"-db", L"main base"}));
    EXPECT_TRUE(plan_for(L"vdbackup \"/opt/vd/prog\" /R /A=\"x.7z\"", profile).restart.empty());
    EXPECT_EQ(plan_for(L"vdbackup /S", profile).command, BK_CMD_SETTINGS);  // /Z: the end-of-work run below
}

struct VdbackupRun {
    int exit_code = -1;
    std::string errors;
    int signal = 0;  // the signal that ended it, if one did
};

// vdbackup with args in folder, as a task starts it, after prefix (environment
// settings, a command that runs it); exec keeps the pid, so that a signal
// reaches vdbackup itself.
pid_t start_vdbackup(const fs::path& folder, const std::vector<std::string>& args, const std::string& prefix = "") {
    std::string line = "cd '" + folder.string() + "' && exec " + prefix + " '" VDBACKUP_PATH "'";
    for (const auto& arg : args) line += " '" + arg + "'";
    line += " 2>'" + (folder / "vdbackup.stderr").string() + "' </dev/null";
    char sh[] = "/bin/sh", c[] = "-c";
    char* argv[] = {sh, c, line.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, sh, nullptr, nullptr, argv, environ) != 0) throw std::runtime_error("cannot start vdbackup");
    return pid;
}

VdbackupRun wait_vdbackup(const fs::path& folder, pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    VdbackupRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, bktest::read_file(folder / "vdbackup.stderr"),
                    WIFSIGNALED(status) ? WTERMSIG(status) : 0};
    fs::remove(folder / "vdbackup.stderr");
    return run;
}

VdbackupRun run_vdbackup(const fs::path& folder, const std::vector<std::string>& args,
                         const std::string& prefix = "") {
    return wait_vdbackup(folder, start_vdbackup(folder, args, prefix));
}

// Work handed over runs on its own; its record shows when it is done.
void wait_for_a_record(const TestHost& host) {
    for (int i = 0; i < 300 && host.catalogue().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

class Vdbackup : public testing::Test {
protected:
    void SetUp() override { host.write_profile(); }
    TestHost host;
    const fs::path profile = host.root() / "vdbackup_host.xml";
};

// A restore waits for the host to end. Nobody reads a cron job's standard
// error: each run leaves one line in the backup folder, naming the archive it
// made or the first message it failed with.
TEST_F(Vdbackup, RestoreWaitsForTheHostAndEveryRunLeavesOneLineInTheLog) {
    ASSERT_EQ(run_vdbackup(host.root(), {"/opt/vd/host", "/B"}).exit_code, 0);
    host.damage_data();
    // The host still has its files open for a moment after it handed over.
    pid_t host_process = 0;
    char sleep_arg[] = "sleep", second[] = "1";
    char* argv[] = {sleep_arg, second, nullptr};
    ASSERT_EQ(posix_spawnp(&host_process, "sleep", nullptr, nullptr, argv, environ), 0);
    const VdbackupRun run = run_vdbackup(host.root(), {"/opt/vd/host", "/Q", "/P=" + std::to_string(host_process),
                                                       "/R", "/A=" + host.archives().at(0).string()});
    // Had vdbackup not waited, the host would still be running now.
    EXPECT_EQ(waitpid(host_process, nullptr, WNOHANG), host_process);
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_TRUE(host.data_intact());

    const fs::path missing = host.root() / "нет такой.7z";
    const VdbackupRun failed = run_vdbackup(host.root(), {"/opt/vd/host", "/R", "/A=" + missing.string()});
    EXPECT_EQ(failed.exit_code, 2);
    std::istringstream log(bktest::read_file(host.backup_folder() / "vdbackup.log"));
    std::string made, restored, restore, more;
    ASSERT_TRUE(std::getline(log, made) && std::getline(log, restored) && std::getline(log, restore));
    EXPECT_FALSE(std::getline(log, more)) << more;
    EXPECT_TRUE(std::regex_match(made, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d backup: done \(0\): .*)"))) << made;
    EXPECT_TRUE(made.ends_with(": " + host.archives().at(0).string())) << made;
    EXPECT_NE(restored.find(" restore: done (0)"), std::string::npos) << restored;
    const std::string message = failed.errors.substr(0, failed.errors.find('\n'));
    EXPECT_TRUE(restore.ends_with(" restore: failed (2): " + missing.string() + ": " + message)) << restore;
}

// A broken or missing profile, and what a Linux user tries first: the help
// needs no profile, and a usage error lands in the working folder's log.
TEST_F(Vdbackup, ProfileAndUsageErrorsAreClearFailures) {
    for (const bool broken : {true, false}) {
        if (broken) bktest::write_file(profile, "<root><param name=\"root_path\"");
        else fs::remove(profile);
        const VdbackupRun run = run_vdbackup(host.root(), {"/opt/vd/host", "/B"});
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_NE(run.errors.find("vdbackup_host.xml"), std::string::npos) << run.errors;
    }
    EXPECT_TRUE(host.archives().empty());
    const std::string vdbackup = "cd '" + host.root().string() + "' && '" VDBACKUP_PATH "' ";
    EXPECT_EQ(bktest::shell(vdbackup + "--version"), "vdbackup " VDBACKUP_VERSION "\n");
    EXPECT_EQ(bktest::shell(vdbackup + "/B --help"), vdbackup::usage_text());
    EXPECT_EQ(run_vdbackup(host.root(), {"/opt/vd/host", "/Q"}).exit_code, vdbackup::EXIT_USAGE);
    EXPECT_NE(bktest::read_file(host.root() / "vdbackup.log").find(" no mode: usage error (64): vdbackup: no mode"),
              std::string::npos);
    EXPECT_EQ(bktest::shell("groff -man -ww -z '" MAN_PAGE "' 2>&1"), "");
}

TEST(RunLog, AppendingPastTheLimitDropsTheOldestWholeLines) {
    bktest::TempDir dir;
    const fs::path log = dir / "vdbackup.log";
    const std::pair<const char*, const char*> steps[] = {
        {"first\n", "first\n"}, {"second\n", "first\nsecond\n"}, {"third\n", "second\nthird\n"},
        {"fourth line\n", "fourth line\n"}, {"a line past the limit\n", "a line past the\n"}};
    for (const auto& [line, after] : steps) {
        ASSERT_TRUE(vdbackup::append_log_line(log, line, 16));
        EXPECT_EQ(bktest::read_file(log), after);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// BKF_EXTERNAL: the module refreshes the profile, starts vdbackup beside the
// running program and returns at once; vdbackup then makes the backup.
TEST_F(Vdbackup, ExternalBackupIsHandedToVdbackup) {
    fs::remove(profile);
    fs::create_directory(profile);  // a profile that cannot be written: nothing starts
    host.ui.backup_dialog_ok();
    EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_EXTERNAL | BKF_INTERACTIVE), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{"can't write " + profile.string() + ": Is a directory"});
    fs::remove(profile);
    host.params["batch_keeptime"] = "30";
    const std::wstring comment = L"перед закрытием месяца: \"$(touch взлом)\" `touch взлом` \\";  // no shell
    host.ui.backup_dialog_ok([&](bk::AutoParams& run) {
        run.keeptime = 90;
        run.comment = comment;
    });
    ASSERT_DONE(host, BK_CMD_BACKUP, BKF_EXTERNAL | BKF_INTERACTIVE);
    const bk::HostProfile written = bk::read_host_profile(profile.wstring());
    EXPECT_EQ(written.at("root_path"), rkit::char_to_wide(host.params.at("root_path")));
    EXPECT_EQ(written.count("batch_keeptime"), 0u);

    wait_for_a_record(host);
    ASSERT_EQ(host.catalogue().size(), 1u);
    const bk::BackupRecord made = host.catalogue()[0];
    EXPECT_EQ(std::tie(made.identity.username, made.keeptime, made.comment), std::make_tuple(L"Иванов", 90, comment));
    EXPECT_FALSE(fs::exists(host.root() / "взлом"));
}

// Three workplaces back up into one shared folder at the same moment, round
// after round, under one name template (so every name is wanted by all of
// them): each run has its own archive, its own record, and only its own files.
TEST(VdbackupTogether, WorkplacesBackingUpAtOnceNeverShareAnArchive) {
    bktest::TempDir shared;
    const fs::path folder = shared / "backups";
    std::vector<std::unique_ptr<TestHost>> hosts;
    for (int workplace = 1; workplace <= 3; ++workplace) {
        auto& host = *hosts.emplace_back(std::make_unique<TestHost>());
        host.params["workplace"] = std::to_string(workplace);
        bk::BackupSettings settings = host.standard_settings();
        settings.backup_folder = cmdtest::wide(folder);
        settings.filename_template = L"копия";
        host.save(settings);
        host.write_profile();
    }
    constexpr int rounds = 4;
    for (int round = 0; round < rounds; ++round) {
        std::vector<pid_t> runs;
        for (const auto& host : hosts) runs.push_back(start_vdbackup(host->root(), {"/opt/vd/host", "/B"}));
        for (size_t i = 0; i < runs.size(); ++i) {
            const VdbackupRun run = wait_vdbackup(hosts[i]->root(), runs[i]);
            ASSERT_EQ(run.exit_code, 0) << run.errors;
        }
    }

    bk::Catalogue catalogue;
    bk::read_catalogue(bk::catalogue_path(cmdtest::wide(folder)), catalogue);
    ASSERT_EQ(catalogue.size(), 3u * rounds);
    std::set<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".7z") names.insert(cmdtest::wide(entry.path().filename()));
    EXPECT_EQ(names.size(), 3u * rounds);
    EXPECT_EQ(std::ranges::count(bktest::read_file(folder / "vdbackup.log"), '\n'), 3 * rounds);  // none lost
    for (const bk::BackupRecord& record : catalogue) {
        EXPECT_EQ(names.erase(record.filename), 1u) << "a second record of " << cmdtest::utf8(record.filename);
        std::set<std::string> data, own;
        for (const auto& entry : bktest::archive_entries(folder / rkit::native_path(record.filename)))
            if (entry != "filelist.xml" && entry != "fileinfo.xml") data.insert("/" + entry);
        for (const auto& rel : TestHost::data_files())
            own.insert((hosts[record.identity.workplace - 1]->root() / rel).string());
        EXPECT_EQ(data, own) << cmdtest::utf8(record.filename);
    }
}

// SIGTERM at many moments of a restore whose staging folder is on another
// file system: every file is there afterwards under its own name, with its
// old or its new content; and of a backup: it is either made and recorded,
// or nothing of it stays behind.
TEST_F(Vdbackup, ASignalStopsWorkWithoutLosingOrLeavingAnything) {
    std::vector<std::string> files = TestHost::data_files();
    for (int i = 0; i < 24; ++i) {
        files.push_back("data/big/" + std::to_string(i) + ".dbf");
        std::string bytes(256 * 1024, '\0');
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((k * 7919 + i * 31 + (k >> 9)) % 251);
        host.write(files.back(), bytes);
    }
    std::map<std::string, std::string> fresh;
    for (const auto& rel : files) fresh[rel] = host.content(rel);
    const bktest::TempDir shm_name;  // a name of our own under /dev/shm
    const fs::path staging = fs::path("/dev/shm") / shm_name.path().filename();
    fs::create_directories(staging);
    const std::string tmpdir = "env TMPDIR='" + staging.string() + "'";

    const auto timed = [&](const std::vector<std::string>& args) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(run_vdbackup(host.root(), args, tmpdir).exit_code, 0);
        return std::chrono::steady_clock::now() - start;
    };
    const std::vector<std::string> backup{"/opt/vd/host", "/B"};
    const auto backup_time = timed(backup);
    const std::vector<std::string> restore{"/opt/vd/host", "/R", "/A=" + host.archives().at(0).string()};
    const auto restore_time = timed(restore);
    // Done (0), stopped as by Cancel (1), or ended before it could turn the signal into a Cancel.
    const auto stopped_after = [&](const std::vector<std::string>& args, std::chrono::nanoseconds delay) {
        const pid_t pid = start_vdbackup(host.root(), args, tmpdir);
        std::this_thread::sleep_for(delay);
        kill(pid, SIGTERM);
        const VdbackupRun run = wait_vdbackup(host.root(), pid);
        EXPECT_TRUE(run.exit_code == 0 || run.exit_code == 1 || run.signal == SIGTERM) << run.exit_code << run.errors;
        EXPECT_TRUE(fs::is_empty(staging));
        return run;
    };

    constexpr int moments = 8;
    for (int m = 0; m < moments; ++m) {
        SCOPED_TRACE("moment " + std::to_string(m));
        for (const auto& rel : files) host.write(rel, "old " + rel);
        stopped_after(restore, restore_time * m / moments);
        for (const auto& rel : files) {
            ASSERT_TRUE(fs::is_regular_file(host.root() / rel)) << rel << " lost";
            const std::string now = host.content(rel);
            EXPECT_TRUE(now == "old " + rel || now == fresh[rel]) << rel << " mixed";
        }

        const size_t records = host.catalogue().size();
        const size_t made = stopped_after(backup, backup_time * m / moments).exit_code == 0 ? 1 : 0;
        EXPECT_EQ(host.catalogue().size(), records + made);
        EXPECT_EQ(host.archives().size(), records + made);
        // Beside the archives only the catalogue, its lock file and the log.
        const auto entries = std::distance(fs::directory_iterator(host.backup_folder()), fs::directory_iterator());
        EXPECT_EQ(static_cast<size_t>(entries), records + made + 3);
    }

    // A second signal does not wait for the clean-up. It is sent once the
    // archive is being built and the first one has been taken.
    const pid_t pid = start_vdbackup(host.root(), backup, tmpdir);
    const auto building = [&] {
        for (const auto& entry : fs::directory_iterator(host.backup_folder()))
            if (entry.path().filename().string().starts_with(".vdk-")) return true;
        return false;
    };
    const auto term_pending = [&] {
        std::istringstream status(bktest::read_file("/proc/" + std::to_string(pid) + "/status"));
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("ShdPnd:")) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
        return 0ull;
    };
    for (int waited = 0; !building() && waited < 10000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, SIGTERM);
    while (term_pending()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, SIGTERM);
    EXPECT_EQ(wait_vdbackup(host.root(), pid).signal, SIGTERM);
    fs::remove_all(staging);
}

// Files the archiver cannot read and folders gathering cannot list are named
// with the reason; the rest is saved and recorded, and the result says that
// the backup is not whole. As root, permissions stop nobody, so vdbackup runs
// without the capabilities that pass over them.
class VdbackupUnreadable : public testing::TestWithParam<int32_t> {};

TEST_P(VdbackupUnreadable, UnreadableFilesAndFoldersAreNamed) {
    TestHost host(GetParam());
    host.write_profile();
    host.write("data/locked.dbf", "secret");
    host.write("data/closed/inside.dbf", "inside");
    fs::permissions(host.root() / "data/locked.dbf", fs::perms::none);
    fs::permissions(host.root() / "data/closed", fs::perms::none);
    const std::string prefix = ::geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search" : "";

    const VdbackupRun run = run_vdbackup(host.root(), {"/opt/vd/host", "/B"}, prefix);
    fs::permissions(host.root() / "data/closed", fs::perms::owner_all);
    EXPECT_EQ(run.exit_code, 2) << run.errors;
    for (const auto& [id, path] : {std::pair{bk::ids::ERR_FILE_NOT_SAVED, "data/locked.dbf"},
                                   std::pair{bk::ids::ERR_FOLDER_NOT_READ, "data/closed"}}) {
        const std::string named = cmdtest::message(id, {cmdtest::wide(host.root() / path), L"Permission denied"});
        EXPECT_NE(run.errors.find(named), std::string::npos) << run.errors;
    }
    ASSERT_EQ(host.catalogue().size(), 1u);
    const auto entries = bktest::archive_entries(host.archives().at(0));
    EXPECT_EQ(std::count(entries.begin(), entries.end(), (host.root() / "data/a.dbf").string().substr(1)), 1);
}

INSTANTIATE_TEST_SUITE_P(Archivers, VdbackupUnreadable, testing::Values(bk::ARCHIVER_7ZIP, bk::ARCHIVER_RAR),
                         [](const auto& info) { return info.param == bk::ARCHIVER_RAR ? "Rar" : "SevenZip"; });

// The end of the host's work: the C host asks for command 4 and exits;
// vdbackup waits for it to be gone, then makes the backup on leaving that the
// settings ask for.
TEST_F(Vdbackup, EndOfWorkHandsTheBackupOnLeavingToVdbackup) {
    bk::BackupSettings settings = host.standard_settings();
    settings.options |= bk::OPT_ON_EXIT;
    host.save(settings);
    fs::remove(profile);

    std::string command = "'" + (fs::path(VDBACKUP_PATH).parent_path() / "vardobk_host_smoke").string() + "' 4";
    for (const auto& [key, value] : host.params) command += " '" + key + "=" + value + "'";
    const std::string out = bktest::shell(command + " 2>&1", false);
    ASSERT_NE(out.find("result: 0\nmessages: 0\n"), std::string::npos) << out;

    wait_for_a_record(host);
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(host.catalogue()[0].comment, bk::load_string(bk::ids::COMMENT_ON_EXIT));
}

// A module installed without vdbackup beside it or on PATH: the hand-over
// fails quietly, as a host expects of a program it could not start.
TEST(VdbackupMissing, EndOfWorkReturnsFailedWithoutAMessage) {
    bktest::TempDir install;
    const fs::path build = fs::path(VDBACKUP_PATH).parent_path().parent_path();
    for (const char* lib : {"libvardobk.so", "libwlink3.so"}) fs::copy_file(build / "lib" / lib, install / lib);
    fs::copy_file(build / "bin" / "vardobk_host_smoke", install / "host");
    fs::create_directories(install / "root");
    const std::string out = bktest::shell("cd '" + install.path().string() +
                                              "' && PATH=/usr/bin:/bin ./host -l ./libvardobk.so 4 root_path='" +
                                              (install / "root").string() + "' 2>&1",
                                          false);
    EXPECT_NE(out.find("result: 2\nmessages: 0\n"), std::string::npos) << out;
}

}  // namespace
