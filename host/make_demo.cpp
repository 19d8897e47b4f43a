// Makes the folder of a small demo host: an accounting database, DBF-like
// data files, printed forms, the backup settings and the host profile that
// vdbackup answers the module from.
//
//   vardobk_demo_data FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/host_params.h"
#include "rkit/text.h"
#include "settings/host_profile.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

namespace fs = std::filesystem;

namespace {

void write_bytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A DBF-looking table: a header and fixed-width records of account movements.
std::string dbf_table(unsigned seed, int rows) {
    std::mt19937 random(seed);
    std::string bytes("\x03\x7e\x0c\x05", 4);
    bytes.resize(32, '\0');
    for (int row = 0; row < rows; ++row) {
        char record[64];
        std::snprintf(record, sizeof record, " %06d%-10s%12.2f%-8s\r", row,
                      (random() % 2 ? "60.01" : "62.02"), (random() % 10000000) / 100.0, "20261205");
        bytes += record;
    }
    bytes += '\x1a';
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 64;
    }
    const fs::path root = fs::absolute(argv[1]);
    fs::create_directories(root);
    const fs::path data = root / "data";
    const fs::path forms = root / "forms";

    write_bytes(data / "Учёт 2026.shp", std::string("SHP1") + dbf_table(1, 50));
    write_bytes(data / "dbf" / "accounts.dbf", dbf_table(2, 400));
    write_bytes(data / "dbf" / "movements.dbf", dbf_table(3, 3000));
    write_bytes(data / "dbf" / "partners.dbf", dbf_table(4, 200));
    write_bytes(data / "dbf" / "archive" / "2025.dbf", dbf_table(5, 1000));
    write_bytes(data / "dbf" / "scratch.tmp", "temporary, never saved\n");
    write_bytes(forms / "Счёт-фактура.frm", "FORM invoice\n");
    write_bytes(forms / "Акт сверки.frm", "FORM reconciliation\n");
    fs::create_directories(root / "program");

    bk::BackupSettings settings;
    settings.backup_folder = L"backups";
    settings.default_keeptime = 30;
    settings.filename_template = L"demo_%DATE%_%TIME%";

    bk::FileGroup tables;
    tables.basic_folder = L"ДИР_DBF";
    tables.include_mask = L"*.dbf";
    tables.flags = bk::GROUP_RECURSIVE;
    tables.comment = L"Таблицы учёта";
    settings.file_groups.push_back(tables);

    bk::FileGroup printed;
    printed.basic_folder = L"ДИР_БЛАНКОВ";
    printed.include_mask = L"*.frm";
    printed.comment = L"Бланки";
    printed.components = {L"forms"};
    settings.file_groups.push_back(printed);

    bk::SingleFile database;
    database.path = L"ТЕК_SHP";
    database.comment = L"Текущая база";
    settings.single_files.push_back(database);

    settings.components.push_back({L"forms", L"Бланки документов"});
    bk::write_settings_file((root / "backup_config.xml").wstring(), settings);

    const std::wstring d = data.wstring(), r = root.wstring(), p = (root / "program").wstring();
    bk::HostProfile profile = {
        {"exe_path", p},           {"vdl_path", p},                {"db_path", d},
        {"dbf_path", d + L"/dbf"}, {"blw_path", forms.wstring()},  {"exe_fname", L"demo_host"},
        {"network", L"0"},         {"ver_type", L"8.1"},           {"ver_family", L"prof"},
        {"workplace", L"1"},       {"username", L"Бухгалтер"},
    };
    // The database's files and their folders lie in data; every other folder is the root.
    for (const bk::FileLocationKey& file : bk::file_location_keys()) {
        const std::string kind(file.key, 3);  // shp_path: the .shp file in the folder of shp_dir_path
        profile[kind + "_dir_path"] = d;
        profile[file.key] = d + L"/Учёт 2026." + rkit::char_to_wide(kind);
    }
    for (const bk::BasicFolderKey& folder : bk::basic_folder_keys()) profile.insert({folder.key, r});
    bk::write_host_profile((root / bk::HOST_PROFILE_NAME).wstring(), profile);
    std::printf("demo host made in %s\n", root.c_str());
    return 0;
}
