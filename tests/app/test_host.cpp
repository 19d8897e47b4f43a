#include "app/test_host.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "app/commands/commands.h"
#include "core/host_params.h"
#include "rkit/clock.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "sched/auto_backup.h"
#include "settings/host_profile.h"
#include "settings/settings_file.h"
#include "support/error_messages.h"

namespace cmdtest {
namespace {

TestHost* current = nullptr;

int32_t BK_CALL answer(const char* key, char* buffer, int32_t size) {
    if (!current) return -1;
    ++current->questions;
    auto it = current->params.find(key);
    if (it == current->params.end()) return -1;
    std::memcpy(buffer, it->second.data(), std::min<size_t>(static_cast<size_t>(size), it->second.size()));
    return static_cast<int32_t>(it->second.size());
}

}  // namespace

std::string utf8(const std::wstring& text) { return rkit::wide_to_char(text); }
std::wstring wide(const fs::path& path) { return rkit::from_native_path(path.string()); }
std::string message(int id, std::initializer_list<bk::FormatArg> args) { return bk::format_string_narrow(id, args); }

TestHost::TestHost(int32_t archiver) : root_(dir_.path() / "root"), archiver_(archiver) {
    current = this;
    bk::clear_clock_cache();
    for (const auto& rel : data_files()) write(rel, "content of " + rel);

    const std::string root = root_.string();
    for (const bk::BasicFolderKey& folder : bk::basic_folder_keys()) params[folder.key] = root;
    for (const bk::FileLocationKey& file : bk::file_location_keys()) {
        const std::string kind(file.key, 3);  // shp_path: demo.shp in the folder of shp_dir_path
        params[kind + "_dir_path"] = root + "/base";
        params[file.key] = root + "/base/demo." + kind;
    }
    params.insert({{"exe_fname", "host"}, {"ver_type", "8.1"}, {"ver_family", "ПРОФ"}, {"workplace", "3"},
                   {"username", "Иванов"}});
    save(standard_settings());
}

TestHost::~TestHost() {
    current = nullptr;
    rkit::clock::reset();
    bk::clear_clock_cache();
}

const std::vector<std::string>& TestHost::data_files() {
    static const std::vector<std::string> files{"data/a.dbf", "data/b.dbf", "data/sub/c.dbf", "docs/readme.txt",
                                                "base/demo.shp"};
    return files;
}

void TestHost::damage_data() const {
    for (const auto& rel : data_files()) write(rel, "damaged");
}

bool TestHost::data_intact() const {
    return std::all_of(data_files().begin(), data_files().end(), [&](const std::string& rel) {
        return fs::exists(root_ / rel) && content(rel) == "content of " + rel;
    });
}

bk::BackupSettings TestHost::standard_settings() const {
    bk::BackupSettings s;
    bk::FileGroup data, docs;
    data.basic_folder = docs.basic_folder = L"ТЕК_ДИР";
    data.relative_path = L"data";
    data.include_mask = L"*.dbf";
    data.flags = bk::GROUP_RECURSIVE;
    docs.relative_path = L"docs";
    docs.components = {kDocs};
    s.file_groups = {data, docs};
    s.single_files.resize(1);
    s.single_files[0].path = L"ТЕК_SHP";
    s.components = {{kDocs, L"Документы"}, {L"unused", L"Не используется"}};
    s.archiver.archiver = archiver_;
    return s;
}

void TestHost::save(const bk::BackupSettings& settings) const {
    bk::write_settings_file(wide(settings_file()), settings);
}

bk::BackupSettings TestHost::saved() const {
    bk::BackupSettings s;
    bk::read_settings_file(wide(settings_file()), s);
    return s;
}

void TestHost::write_profile() const {
    bk::HostProfile profile;
    for (const auto& [key, value] : params) profile[key] = rkit::char_to_wide(value);
    bk::write_host_profile(wide(root_ / "vdbackup_host.xml"), profile);
}

uint32_t TestHost::run(int32_t command, uint32_t flags, void* parent) {
    return bk::dispatch(bk::module_commands(), command, parent, flags, answer, nullptr);
}

std::vector<std::string> TestHost::messages() const { return bktest::error_messages(); }

bk::Catalogue TestHost::catalogue() const {
    bk::Catalogue records;
    if (fs::exists(backup_folder() / "backup_list.xml"))
        bk::read_catalogue(bk::catalogue_path(wide(backup_folder())), records);
    return records;
}

std::wstring TestHost::last_archive() const {
    const auto records = catalogue();
    if (records.empty()) throw std::logic_error("no backup in the catalogue");
    return wide(backup_folder()) + L"/" + records.back().filename;
}

std::vector<fs::path> TestHost::archives() const {
    std::vector<fs::path> found;
    if (!fs::exists(backup_folder())) return found;
    for (const auto& entry : fs::directory_iterator(backup_folder()))
        if (entry.path().extension() == ".7z" || entry.path().extension() == ".rar") found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

void TestHost::backup() {
    const auto kept = params;
    set_batch_backup();
    const uint32_t result = run(BK_CMD_BACKUP);
    params = kept;
    if (result != BK_DONE) throw std::runtime_error("backup failed: " + (messages().empty() ? "" : messages()[0]));
}

void TestHost::set_batch_restore(const std::wstring& archive) {
    params["batch"] = "1";
    params["batch_archive"] = utf8(archive);
}

}  // namespace cmdtest
