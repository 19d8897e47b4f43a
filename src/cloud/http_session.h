// The binding to the HTTP library libwlink3.so, loaded at run time: an
// HttpSession owns the loaded library and one open session of it.
#pragma once
#include <cstdint>
#include <string>

#include "wlink3/wlink3.h"

namespace bk {

class HttpSession {
public:
    // Loads the library, initialises it and opens a session. Throws
    // std::runtime_error "can't load NAME", "invalid interface of NAME",
    // "NAME initialization failure" or "can't open http session"; whatever
    // was done by then is undone.
    HttpSession();
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // wlPerformHttpRequest on the session: WL_OK, WL_E_CANCELED or a failure
    // described in result.
    int32_t perform(const HttpRequest& request, HttpResult& result);

private:
    void open(const std::string& name);
    void close() noexcept;

    void* library_ = nullptr;
    WL_FN_UNINITIALIZE uninitialize_ = nullptr;
    WL_FN_CLOSE_SESSION close_session_ = nullptr;
    WL_FN_PERFORM_REQUEST perform_ = nullptr;
    WlSession session_ = nullptr;
};

// Where HttpSession takes the library from. Normally (empty) it is
// libwlink3.so in the folder of the module itself, then the system's search
// order; tests point it at a build of their choice, or at nothing. Affects the
// sessions opened afterwards.
void set_http_library_path(const std::wstring& path);

}  // namespace bk
