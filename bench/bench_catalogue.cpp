// update_catalogue on a folder whose catalogue holds 10,000 records of four
// databases made over seven years, with the week and month rules on. Goal:
// under 300 ms. Two catalogues: a steady one, where earlier backups already
// deleted what had expired, and a heavy one, where a quarter of the records
// expire at once and their archives are deleted. The baseline, measured in
// the same run, is loading and saving the same file with pugixml alone: the
// least any update has to do.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <pugixml.hpp>

#include "catalogue/catalogue.h"

namespace fs = std::filesystem;

namespace {

constexpr int records = 10000;
constexpr double budget_ms = 300;

enum Kind { steady = 0, heavy = 1 };
const char* const kind_names[] = {"steady", "heavy"};

rkit::timestamp start() {
    rkit::timestamp t;
    t.put(rkit::date(15, 6, 2024), rkit::time(18, 0, 0));
    return t;
}

class Folder {
public:
    explicit Folder(Kind kind) {
        path_ = fs::temp_directory_path() /
                ("vdk_bench_catalogue_" + std::to_string(::getpid()) + "_" + kind_names[kind]);
        fs::create_directories(path_);
        const wchar_t* bases[] = {L"main.shp", L"filial.shp", L"Склад.shp", L"archive.shp"};
        const int heavy_keeps[] = {bk::KEEP_FOREVER, 3650, 1825, 7};
        bk::Catalogue c;
        rkit::timestamp time = start();
        for (int i = 0; i < records; ++i) {
            bk::BackupRecord r;
            r.time = time;
            time -= rkit::time_period(0, 6, 7);
            if (kind == heavy)
                r.keeptime = heavy_keeps[i % 4];
            else  // the last week's backups kept for 7 days, 9 expired ones, the rest long
                r.keeptime = i < 28 || i % 1000 == 0 ? 7 : i % 4 == 0 ? bk::KEEP_FOREVER : 3650;
            r.filename = L"vd_backup_" + std::to_wstring(i) + L".7z";
            r.comment = L"Автоматическое копирование при выходе";
            r.identity.ver_type = L"7.2, 7.3";
            r.identity.ver_family = L"pro";
            r.identity.workplace = i % 16;
            r.identity.dbname = bases[(i / 3) % 4];
            r.identity.username = L"Иванов";
            r.identity.computer = L"buh-" + std::to_wstring(i % 16);
            c.push_back(std::move(r));
        }
        bk::write_catalogue(catalogue(), c);
        std::ifstream in(path_ / "backup_list.xml", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        original_ = s.str();
    }
    ~Folder() { fs::remove_all(path_); }

    const fs::path& path() const { return path_; }
    std::wstring catalogue() const { return bk::catalogue_path(path_.wstring()); }
    void restore() const {
        std::ofstream out(path_ / "backup_list.xml", std::ios::binary | std::ios::trunc);
        out << original_;
    }

private:
    fs::path path_;
    std::string original_;
};

Folder& folder(Kind kind) {
    static Folder steady_folder(steady), heavy_folder(heavy);
    return kind == steady ? steady_folder : heavy_folder;
}

void BM_baseline_pugixml_load_save(benchmark::State& state) {
    const Folder& f = folder(static_cast<Kind>(state.range(0)));
    const std::string file = (f.path() / "backup_list.xml").string();
    const std::string copy = (f.path() / "baseline.xml").string();
    for (auto _ : state) {
        pugi::xml_document doc;
        doc.load_file(file.c_str());
        doc.save_file(copy.c_str(), "", pugi::format_raw);
    }
    state.SetLabel(kind_names[state.range(0)]);
}

void BM_update_catalogue(benchmark::State& state) {
    const Folder& f = folder(static_cast<Kind>(state.range(0)));
    bk::BackupSettings settings;
    settings.options = bk::OPT_KEEP_LAST_OF_WEEK | bk::OPT_KEEP_LAST_OF_MONTH;
    settings.expired_limit = 10;
    rkit::timestamp now = start();
    now += rkit::time_period(0, 12, 0);
    bk::BackupRecord made;
    made.time = now;
    made.keeptime = 7;
    made.filename = L"vd_backup_new.7z";
    for (auto _ : state) {
        state.PauseTiming();
        f.restore();
        state.ResumeTiming();
        bk::update_catalogue(settings, f.path().wstring(), now, made);
    }
    bk::Catalogue after;
    bk::read_catalogue(f.catalogue(), after);
    state.counters["records_after"] = static_cast<double>(after.size());
    state.SetLabel(kind_names[state.range(0)]);
}

// The ratios need the baseline and the update of one catalogue together, so
// they are printed once every run is reported.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double ms = run.GetAdjustedRealTime();  // the unit set below
            auto& pair = results_[run.report_label];
            (run.benchmark_name().find("baseline") != std::string::npos ? pair.first : pair.second) = ms;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [label, times] : results_) {
            const auto [base_ms, update_ms] = times;
            if (base_ms <= 0 || update_ms <= 0) continue;
            std::printf("update_catalogue, %s catalogue of %d records: %.1f ms = %.1f x baseline (%.1f ms) = "
                        "%.2f of the %.0f ms goal: %s\n",
                        label.c_str(), records, update_ms, update_ms / base_ms, base_ms, update_ms / budget_ms,
                        budget_ms, update_ms < budget_ms ? "met" : "NOT MET");
        }
    }

private:
    std::map<std::string, std::pair<double, double>> results_;
};

}  // namespace

BENCHMARK(BM_baseline_pugixml_load_save)->Arg(steady)->Arg(heavy)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_update_catalogue)->Arg(steady)->Arg(heavy)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
