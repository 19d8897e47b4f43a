#include <exception>
#include <unordered_set>

#include "core/host_params.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_lock.h"
#include "rkit/files.h"
#include "rkit/path.h"

namespace bk {

namespace {

// Deletes the archives of the records dropped from the catalogue, except
// where a name leads out of the backup folder (a hand-edited catalogue must
// not delete files elsewhere) or a record staying in the catalogue names the
// same file (an archive name used again). Failures are not reported.
void delete_archives(const std::wstring& folder, const Catalogue& dropped, const Catalogue& kept) {
    if (dropped.empty()) return;
    const std::wstring base = rkit::normalize_path(folder);
    const std::wstring prefix = base == L"/" ? base : base + L"/";
    std::unordered_set<std::wstring> still_listed;
    for (const BackupRecord& r : kept) still_listed.insert(rkit::normalize_path(rkit::concat_path(base, r.filename)));

    for (const BackupRecord& r : dropped) {
        std::wstring path;
        try {
            path = rkit::normalize_path(absolute_path(base, r.filename));
        } catch (const std::exception&) {
            continue;
        }
        const bool inside = path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
        if (inside && !still_listed.count(path)) rkit::file_delete(path);
    }
}

}  // namespace

void update_catalogue(const BackupSettings& settings, const std::wstring& folder, const rkit::timestamp& now,
                      const BackupRecord& record, Catalogue* eternal, IWorkerStatus* status) {
    const std::wstring path = catalogue_path(folder);
    Catalogue kept, dropped;
    {
        const CatalogueLock lock(path, status);
        Catalogue records;
        if (rkit::file_exists(path)) read_catalogue(path, records);

        if (settings.options & (OPT_KEEP_LAST_OF_WEEK | OPT_KEEP_LAST_OF_MONTH)) {
            const bool upload_eternal = (settings.options & OPT_CLOUD) && settings.cloud.eternal_only;
            extend_keep_times(settings, now, records, upload_eternal ? eternal : nullptr);
        }
        split_expired(settings, records, now, kept, dropped);
        kept.push_back(record);
        write_catalogue(path, kept);
    }
    // The archives go only once the catalogue without them is safely written:
    // a failed write leaves both the list and the archives as they were.
    delete_archives(folder, dropped, kept);
}

}  // namespace bk
