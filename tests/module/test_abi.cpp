// The module as a host sees it: loaded with dlopen, driven through the two C
// exports only. (The C host program itself runs in vdbackup's tests.)
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/archives.h"
#include "vardobk/vardobk.h"

namespace {

using DispatchFn = uint32_t (*)(int32_t, void*, uint32_t, HostParamCallback, HelpCallback);
using LastErrorFn = int32_t (*)(int32_t, char*, int32_t);

TEST(ModuleAbi, DispatchAndLastErrorAsACHostCallsThem) {
    void* handle = dlopen(VARDOBK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto dispatch = reinterpret_cast<DispatchFn>(dlsym(handle, "bkDispatch"));
    const auto last_error = reinterpret_cast<LastErrorFn>(dlsym(handle, "bkLastError"));
    ASSERT_TRUE(dispatch && last_error);

    // A command that fails for want of every parameter, so the list has a message.
    ASSERT_EQ(dispatch(BK_CMD_BACKUP, nullptr, 0, nullptr, nullptr), BK_FAILED);
    const int32_t count = last_error(-5, nullptr, 0);  // any negative index: the count
    const int32_t len = last_error(0, nullptr, 0);
    ASSERT_GE(count, 1);
    ASSERT_GT(len, 4);
    // Copied like strncpy: shorter than the buffer, padded with NUL bytes up to size.
    std::string full(static_cast<size_t>(len) + 8, 'X');
    EXPECT_EQ(last_error(0, full.data(), static_cast<int32_t>(full.size())), len);
    EXPECT_EQ(full.find('\0'), static_cast<size_t>(len));
    EXPECT_EQ(full.substr(static_cast<size_t>(len)), std::string(8, '\0'));
    // A buffer the message fills or overflows: exactly size bytes, no terminator.
    std::string small(static_cast<size_t>(len) + 1, '#');
    EXPECT_EQ(last_error(0, small.data(), len), len);
    EXPECT_EQ(small, full.substr(0, static_cast<size_t>(len)) + "#");
    small.assign(8, '#');
    for (const int32_t size : {4, 0, -3}) EXPECT_EQ(last_error(0, small.data(), size), len) << size;
    EXPECT_EQ(small, full.substr(0, 4) + "####");
    EXPECT_TRUE(last_error(count, small.data(), 8) == -1 && last_error(count + 100, nullptr, 0) == -1);

    // An unknown command fails and empties the list.
    EXPECT_EQ(dispatch(7, nullptr, 0, nullptr, nullptr), BK_FAILED);
    EXPECT_EQ(last_error(-1, nullptr, 0), 0);
    EXPECT_EQ(last_error(0, nullptr, 0), -1);
    dlclose(handle);
}

TEST(ModuleAbi, OnlyTheDocumentedInterfaceLeavesTheLibrary) {
    // Beside the C exports, the command-line classes of the backup executable,
    // their type information and vtables, and the two functions that make and fill them.
    const std::regex allowed("bkDispatch|bkLastError|_ZN2bk18IBkCommandLineInfo.*|_ZNK?2bk21BkCommandLineInfoImpl.*|"
                             "_ZT[ISV]N2bk(18IBkCommandLineInfo|21BkCommandLineInfoImpl)E|"
                             "_ZN2bk24factoryBkCommandLineInfoEv|_ZN2bk22WinappParseCommandLine.*");
    std::istringstream symbols(bktest::shell("nm -D --defined-only " VARDOBK_LIBRARY));
    std::set<std::string> ours;
    for (std::string address, kind, name; symbols >> address >> kind >> name;) {
        EXPECT_TRUE(std::regex_match(name, allowed)) << "unexpected export " << name;
        ours.insert(name);
    }
    for (const char* needed : {"_ZN2bk24factoryBkCommandLineInfoEv", "bkDispatch", "bkLastError"})
        EXPECT_TRUE(ours.count(needed)) << needed;
}

}  // namespace
