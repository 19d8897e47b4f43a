// The module as a host sees it: loaded with dlopen, driven through the two C
// exports only.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "vardobk/vardobk.h"

namespace {

using DispatchFn = uint32_t (*)(int32_t, void*, uint32_t, HostParamCallback, HelpCallback);
using LastErrorFn = int32_t (*)(int32_t, char*, int32_t);

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    std::array<char, 4096> chunk{};
    while (pipe && fgets(chunk.data(), chunk.size(), pipe.get())) out += chunk.data();
    return out;
}

class ModuleAbi : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(VARDOBK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        dispatch_ = reinterpret_cast<DispatchFn>(dlsym(handle_, "bkDispatch"));
        last_error_ = reinterpret_cast<LastErrorFn>(dlsym(handle_, "bkLastError"));
        ASSERT_NE(dispatch_, nullptr);
        ASSERT_NE(last_error_, nullptr);
    }
    void TearDown() override {
        if (handle_) dlclose(handle_);
    }

    // A command that fails for want of every parameter, so the list has messages.
    void fail_a_command() {
        ASSERT_EQ(dispatch_(BK_CMD_BACKUP, nullptr, 0, nullptr, nullptr), BK_FAILED);
        ASSERT_GE(last_error_(-1, nullptr, 0), 1);
    }

    void* handle_ = nullptr;
    DispatchFn dispatch_ = nullptr;
    LastErrorFn last_error_ = nullptr;
};

TEST_F(ModuleAbi, UnknownCommandFailsWithoutMessages) {
    fail_a_command();
    EXPECT_EQ(dispatch_(7, nullptr, 0, nullptr, nullptr), BK_FAILED);
    EXPECT_EQ(last_error_(-1, nullptr, 0), 0);
    EXPECT_EQ(last_error_(0, nullptr, 0), -1);
}

TEST_F(ModuleAbi, LastErrorCopiesLikeStrncpy) {
    fail_a_command();
    const int32_t count = last_error_(-5, nullptr, 0);
    const int32_t len = last_error_(0, nullptr, 0);
    ASSERT_GT(len, 4);
    std::string full(static_cast<size_t>(len) + 8, 'X');
    EXPECT_EQ(last_error_(0, full.data(), static_cast<int32_t>(full.size())), len);
    // Shorter than the buffer: padded with NUL bytes up to size.
    for (size_t i = static_cast<size_t>(len); i < full.size(); ++i) EXPECT_EQ(full[i], '\0') << i;
    const std::string message = full.substr(0, static_cast<size_t>(len));
    EXPECT_EQ(message.find('\0'), std::string::npos);

    // Full buffer: exactly size bytes, no terminator, nothing past them.
    std::string small(8, '#');
    EXPECT_EQ(last_error_(0, small.data(), 4), len);
    EXPECT_EQ(small.substr(0, 4), message.substr(0, 4));
    EXPECT_EQ(small.substr(4), "####");

    // Exactly the message's length: still no terminator.
    std::string exact(static_cast<size_t>(len) + 1, '#');
    EXPECT_EQ(last_error_(0, exact.data(), len), len);
    EXPECT_EQ(exact.back(), '#');

    EXPECT_EQ(last_error_(0, small.data(), 0), len);
    EXPECT_EQ(last_error_(0, small.data(), -3), len);
    EXPECT_EQ(small.substr(4), "####");
    EXPECT_EQ(last_error_(count, small.data(), 8), -1);
    EXPECT_EQ(last_error_(count + 100, nullptr, 0), -1);
}

TEST_F(ModuleAbi, OnlyTheDocumentedInterfaceLeavesTheLibrary) {
    std::istringstream symbols(run("nm -D --defined-only " VARDOBK_LIBRARY));
    std::set<std::string> ours;
    std::string address, kind, name;
    while (symbols >> address >> kind >> name) ours.insert(name);
    const std::set<std::string> c_exports = {"bkDispatch", "bkLastError"};
    // The command-line classes of the backup executable, their type
    // information and vtables, and the two functions that make and fill them.
    const std::vector<std::string> cpp_prefixes = {
        "_ZN2bk18IBkCommandLineInfo",    "_ZN2bk21BkCommandLineInfoImpl",
        "_ZNK2bk21BkCommandLineInfoImpl", "_ZTIN2bk18IBkCommandLineInfoE",
        "_ZTSN2bk18IBkCommandLineInfoE", "_ZTVN2bk18IBkCommandLineInfoE",
        "_ZTIN2bk21BkCommandLineInfoImplE", "_ZTSN2bk21BkCommandLineInfoImplE",
        "_ZTVN2bk21BkCommandLineInfoImplE", "_ZN2bk24factoryBkCommandLineInfoEv",
        "_ZN2bk22WinappParseCommandLine"};
    auto allowed = [&](const std::string& symbol) {
        if (c_exports.count(symbol)) return true;
        for (const auto& prefix : cpp_prefixes)
            if (symbol.rfind(prefix, 0) == 0) return true;
        return false;
    };
    for (const auto& symbol : ours) EXPECT_TRUE(allowed(symbol)) << "unexpected export " << symbol;
    EXPECT_TRUE(ours.count("_ZN2bk24factoryBkCommandLineInfoEv"));
    EXPECT_TRUE(ours.count("bkDispatch"));
    EXPECT_TRUE(ours.count("bkLastError"));
}

TEST(HostSmoke, CHostLoadsTheModuleAndReadsItsMessages) {
    const std::string out = run(VARDOBK_HOST_SMOKE " 7");
    EXPECT_NE(out.find("result: 2\nmessages: 0\n"), std::string::npos) << out;
    const std::string failed = run(VARDOBK_HOST_SMOKE " 1");
    EXPECT_NE(failed.find("result: 2\n"), std::string::npos) << failed;
    EXPECT_NE(failed.find("message 0: "), std::string::npos) << failed;
}

}  // namespace
