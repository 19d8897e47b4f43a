#include "files/gather.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <numeric>
#include <stdexcept>
#include <string_view>

#include "core/string_table.h"
#include "files/masks.h"
#include "rkit/file_enumerator.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bk {

void gather_status_adapter_::search_started() { set_status_text(status_, load_string(ids::STATUS_SEARCH_STARTED)); }

void gather_status_adapter_::refresh() { set_status_text(status_, std::wstring()); }

void gather_status_adapter_::searching_folder(const std::wstring& folder, const std::wstring&) {
    if (!status_) return;
    set_status_text(status_, load_string(ids::STATUS_SEARCHING_FOLDER) + L"\n" + folder);
}

void gather_status_adapter_::exclusions_started() { set_status_text(status_, load_string(ids::STATUS_EXCLUSIONS)); }

bool is_excluded_by_components(const std::vector<std::wstring>& components,
                               const std::vector<std::wstring>& excluded) {
    if (components.empty()) return false;
    return std::all_of(components.begin(), components.end(), [&](const std::wstring& c) {
        return std::find(excluded.begin(), excluded.end(), c) != excluded.end();
    });
}

namespace {

// Paths are gathered by the hundred thousand, so the path order and the path
// identity below avoid building upper-cased or normalised copies per file.

wchar_t upper(wchar_t c) {
    if (c < 0x80) return c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c;
    return rkit::to_upper(c);
}

// The path order of a + "/" (when slash_a) against b + "/" (when slash_b):
// the first difference of the upper-cased forms decides; with none, the
// shorter comes first, and two that differ only in case go by their first
// exact difference. The "/" marks a folder's name among the names of a
// folder: all the paths below the folder sort as the name with "/" does.
int compare_upper_first(std::wstring_view a, bool slash_a, std::wstring_view b, bool slash_b) {
    const size_t n = std::min(a.size(), b.size());
    int exact = 0;
    for (size_t i = 0; i < n; ++i) {
        const wchar_t ca = a[i], cb = b[i];
        if (ca == cb) continue;
        const wchar_t ua = upper(ca), ub = upper(cb);
        if (ua != ub) return ua < ub ? -1 : 1;
        if (exact == 0) exact = ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) {
        if (slash_a != slash_b) return slash_a ? 1 : -1;
        return exact;
    }
    // The longer one goes on with a character that is not "/" (names hold
    // none), which the other's "/" precedes, or the other simply ends.
    if (a.size() < b.size()) return slash_a && upper(b[n]) < L'/' ? 1 : -1;
    return slash_b && upper(a[n]) < L'/' ? -1 : 1;
}

int compare_paths(std::wstring_view a, std::wstring_view b) { return compare_upper_first(a, false, b, false); }

bool less_path(std::wstring_view a, std::wstring_view b) { return compare_paths(a, b) < 0; }

// A path that normalising would leave unchanged: absolute, "/" only, no empty,
// "." or ".." parts, no trailing separator. For such paths exact comparison is
// the path identity.
bool is_normal(std::wstring_view path) {
    if (path.empty() || path[0] != L'/') return false;
    size_t start = 1;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != L'/') {
            if (path[i] == L'\\') return false;
            continue;
        }
        const size_t length = i - start;
        if (length == 0) return path.size() == 1;
        if (length <= 2 && path[start] == L'.' && path[i - 1] == L'.') return false;
        start = i + 1;
    }
    return true;
}

bool same_path(const std::wstring& a, const std::wstring& b) {
    if (a == b) return true;
    if (is_normal(a) && is_normal(b)) return false;
    return rkit::equal_path(a, b);
}

// The identity of a file's path: the path itself when already normal,
// otherwise its normalised form, kept in store.
std::wstring_view identity(const std::wstring& path, std::deque<std::wstring>& store) {
    if (is_normal(path)) return path;
    return store.emplace_back(rkit::normalize_path(path));
}

// Sized exactly: a hundred thousand of these are kept.
std::wstring join(const std::wstring& folder, const std::wstring& name) {
    std::wstring path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (folder != L"/") path += L'/';
    path += name;
    return path;
}

// A subfolder that a recursive search does not enter: name (a pattern) met
// directly in dir.
struct ExcludedSubfolder {
    std::wstring dir;  // normalised
    std::wstring name;
};

bool subfolder_name_matches(const std::wstring& pattern, const std::wstring& name) {
    if (pattern == L"*") return true;
    if (pattern.find_first_of(L"*?") == std::wstring::npos) return rkit::equal_no_case(pattern, name);
    return match_pattern(pattern, name);
}

// The path layer takes "\" as a separator, and names that are not valid UTF-8
// come back with U+FFFD in place of the bad bytes: such names cannot be opened
// through it, so they are left out rather than handed to the archiver under a
// path that names another file or none.
bool addressable(const std::wstring& folder, const std::wstring& name) {
    if (name.find(L'\\') != std::wstring::npos) return false;
    if (name.find(wchar_t(0xFFFD)) == std::wstring::npos) return true;
    const std::wstring full = join(folder, name);
    return rkit::file_exists(full) || rkit::dir_exists(full);
}

bool same_upper(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && upper(a[i]) != upper(b[i])) return false;
    return true;
}

// The name patterns searched in one folder: those of the include masks and
// those of the exclude masks whose folder part names that folder.
struct FolderPatterns {
    std::wstring folder;  // normalised
    std::vector<std::wstring> include;
    std::vector<std::wstring> exclude;
};

bool matches_any(const std::vector<std::wstring>& patterns, const std::wstring& name) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::wstring& p) {
        return p == L"*" || p == L"*.*" || rkit::match_file_pattern(p, name);
    });
}

std::wstring joined(const std::vector<std::wstring>& patterns) {
    std::wstring text;
    for (const auto& p : patterns) text += (text.empty() ? L"" : L";") + p;
    return text;
}

// Searches one folder (and, when recursive, its subfolders) for the files
// that match its include patterns and those that match its exclude
// patterns, appending them in path order: one walk serves every mask of
// the folder, with the results of searching it once per mask. The entries
// of a folder are taken in the path order of their names, a subfolder's name
// followed by "/", so that the walk itself yields the order; only subfolders
// whose names differ just in case break it.
class FolderSearch {
public:
    FolderSearch(const FolderPatterns& patterns, bool recursive, const std::vector<ExcludedSubfolder>& excluded,
                 IFileGatheringStatus* status, PathSet& taken, PathSet& left_out, UnreadFolders* unread)
        : patterns_(patterns), recursive_(recursive), excluded_(excluded), status_(status), taken_(taken),
          left_out_(left_out), unread_(unread) {
        for (const auto* list : {&patterns.include, &patterns.exclude})
            for (const auto& p : *list)
                if (p.find_first_of(L"\\/") != std::wstring::npos) throw std::logic_error("invalid filename mask");
    }

    void run() { search(patterns_.folder); }

    // Whether two subfolders' contents interleave in the path order.
    bool out_of_order() const { return out_of_order_; }

private:
    struct Entry {
        std::wstring name;
        bool dir;
        bool taken;  // matches an include pattern and no exclude pattern
    };

    void search(const std::wstring& folder) {
        if (status_) status_->searching_folder(folder, pattern_text());
        // One listing of every name serves the files and the subfolders, by
        // the same rules as listing the folder with each pattern.
        std::vector<Entry> entries;
        rkit::file_enumerator e(join(folder, L"*"));
        if (e.error() != 0 && e.error() != ENOENT && unread_) unread_->push_back({folder, e.error()});
        for (; !e.done(); e.next()) {
            std::wstring name = e.filename();
            if (!addressable(folder, name)) continue;
            if (e.is_dir()) {
                // A link to a folder is not entered: it could lead back up the
                // tree or out of the group's folder.
                if (recursive_ && !e.is_symlink() && !is_excluded(folder, name))
                    entries.push_back({std::move(name), true, false});
                continue;
            }
            const bool left_out = matches_any(patterns_.exclude, name);
            const bool taken = !left_out && matches_any(patterns_.include, name);
            if (!taken && !left_out) continue;
            // A link is saved as the file it points to; a dangling link, or a
            // link to something that is not a regular file, has nothing to save.
            if (e.is_symlink() && !rkit::file_exists(join(folder, name))) continue;
            entries.push_back({std::move(name), false, taken});
        }
        const auto less = [](const Entry& a, const Entry& b) {
            return compare_upper_first(a.name, a.dir, b.name, b.dir) < 0;
        };
        // The listing comes in exact name order, which is often this one already.
        if (!std::is_sorted(entries.begin(), entries.end(), less)) std::sort(entries.begin(), entries.end(), less);
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry& entry = entries[i];
            if (!entry.dir) {
                (entry.taken ? taken_ : left_out_).push_back(join(folder, entry.name));
                continue;
            }
            if (i > 0 && entries[i - 1].dir && same_upper(entries[i - 1].name, entry.name)) out_of_order_ = true;
            search(join(folder, entry.name));
        }
    }

    const std::wstring& pattern_text() {
        if (pattern_text_.empty()) pattern_text_ = joined(patterns_.include.empty() ? patterns_.exclude : patterns_.include);
        return pattern_text_;
    }

    bool is_excluded(const std::wstring& folder, const std::wstring& name) const {
        return std::any_of(excluded_.begin(), excluded_.end(), [&](const ExcludedSubfolder& x) {
            return x.dir == folder && subfolder_name_matches(x.name, name);
        });
    }

    const FolderPatterns& patterns_;
    bool recursive_;
    const std::vector<ExcludedSubfolder>& excluded_;
    IFileGatheringStatus* status_;
    PathSet& taken_;
    PathSet& left_out_;
    UnreadFolders* unread_;
    bool out_of_order_ = false;
    std::wstring pattern_text_;
};

// Each mask validated, in order, and its folder resolved; masks that name
// the same folder share one search.
void add_masks(const std::wstring& group_folder, const std::vector<MaskEntry>& masks, bool include,
               std::vector<FolderPatterns>& folders) {
    for (const auto& mask : masks) {
        validate_mask(mask);
        std::wstring folder = absolute_path(group_folder, mask.dir);
        auto it = std::find_if(folders.begin(), folders.end(), [&](const FolderPatterns& f) { return f.folder == folder; });
        if (it == folders.end()) it = folders.insert(folders.end(), FolderPatterns{std::move(folder), {}, {}});
        (include ? it->include : it->exclude).push_back(mask.name);
    }
}

// Appends the run [from, end) of paths into the ordered rest of paths.
void merge_run(PathSet& paths, size_t from, bool out_of_order) {
    const auto begin = paths.begin() + static_cast<std::ptrdiff_t>(from);
    if (out_of_order) std::sort(begin, paths.end(), less_path);
    std::inplace_merge(paths.begin(), begin, paths.end(), less_path);
}

// relative_path against one base for the many files of a group. The search
// builds normal paths, so a file below the base is cut from its full path
// directly; anything else goes the general way.
class RelativeTo {
public:
    explicit RelativeTo(const std::wstring& base) : base_(base) {
        if (!base.empty()) prefix_ = rkit::normalize_path(base);
    }

    std::wstring operator()(const std::wstring& full) const {
        if (!prefix_.empty()) {
            if (prefix_ == L"/" && full.size() > 1) return full.substr(1);
            if (full.size() > prefix_.size() + 1 && full[prefix_.size()] == L'/' && full.starts_with(prefix_))
                return full.substr(prefix_.size() + 1);
        }
        return relative_path(base_, full);
    }

private:
    std::wstring base_;
    std::wstring prefix_;
};

// A relative path with the group's extract folder put before the file name.
// A group's files come folder by folder, so the folder part is worked out
// once per folder rather than once per file.
class UnderExtractFolder {
public:
    explicit UnderExtractFolder(const std::wstring& extract_folder) : extract_folder_(extract_folder) {}

    std::wstring operator()(std::wstring rel) {
        if (extract_folder_.empty()) return rel;
        const size_t sep = rel.find_last_of(L"/\\");
        const size_t name_start = sep == std::wstring::npos ? 0 : sep + 1;
        if (!has_head_ || std::wstring_view(rel).substr(0, name_start) != dir_) {
            dir_.assign(rel, 0, name_start);
            head_ = rkit::concat_path(rkit::extract_dir(rel), extract_folder_);
            // What concat_path does before adding a name without separators.
            while (head_.size() > 1 && head_.back() == L'/') head_.pop_back();
            if (head_ != L"/") head_ += L'/';
            has_head_ = true;
        }
        std::wstring out;
        out.reserve(head_.size() + rel.size() - name_start);
        out += head_;
        out.append(rel, name_start);
        return out;
    }

private:
    const std::wstring& extract_folder_;
    bool has_head_ = false;
    std::wstring dir_;   // the folder part (with its separator) of the last path
    std::wstring head_;  // what goes before its file name
};

// A group's folder that is not there is skipped without a word; one that is
// there but cannot be reached is a folder whose files are not saved.
bool group_folder_exists(const std::wstring& folder, UnreadFolders* unread) {
    struct stat st {};
    if (::stat(rkit::native_path(folder).c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (errno != ENOENT && errno != ENOTDIR && unread) unread->push_back({folder, errno});
    return false;
}

void add_group_files(const FileGroup& group, const BasicFolders& folders, IWorkerStatus* status,
                     std::vector<FileRecord>& records, UnreadFolders* unread) {
    // The records are relative to the group's basic folder as written, also
    // for a group beside or above it ("..\other"): a restore puts them back
    // through that same basic folder.
    const std::wstring base = resolve_folder(group.basic_folder, folders);
    const std::wstring group_folder = absolute_path(base, group.relative_path);
    if (!group_folder_exists(group_folder, unread)) return;
    gather_status_adapter_ adapter(status);
    PathSet paths = gather_group_files(group_folder, group.include_mask, group.exclude_mask,
                                       (group.flags & GROUP_RECURSIVE) != 0, &adapter, unread);
    const RelativeTo relative(base);
    UnderExtractFolder under_extract_folder(group.extract_folder);
    const size_t needed = records.size() + paths.size();
    if (needed > records.capacity()) records.reserve(std::max(needed, 2 * records.capacity()));
    for (auto& path : paths) {
        std::wstring rel = under_extract_folder(relative(path));
        records.push_back({group.basic_folder, std::move(rel), std::move(path), 1});
    }
}

void add_single_file(const SingleFile& file, const BasicFolders& folders, const FileLocations& locations,
                     const std::vector<std::wstring>& excluded_components, std::vector<FileRecord>& records,
                     UnreadFolders* unread) {
    const std::wstring full = resolve_file(file.path, folders, locations);
    if (full.empty()) return;
    if (is_excluded_by_components(file.components, excluded_components)) return;
    struct stat st {};
    if (::stat(rkit::native_path(full).c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR && unread) unread->push_back({rkit::extract_dir(full), errno});
        return;
    }
    if (!S_ISREG(st.st_mode)) return;
    const bool by_macro = std::any_of(locations.begin(), locations.end(),
                                      [&](const FileLocation& l) { return l.file_macro == file.path; });
    std::wstring base = by_macro ? file.path : rkit::extract_dir(full);
    std::wstring rel = rkit::extract_name_ext(full);
    if (!file.extract_folder.empty()) rel = rkit::concat_path(file.extract_folder, rel);
    records.push_back({std::move(base), std::move(rel), full, 1});
}

// The identities of the records' paths, one per record. The first
// known_normal records are known to hold normal paths (a group's files).
struct PathIds {
    std::deque<std::wstring> store;
    std::vector<std::wstring_view> ids;

    explicit PathIds(const std::vector<FileRecord>& records, size_t known_normal = 0) {
        ids.reserve(records.size());
        for (size_t i = 0; i < records.size(); ++i)
            ids.push_back(i < known_normal ? std::wstring_view(records[i].path) : identity(records[i].path, store));
    }
};

// A record equal to the one just before it goes: the same path, the same
// relative path and base, the same count.
// run_starts (ascending record indices) are moved along with the records.
void drop_consecutive_duplicates(std::vector<FileRecord>& records, PathIds& paths, std::vector<size_t>& run_starts) {
    size_t kept = 0;
    auto run = run_starts.begin();
    for (size_t i = 0; i < records.size(); ++i) {
        for (; run != run_starts.end() && *run == i; ++run) *run = kept;
        if (kept > 0) {
            const FileRecord& last = records[kept - 1];
            const FileRecord& r = records[i];
            if (paths.ids[kept - 1] == paths.ids[i] && last.ref_count == r.ref_count &&
                same_path(last.rel_path, r.rel_path) && same_path(last.base_symbolic_name, r.base_symbolic_name))
                continue;
        }
        if (kept != i) {
            records[kept] = std::move(records[i]);
            paths.ids[kept] = paths.ids[i];
        }
        ++kept;
    }
    records.erase(records.begin() + static_cast<std::ptrdiff_t>(kept), records.end());
    paths.ids.resize(kept);
    // A run whose records all went starts where the next one does.
    run_starts.erase(std::unique(run_starts.begin(), run_starts.end()), run_starts.end());
    while (!run_starts.empty() && run_starts.back() >= kept) run_starts.pop_back();
}

// Where the records stop ascending in path order.
std::vector<size_t> find_runs(const std::vector<std::wstring_view>& ids) {
    std::vector<size_t> run_starts;
    for (size_t i = 1; i < ids.size(); ++i)
        if (!less_path(ids[i - 1], ids[i])) run_starts.push_back(i);
    return run_starts;
}

// Record indices arranged so that the records of one file stand together,
// in record order. Each run of records (run_starts, beside the one at 0)
// ascends in path order, as a group's files do, so the list is made by
// merging the runs rather than by sorting or hashing every path.
std::vector<size_t> order_by_file(const std::vector<std::wstring_view>& ids, const std::vector<size_t>& run_starts) {
    std::vector<size_t> order(ids.size());
    std::iota(order.begin(), order.end(), size_t{0});
    const auto less = [&ids](size_t a, size_t b) {
        const int c = compare_paths(ids[a], ids[b]);
        return c < 0 || (c == 0 && a < b);
    };
    if (run_starts.size() > 16) {
        std::sort(order.begin(), order.end(), less);
        return order;
    }
    for (size_t k = 0; k < run_starts.size(); ++k) {
        const size_t end = k + 1 < run_starts.size() ? run_starts[k + 1] : order.size();
        if (run_starts[k] == 0) continue;
        std::inplace_merge(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(run_starts[k]),
                           order.begin() + static_cast<std::ptrdiff_t>(end), less);
    }
    return order;
}

// Calls f(first, last) for each file's range [first, last) of order.
template <typename F>
void for_each_file(const std::vector<std::wstring_view>& ids, const std::vector<size_t>& order, F f) {
    for (size_t first = 0; first < order.size();) {
        size_t last = first + 1;
        while (last < order.size() && ids[order[last]] == ids[order[first]]) ++last;
        f(first, last);
        first = last;
    }
}

void set_ref_counts(std::vector<FileRecord>& records, const PathIds& paths, const std::vector<size_t>& run_starts) {
    // One run holds each file once.
    if (run_starts.size() <= 1) {
        for (auto& r : records) r.ref_count = 1;
        return;
    }
    const std::vector<size_t> order = order_by_file(paths.ids, run_starts);
    for_each_file(paths.ids, order, [&](size_t first, size_t last) {
        for (size_t i = first; i < last; ++i) records[order[i]].ref_count = static_cast<int32_t>(last - first);
    });
}

}  // namespace

bool path_less(const std::wstring& a, const std::wstring& b) { return less_path(a, b); }

PathSet gather_group_files(const std::wstring& group_folder, const std::wstring& include_text,
                           const std::wstring& exclude_text, bool recursive, IFileGatheringStatus* status,
                           UnreadFolders* unread) {
    if (status) status->search_started();
    std::vector<MaskEntry> includes = parse_mask_list(include_text);
    if (includes.empty()) includes.push_back({L"", L"*.*"});
    const std::vector<MaskEntry> excludes = parse_mask_list(exclude_text);

    std::vector<ExcludedSubfolder> excluded_subfolders;
    if (recursive)
        for (const auto& mask : excludes) excluded_subfolders.push_back({absolute_path(group_folder, mask.dir), mask.name});

    std::vector<FolderPatterns> searches;
    add_masks(group_folder, includes, true, searches);
    add_masks(group_folder, excludes, false, searches);
    PathSet taken, left_out;
    for (const auto& patterns : searches) {
        const size_t taken_from = taken.size(), left_out_from = left_out.size();
        FolderSearch search(patterns, recursive, excluded_subfolders, status, taken, left_out, unread);
        search.run();
        merge_run(taken, taken_from, search.out_of_order());
        merge_run(left_out, left_out_from, search.out_of_order());
    }
    taken.erase(std::unique(taken.begin(), taken.end()), taken.end());
    left_out.erase(std::unique(left_out.begin(), left_out.end()), left_out.end());
    if (status) status->exclusions_started();

    PathSet result;
    result.reserve(taken.size());
    auto out = left_out.begin();
    for (auto& path : taken) {
        while (out != left_out.end() && less_path(*out, path)) ++out;
        if (out != left_out.end() && *out == path) continue;
        result.push_back(std::move(path));
    }
    return result;
}

std::vector<FileRecord> gather_files(const BasicFolders& folders, const FileLocations& locations,
                                     const BackupSettings& settings, IWorkerStatus* status,
                                     const std::vector<std::wstring>& excluded_components, UnreadFolders* unread) {
    std::vector<FileRecord> records;
    // Each group's files ascend in path order; each single file stands alone.
    std::vector<size_t> run_starts;
    for (const auto& group : settings.file_groups) {
        if (is_excluded_by_components(group.components, excluded_components)) continue;
        run_starts.push_back(records.size());
        add_group_files(group, folders, status, records, unread);
    }
    const size_t group_records = records.size();
    for (const auto& file : settings.single_files) {
        run_starts.push_back(records.size());
        add_single_file(file, folders, locations, excluded_components, records, unread);
    }
    PathIds paths(records, group_records);
    drop_consecutive_duplicates(records, paths, run_starts);
    set_ref_counts(records, paths, run_starts);
    return records;
}

std::vector<std::wstring> unique_paths(const std::vector<FileRecord>& records) {
    const PathIds paths(records);
    const std::vector<size_t> order = order_by_file(paths.ids, find_runs(paths.ids));
    std::vector<bool> first_of_file(records.size(), false);
    // Within a file's range the indices ascend, so its first record leads.
    for_each_file(paths.ids, order, [&](size_t first, size_t) { first_of_file[order[first]] = true; });
    std::vector<std::wstring> result;
    for (size_t i = 0; i < records.size(); ++i)
        if (first_of_file[i]) result.push_back(records[i].path);
    return result;
}

}  // namespace bk
