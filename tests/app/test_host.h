// A host as the commands meet it: a current folder with an accounting data
// set, the backup settings file beside it, and the parameter callback that
// answers from a map, counting the questions it was asked.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/string_table.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "vardobk/vardobk.h"

namespace cmdtest {

namespace fs = std::filesystem;

inline const wchar_t* const kDocs = L"docs";  // the component of the group docs/

// Starts with its data and its standard settings saved.
class TestHost {
public:
    explicit TestHost(int32_t archiver = bk::ARCHIVER_7ZIP);
    ~TestHost();

    std::map<std::string, std::string> params;  // a key not here is absent
    int questions = 0;
    bktest::ScriptedUserInterface ui;

    const fs::path& root() const { return root_; }
    std::string backup_folder_name = "backup";
    fs::path backup_folder() const { return root_ / backup_folder_name; }
    fs::path settings_file() const { return root_ / "backup_config.xml"; }

    // data/*.dbf (one in a subfolder), docs/readme.txt, base/demo.shp.
    static const std::vector<std::string>& data_files();
    std::string content(const std::string& rel) const { return bktest::read_file(root_ / rel); }
    void write(const std::string& rel, const std::string& bytes) const { bktest::write_file(root_ / rel, bytes); }
    void damage_data() const;
    bool data_intact() const;

    // Groups data/*.dbf (recursive) and docs/ (component docs), the single
    // file ТЕК_SHP, the components docs and unused, the host's archiver.
    bk::BackupSettings standard_settings() const;
    void save(const bk::BackupSettings& settings) const;
    bk::BackupSettings saved() const;
    void break_settings_file() const { bktest::write_file(settings_file(), "<root><options node_value="); }
    void write_profile() const;  // vdbackup_host.xml, from params

    uint32_t run(int32_t command, uint32_t flags = 0, void* parent = nullptr);  // bkDispatch
    std::vector<std::string> messages() const;
    void backup();  // a batch backup that must succeed; the parameters stay

    bk::Catalogue catalogue() const;
    std::wstring last_archive() const;
    std::vector<fs::path> archives() const;  // *.7z and *.rar in the backup folder

    void set_batch_backup() { params["batch"] = "1"; }
    void set_batch_restore(const std::wstring& archive);

private:
    bktest::TempDir dir_;
    fs::path root_;
    int32_t archiver_;
};

// A command that must succeed; the module's messages tell why it did not.
#define ASSERT_DONE(h, ...) ASSERT_EQ((h).run(__VA_ARGS__), BK_DONE) << ::testing::PrintToString((h).messages())
#define EXPECT_DONE(h, ...) EXPECT_EQ((h).run(__VA_ARGS__), BK_DONE) << ::testing::PrintToString((h).messages())

std::string utf8(const std::wstring& text);
std::wstring wide(const fs::path& path);  // a path as the module writes it
std::string message(int id, std::initializer_list<bk::FormatArg> args = {});  // as in the error list

}  // namespace cmdtest
