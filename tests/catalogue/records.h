// Building catalogue records for the tests.
#pragma once
#include <string>

#include "catalogue/catalogue.h"

namespace cattest {

inline rkit::timestamp at(int day, int month, int year, int hour = 10, int minute = 0) {
    rkit::timestamp ts;
    ts.put(rkit::date(day, month, year), rkit::time(hour, minute, 0));
    return ts;
}

inline bk::BackupRecord record(const rkit::timestamp& time, int keeptime, const std::wstring& filename,
                               const std::wstring& dbname = L"base.shp") {
    return {time, keeptime, filename, L"", {L"7.2", L"pro", 0, dbname, L"", L""}};
}

}  // namespace cattest
