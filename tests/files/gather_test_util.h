// Trees on disk and a status that records what gathering shows.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "files/gather.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "support/temp_dir.h"

namespace filestest {

namespace fs = std::filesystem;

// Creates each file (with its folders) below root; a name ending in "/" is
// an empty folder.
inline void make_tree(const fs::path& root, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        if (!name.empty() && name.back() == '/')
            fs::create_directories(root / name);
        else
            bktest::write_file(root / name, name);
    }
}

// A path as the module spells it, whatever the process locale.
inline std::wstring wide(const fs::path& p) { return rkit::from_native_path(p.string()); }

// The paths with root and its "/" cut off, so that expectations stay short.
inline std::vector<std::wstring> below(const fs::path& root, const std::vector<std::wstring>& paths) {
    const std::wstring prefix = root.wstring() + L"/";
    std::vector<std::wstring> out;
    for (const auto& p : paths) out.push_back(p.starts_with(prefix) ? p.substr(prefix.size()) : p);
    return out;
}

// Keeps every status it is shown; asks nobody. From the cancel_at-th cancel
// check on (counting from 0) it reports a cancel request.
class RecordingStatus : public bk::IWorkerStatus {
public:
    explicit RecordingStatus(int cancel_at = -1) : cancel_at_(cancel_at) {}

    bool canceled() override { return cancel_at_ >= 0 && checks_++ >= cancel_at_; }
    bk::TaskStatus get_status() override { return shown.empty() ? bk::TaskStatus{} : shown.back(); }
    void set_status(const bk::TaskStatus& status) override { shown.push_back(status); }
    int ask(const std::wstring&, uint32_t) override { return 0; }

    std::vector<bk::TaskStatus> shown;

private:
    int cancel_at_;
    int checks_ = 0;
};

}  // namespace filestest

namespace bk {

inline void PrintTo(const FileRecord& r, std::ostream* os) {
    *os << "{" << rkit::wide_to_char(r.base_symbolic_name) << " | " << rkit::wide_to_char(r.rel_path) << " | "
        << rkit::wide_to_char(r.path) << " | " << r.ref_count << "}";
}

}  // namespace bk
