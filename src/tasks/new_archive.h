// The archive a backup makes, from its reserved name to its place in the
// backup folder. Several workplaces may back up into one shared folder in the
// same second, and a backup may be stopped at any moment, so:
// - the name is reserved by creating it exclusively (the next free name of
//   the "x(1).7z" series when another backup holds it);
// - the archive is built in a private folder of the backup folder (".vdk-..."),
//   where nobody else can open it, and renamed over its reservation only once
//   it is complete;
// - whatever stops the backup before that removes what this backup made, and
//   nothing else;
// - what a killed backup left (a private folder, a temporary file of the
//   catalogue) is removed by the next backup once it is a day old.
#pragma once
#include <sys/types.h>

#include <string>

namespace bk {

class NewArchive {
public:
    // Makes the backup folder when it is missing (message 20137 when that
    // fails), removes old leftovers, reserves the name wanted (or the next
    // free one) and makes the private folder. Throws std::runtime_error.
    NewArchive(const std::wstring& backup_folder, const std::wstring& wanted_path);
    // Until committed: removes the archive being built, its private folder
    // and the reservation.
    ~NewArchive();
    NewArchive(const NewArchive&) = delete;
    NewArchive& operator=(const NewArchive&) = delete;

    // Where the finished archive stands: the reserved name.
    const std::wstring& path() const { return path_; }
    // Where the archive is built until then.
    const std::wstring& building() const { return building_; }

    // Gives the finished archive its mode and renames it over the
    // reservation. Throws std::runtime_error naming the file.
    void commit();
    // Removes the committed archive again: a backup that is not recorded in
    // the catalogue must not leave an archive that looks like one.
    void remove();

private:
    std::wstring path_;
    std::wstring private_folder_;
    std::wstring building_;
    mode_t mode_;
    bool committed_ = false;
};

}  // namespace bk
