// A host as the commands meet it: a current folder with an accounting data
// set, the backup settings file beside it, and the parameter callback that
// answers from a map, counting the questions it was asked.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "app/commands/commands.h"
#include "catalogue/catalogue.h"
#include "core/host_params.h"
#include "core/string_table.h"
#include "rkit/clock.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "sched/auto_backup.h"
#include "settings/host_profile.h"
#include "settings/settings_file.h"
#include "support/error_messages.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "vardobk/vardobk.h"

namespace cmdtest {

namespace fs = std::filesystem;

inline const wchar_t* const kDocs = L"docs";  // the component of the group docs/

inline std::string utf8(const std::wstring& text) { return rkit::wide_to_char(text); }
// A path as the module writes it, and a message as in the error list.
inline std::wstring wide(const fs::path& path) { return rkit::from_native_path(path.string()); }
inline std::string message(int id, std::initializer_list<bk::FormatArg> args = {}) {
    return bk::format_string_narrow(id, args);
}

// Starts with its data and its standard settings saved.
class TestHost {
public:
    explicit TestHost(int32_t archiver = bk::ARCHIVER_7ZIP) : root_(dir_.path() / "root"), archiver_(archiver) {
        current() = this;
        bk::clear_clock_cache();
        for (const auto& rel : data_files()) write(rel, "content of " + rel);
        for (const bk::BasicFolderKey& folder : bk::basic_folder_keys()) params[folder.key] = root_.string();
        for (const bk::FileLocationKey& file : bk::file_location_keys()) {
            const std::string kind(file.key, 3);  // shp_path: demo.shp in the folder of shp_dir_path
            params[kind + "_dir_path"] = (root_ / "base").string();
            params[file.key] = (root_ / "base/demo.").string() + kind;
        }
        params.insert({{"exe_fname", "host"}, {"ver_type", "8.1"}, {"ver_family", "ПРОФ"}, {"workplace", "3"},
                       {"username", "Иванов"}});
        save(standard_settings());
    }
    ~TestHost() {
        current() = nullptr;
        rkit::clock::reset();
        bk::clear_clock_cache();
    }

    std::map<std::string, std::string> params;  // a key not here is absent
    int questions = 0;
    bktest::ScriptedUserInterface ui;
    std::string backup_folder_name = "backup";

    const fs::path& root() const { return root_; }
    fs::path backup_folder() const { return root_ / backup_folder_name; }
    fs::path settings_file() const { return root_ / "backup_config.xml"; }

    // data/*.dbf (one in a subfolder), docs/readme.txt, base/demo.shp.
    static const std::vector<std::string>& data_files() {
        static const std::vector<std::string> files{"data/a.dbf", "data/b.dbf", "data/sub/c.dbf", "docs/readme.txt",
                                                    "base/demo.shp"};
        return files;
    }
    std::string content(const std::string& rel) const { return bktest::read_file(root_ / rel); }
    void write(const std::string& rel, const std::string& bytes) const { bktest::write_file(root_ / rel, bytes); }
    void damage_data() const {
        for (const auto& rel : data_files()) write(rel, "damaged");
    }
    bool data_intact() const {
        return std::all_of(data_files().begin(), data_files().end(),
                           [&](const std::string& rel) { return content(rel) == "content of " + rel; });
    }

    // Groups data/*.dbf (recursive) and docs/ (component docs), the single
    // file ТЕК_SHP, the components docs and unused, the host's archiver.
    bk::BackupSettings standard_settings() const {
        bk::BackupSettings s;
        s.file_groups = {{L"ТЕК_ДИР", L"data", L"*.dbf", L"", L"", bk::GROUP_RECURSIVE, L"", {}},
                         {L"ТЕК_ДИР", L"docs", L"", L"", L"", 0, L"", {kDocs}}};
        s.single_files = {{L"ТЕК_SHP", L"", L"", {}}};
        s.components = {{kDocs, L"Документы"}, {L"unused", L"Не используется"}};
        s.archiver.archiver = archiver_;
        return s;
    }
    void save(const bk::BackupSettings& settings) const { bk::write_settings_file(wide(settings_file()), settings); }
    void break_settings_file() const { bktest::write_file(settings_file(), "<root><options node_value="); }
    void write_profile() const {  // vdbackup_host.xml, from params
        bk::HostProfile profile;
        for (const auto& [key, value] : params) profile[key] = rkit::char_to_wide(value);
        bk::write_host_profile(wide(root_ / "vdbackup_host.xml"), profile);
    }

    uint32_t run(int32_t command, uint32_t flags = 0, void* parent = nullptr) {  // bkDispatch
        return bk::dispatch(bk::module_commands(), command, parent, flags, answer, nullptr);
    }
    std::vector<std::string> messages() const { return bktest::error_messages(); }
    // The parameter callback, for a host that calls the loaded module.
    static HostParamCallback callback() { return &answer; }
    void backup() {  // a batch backup that must succeed; the parameters stay
        const auto kept = params;
        set_batch_backup();
        const uint32_t result = run(BK_CMD_BACKUP);
        params = kept;
        if (result != BK_DONE) throw std::runtime_error("backup failed: " + ::testing::PrintToString(messages()));
    }
    void set_batch_backup() { params["batch"] = "1"; }
    void set_batch_restore(const std::wstring& archive) {
        params["batch"] = "1";
        params["batch_archive"] = utf8(archive);
    }

    bk::Catalogue catalogue() const {
        bk::Catalogue records;
        if (fs::exists(backup_folder() / "backup_list.xml"))
            bk::read_catalogue(bk::catalogue_path(wide(backup_folder())), records);
        return records;
    }
    std::wstring last_archive() const {  // throws when there is none
        const auto records = catalogue();
        return wide(backup_folder()) + L"/" + records.at(records.size() - 1).filename;
    }
    std::vector<fs::path> archives() const {  // *.7z and *.rar in the backup folder, sorted
        std::vector<fs::path> found;
        std::error_code none;  // no backup folder yet: no archives
        for (const auto& entry : fs::directory_iterator(backup_folder(), none))
            if (entry.path().extension() == ".7z" || entry.path().extension() == ".rar") found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    static TestHost*& current() {
        static TestHost* host = nullptr;
        return host;
    }
    static int32_t BK_CALL answer(const char* key, char* buffer, int32_t size) {
        if (!current()) return -1;
        ++current()->questions;
        auto it = current()->params.find(key);
        if (it == current()->params.end()) return -1;
        std::memcpy(buffer, it->second.data(), std::min<size_t>(static_cast<size_t>(size), it->second.size()));
        return static_cast<int32_t>(it->second.size());
    }

    bktest::TempDir dir_;
    fs::path root_;
    int32_t archiver_;
};

// A command that must succeed; the module's messages tell why it did not.
#define ASSERT_DONE(h, ...) ASSERT_EQ((h).run(__VA_ARGS__), BK_DONE) << ::testing::PrintToString((h).messages())
#define EXPECT_DONE(h, ...) EXPECT_EQ((h).run(__VA_ARGS__), BK_DONE) << ::testing::PrintToString((h).messages())

}  // namespace cmdtest
