#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "app/error_list.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "settings_test_util.h"
#include "support/temp_dir.h"

using namespace bk;
namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> g_params;

int32_t BK_CALL host(const char* key, char* buffer, int32_t size) {
    auto it = g_params.find(key);
    if (it == g_params.end()) return -1;
    std::memcpy(buffer, it->second.data(), std::min<size_t>(static_cast<size_t>(size), it->second.size()));
    return static_cast<int32_t>(it->second.size());
}

std::vector<std::string> errors() {
    std::vector<std::string> list;
    char buffer[1024];
    for (int32_t i = 0; i < error_count(); ++i) {
        int32_t n = copy_error(i, buffer, sizeof buffer);
        list.emplace_back(buffer, static_cast<size_t>(std::min<int32_t>(n, sizeof buffer)));
    }
    return list;
}

// Root may write anywhere, except into a folder marked immutable.
class ImmutableFolder {
public:
    explicit ImmutableFolder(const fs::path& path) : fd_(open(path.c_str(), O_RDONLY | O_DIRECTORY)) {
        int flags = 0;
        ok_ = fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0 && (flags |= FS_IMMUTABLE_FL, true) &&
              ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
        if (!ok_ && fd_ >= 0 && geteuid() != 0) ok_ = chmod(path.c_str(), 0555) == 0, chmod_ = ok_;
        path_ = path;
    }
    ~ImmutableFolder() {
        int flags = 0;
        if (ok_ && !chmod_ && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ioctl(fd_, FS_IOC_SETFLAGS, &flags);
        }
        if (chmod_) chmod(path_.c_str(), 0755);
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return ok_; }

private:
    int fd_;
    bool ok_ = false;
    bool chmod_ = false;
    fs::path path_;
};

class SettingsStore : public ::testing::Test {
protected:
    bktest::TempDir dir;
    fs::path file = dir / "backup_config.xml";

    void SetUp() override {
        g_params = {{"root_path", dir.path().string()}};
        clear_errors();
    }
    void expect_failure(int id_message, const std::string& cause_start, const fs::path& path) {
        std::vector<std::string> list = errors();
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].rfind(cause_start, 0), 0u) << list[0];
        const char* pattern = id_message == 20111 ? "Ошибка загрузки настроек резервного копирования из файла: '"
                                                  : "Ошибка сохранения настроек резервного копирования в файл: '";
        EXPECT_EQ(list[1], pattern + path.string() + "'.");
    }
};

TEST_F(SettingsStore, MissingFileGivesDefaults) {
    BackupSettings s;
    EXPECT_EQ(load_settings(host, s), BK_DONE);
    EXPECT_EQ(s, BackupSettings());
    EXPECT_EQ(error_count(), 0);
}

TEST_F(SettingsStore, SaveThenLoad) {
    BackupSettings full = settings_test::full_record();
    EXPECT_EQ(save_settings(host, full), BK_DONE);
    BackupSettings s;
    EXPECT_EQ(load_settings(host, s), BK_DONE);
    EXPECT_EQ(s, full);

    // In batch mode the file named by batch_config, relative to the root.
    g_params["batch"] = "1";
    g_params["batch_config"] = "другие/настройки.xml";
    fs::create_directory(dir / "другие");
    EXPECT_EQ(save_settings(host, BackupSettings()), BK_DONE);
    EXPECT_TRUE(fs::exists(dir / "другие/настройки.xml"));
    BackupSettings fresh;
    EXPECT_EQ(load_settings(host, fresh), BK_DONE);
    EXPECT_EQ(fresh, BackupSettings());
}

TEST_F(SettingsStore, UnreadableFilesFailWithTheCause) {
    const std::pair<std::string, std::string> cases[] = {
        {"this is not XML", "error loading XML: "},
        {"<?xml version=\"1.0\"?>\n<root><backup_folder node_value=\"x\"/><file_gr", "error loading XML: "},
        {"<root><expired_limit node_value=\"ten\"/></root>", "Type mismatch."},
    };
    for (const auto& [text, cause] : cases) {
        clear_errors();
        bktest::write_file(file, text);
        BackupSettings s;
        EXPECT_EQ(load_settings(host, s), BK_FAILED) << text;
        expect_failure(20111, cause, file);
        EXPECT_EQ(bktest::read_file(file), text);
    }
}

TEST_F(SettingsStore, FailedSaveLeavesTheOldFile) {
    ASSERT_EQ(save_settings(host, BackupSettings()), BK_DONE);
    const std::string old_text = bktest::read_file(file);
    {
        ImmutableFolder locked(dir.path());
        if (!locked.ok()) GTEST_SKIP() << "no way to make a folder unwritable here";
        EXPECT_EQ(save_settings(host, settings_test::full_record()), BK_FAILED);
    }
    expect_failure(20112, "", file);
    EXPECT_EQ(bktest::read_file(file), old_text);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(SettingsStore, SavingOverAFolderOrUnderAFileFails) {
    fs::create_directory(file);
    EXPECT_EQ(save_settings(host, BackupSettings()), BK_FAILED);
    expect_failure(20112, "Is a directory", file);
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_TRUE(fs::is_empty(file));

    clear_errors();
    bktest::write_file(dir / "plain", "plain file");
    g_params["batch"] = "1";
    g_params["batch_config"] = "plain/backup_config.xml";
    EXPECT_EQ(save_settings(host, BackupSettings()), BK_FAILED);
    expect_failure(20112, "Not a directory", dir / "plain" / "backup_config.xml");
    EXPECT_EQ(bktest::read_file(dir / "plain"), "plain file");
}

}  // namespace
