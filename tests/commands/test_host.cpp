#include "commands/test_host.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "app/commands/commands.h"
#include "app/error_list.h"
#include "rkit/clock.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "sched/auto_backup.h"
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

std::string message(int id, std::initializer_list<bk::FormatArg> args) {
    return bk::format_string_narrow(id, args);
}

TestHost::TestHost(int32_t archiver) : root_(dir_.path() / "root"), archiver_(archiver) {
    current = this;
    bk::clear_clock_cache();
    for (const auto& rel : data_files()) write(rel, "content of " + rel);

    const std::string root = root_.string();
    for (const char* key : {"common_path", "exe_path", "db_path", "dbf_path", "top_path", "flt_path", "blw_path",
                            "bar_path", "vdl_path", "src_path", "vdx_path"})
        params[key] = root;
    params["root_path"] = root;
    params["shp_dir_path"] = params["rek_dir_path"] = params["opr_dir_path"] = root + "/base";
    params["shp_path"] = root + "/base/demo.shp";
    params["rek_path"] = root + "/base/demo.rek";
    params["opr_path"] = root + "/base/demo.opr";
    params["exe_fname"] = "host";
    params["ver_type"] = "8.1";
    params["ver_family"] = "ПРОФ";
    params["workplace"] = "3";
    params["username"] = "Иванов";
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

std::string TestHost::content(const std::string& rel) const { return bktest::read_file(root_ / rel); }

void TestHost::write(const std::string& rel, const std::string& bytes) const { bktest::write_file(root_ / rel, bytes); }

void TestHost::damage_data() const {
    for (const auto& rel : data_files()) write(rel, "damaged");
}

bool TestHost::data_intact() const {
    for (const auto& rel : data_files())
        if (!fs::exists(root_ / rel) || content(rel) != "content of " + rel) return false;
    return true;
}

bk::BackupSettings TestHost::standard_settings() const {
    bk::BackupSettings s;
    bk::FileGroup data;
    data.basic_folder = L"ТЕК_ДИР";
    data.relative_path = L"data";
    data.include_mask = L"*.dbf";
    data.flags = bk::GROUP_RECURSIVE;
    bk::FileGroup docs;
    docs.basic_folder = L"ТЕК_ДИР";
    docs.relative_path = L"docs";
    docs.components = {kDocs};
    bk::SingleFile database;
    database.path = L"ТЕК_SHP";
    s.file_groups = {data, docs};
    s.single_files = {database};
    s.components = {{kDocs, L"Документы"}, {kUnused, L"Не используется"}};
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

void TestHost::break_settings_file() const { bktest::write_file(settings_file(), "<root><options node_value="); }

uint32_t TestHost::run(int32_t command, uint32_t flags, void* parent) {
    return bk::dispatch(bk::module_commands(), command, parent, flags, answer, nullptr);
}

std::vector<std::string> TestHost::messages() const { return bktest::error_messages(); }

bk::Catalogue TestHost::catalogue() const {
    bk::Catalogue records;
    const std::wstring path = bk::catalogue_path(wide(backup_folder()));
    if (fs::exists(backup_folder() / "backup_list.xml")) bk::read_catalogue(path, records);
    return records;
}

std::wstring TestHost::archive_of(const bk::BackupRecord& record) const {
    return wide(backup_folder()) + L"/" + record.filename;
}

std::wstring TestHost::last_archive() const {
    const auto records = catalogue();
    if (records.empty()) throw std::logic_error("no backup in the catalogue");
    return archive_of(records.back());
}

std::vector<fs::path> TestHost::archives() const {
    std::vector<fs::path> found;
    if (!fs::exists(backup_folder())) return found;
    for (const auto& entry : fs::directory_iterator(backup_folder())) {
        const auto ext = entry.path().extension();
        if (ext == ".7z" || ext == ".rar") found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

void TestHost::set_batch_backup() { params["batch"] = "1"; }

void TestHost::set_batch_restore(const std::wstring& archive) {
    params["batch"] = "1";
    params["batch_archive"] = utf8(archive);
}

}  // namespace cmdtest
