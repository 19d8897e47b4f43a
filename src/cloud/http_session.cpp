#include "cloud/http_session.h"

#include <dlfcn.h>

#include <mutex>
#include <stdexcept>

#include "rkit/files.h"
#include "rkit/path.h"

namespace bk {

namespace {

std::mutex path_lock;
std::wstring library_override;

std::wstring library_override_path() {
    std::lock_guard guard(path_lock);
    return library_override;
}

// The folder of the file this code was loaded from: libvardobk.so, or the
// program when the module is linked into one.
std::wstring module_folder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&module_folder), &info) == 0 || !info.dli_fname || !*info.dli_fname)
        return {};
    return rkit::extract_dir(rkit::from_native_path(info.dli_fname));
}

// The host may have a libwlink3.so of its own somewhere on the search path;
// the one shipped beside the module is the one it was built with.
void* load_library(const std::wstring& override_path) {
    const int mode = RTLD_NOW | RTLD_LOCAL;
    if (!override_path.empty()) return dlopen(rkit::native_path(override_path).c_str(), mode);
    std::wstring folder = module_folder();
    if (!folder.empty()) {
        std::wstring beside = rkit::concat_path(folder, L"" WL_LIBRARY_NAME);
        if (rkit::file_exists(beside))
            if (void* library = dlopen(rkit::native_path(beside).c_str(), mode)) return library;
    }
    return dlopen(WL_LIBRARY_NAME, mode);
}

template <typename Fn>
Fn find(void* library, const char* name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

}  // namespace

void set_http_library_path(const std::wstring& path) {
    std::lock_guard guard(path_lock);
    library_override = path;
}

HttpSession::HttpSession() {
    std::wstring override_path = library_override_path();
    std::string name = override_path.empty() ? WL_LIBRARY_NAME : rkit::native_path(override_path);
    library_ = load_library(override_path);
    if (!library_) throw std::runtime_error("can't load " + name);
    try {
        open(name);
    } catch (...) {
        close();
        throw;
    }
}

HttpSession::~HttpSession() { close(); }

void HttpSession::open(const std::string& name) {
    auto initialize = find<WL_FN_INITIALIZE>(library_, "wlInitialize");
    uninitialize_ = find<WL_FN_UNINITIALIZE>(library_, "wlUninitialize");
    if (!initialize || !uninitialize_) throw std::runtime_error("invalid interface of " + name);
    if (initialize(0) != 0) throw std::runtime_error(name + " initialization failure");

    auto open_session = find<WL_FN_OPEN_SESSION>(library_, "wlOpenHttpSession");
    close_session_ = find<WL_FN_CLOSE_SESSION>(library_, "wlCloseHttpSession");
    perform_ = find<WL_FN_PERFORM_REQUEST>(library_, "wlPerformHttpRequest");
    if (!open_session || !close_session_ || !perform_) throw std::runtime_error("invalid interface of " + name);
    if (open_session(&session_) != 0) {
        session_ = nullptr;
        throw std::runtime_error("can't open http session");
    }
}

void HttpSession::close() noexcept {
    if (session_ && close_session_) close_session_(session_);
    session_ = nullptr;
    if (uninitialize_) uninitialize_();
    uninitialize_ = nullptr;
    if (library_) dlclose(library_);
    library_ = nullptr;
}

int32_t HttpSession::perform(const HttpRequest& request, HttpResult& result) {
    return perform_(session_, &request, &result);
}

}  // namespace bk
