// A host as the commands meet it: a current folder with an accounting data
// set, the backup settings file beside it, and the parameter callback that
// answers from a map, counting the questions it was asked.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/string_table.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "vardobk/vardobk.h"

namespace cmdtest {

namespace fs = std::filesystem;

// The components of the standard settings: "docs" is what the "docs" group
// belongs to, "unused" nothing refers to.
inline const wchar_t* const kDocs = L"docs";
inline const wchar_t* const kUnused = L"unused";

class TestHost {
public:
    explicit TestHost(int32_t archiver = bk::ARCHIVER_7ZIP);
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // The values the host gives; a key that is not here is absent.
    std::map<std::string, std::string> params;
    // How many times the module asked for a parameter.
    int questions = 0;

    const fs::path& root() const { return root_; }
    // The settings' backup_folder the tests use, below the root.
    std::string backup_folder_name = "backup";
    fs::path backup_folder() const { return root_ / backup_folder_name; }
    fs::path settings_file() const { return root_ / "backup_config.xml"; }

    // The data set: data/*.dbf (one in a subfolder), docs/readme.txt of the
    // component "docs", base/demo.shp, the current database.
    static const std::vector<std::string>& data_files();
    std::string content(const std::string& rel) const;
    void write(const std::string& rel, const std::string& bytes) const;
    // Every data file changed, as a broken data set would be.
    void damage_data() const;
    bool data_intact() const;

    // data/*.dbf recursive, docs/ of component "docs", the single file
    // ТЕК_SHP, the components docs and unused, the host's archiver.
    bk::BackupSettings standard_settings() const;
    void save(const bk::BackupSettings& settings) const;
    bk::BackupSettings saved() const;
    void break_settings_file() const;

    // bkDispatch as the host calls it.
    uint32_t run(int32_t command, uint32_t flags = 0, void* parent = nullptr);
    std::vector<std::string> messages() const;

    bk::Catalogue catalogue() const;
    std::wstring archive_of(const bk::BackupRecord& record) const;
    std::wstring last_archive() const;
    // The archives in the backup folder.
    std::vector<fs::path> archives() const;

    void set_batch_backup();
    void set_batch_restore(const std::wstring& archive);

    bktest::ScriptedUserInterface ui;

private:
    bktest::TempDir dir_;
    fs::path root_;
    int32_t archiver_;
};

// std::string of UTF-8 from a wide text, for the parameter map.
std::string utf8(const std::wstring& text);
// A path as the module writes it, whatever the locale of the test process.
std::wstring wide(const fs::path& path);

// What a message of the string table reads in the error list.
std::string message(int id, std::initializer_list<bk::FormatArg> args = {});

}  // namespace cmdtest
