// Reading and writing a settings file with 1,000 file groups, each with two
// components. Goal: well under 100 ms for each.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_scratch.h"
#include "settings/settings_file.h"

namespace {

bk::BackupSettings big_record() {
    bk::BackupSettings s;
    for (int i = 0; i < 1000; ++i) {
        std::wstring n = std::to_wstring(i);
        s.file_groups.push_back({L"ТЕК_ДИР", L"данные/папка_" + n, L"*.dbf;*.cdx;*.fpt", L"*.tmp;~*",
                                 i % 3 ? L"" : L"извлечь_" + n, bk::GROUP_RECURSIVE,
                                 L"Группа файлов номер " + n + L" <с разметкой & \"кавычками\">",
                                 {L"main", L"comp_" + n}});
    }
    for (int i = 0; i < 50; ++i) s.components.push_back({L"comp_" + std::to_wstring(i), L"Компонент"});
    return s;
}

void BM_WriteSettings1000Groups(benchmark::State& state) {
    const benchsupport::ScratchFolder dir;
    const std::wstring file = (dir.path() / "backup_config.xml").wstring();
    const bk::BackupSettings s = big_record();
    for (auto _ : state) bk::write_settings_file(file, s);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}
BENCHMARK(BM_WriteSettings1000Groups)->Unit(benchmark::kMillisecond);

void BM_ReadSettings1000Groups(benchmark::State& state) {
    const benchsupport::ScratchFolder dir;
    const std::wstring file = (dir.path() / "backup_config.xml").wstring();
    bk::write_settings_file(file, big_record());
    for (auto _ : state) {
        bk::BackupSettings s;
        bk::read_settings_file(file, s);
        if (s.file_groups.size() != 1000) state.SkipWithError("groups lost");
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_ReadSettings1000Groups)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
