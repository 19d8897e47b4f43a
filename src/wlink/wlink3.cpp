// libwlink3.so over libcurl. A session keeps one curl handle, so that a
// second upload to the same server reuses the connection.
#include "wlink3/wlink3.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "rkit/percent_encoding.h"

namespace {

constexpr int32_t DEFAULT_TIMEOUT_MS = 20000;

std::mutex init_lock;
int init_count = 0;

struct Session {
    CURL* curl = nullptr;
    std::wstring error_text;  // what HttpResult::error_text points to
};

void append_utf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string to_utf8(const wchar_t* text) {
    std::string out;
    if (text)
        for (; *text; ++text) append_utf8(out, static_cast<char32_t>(*text));
    return out;
}

// Texts from curl and servers are ASCII in practice; a stray byte above it
// becomes U+FFFD instead of being guessed at.
std::wstring from_ascii(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (unsigned char c : text) out += c < 0x80 ? static_cast<wchar_t>(c) : L'\uFFFD';
    return out;
}

// Users type addresses with spaces and Cyrillic in them; curl wants them
// encoded. Everything URL syntax means something by ("%", "/", "?", ...) is
// left as the caller wrote it.
std::string encode_url(const std::string& url) { return rkit::percent_encode(url, "!#$%&'()*+,/:;=?@[]"); }

std::wstring http_status_text(long status, const std::string& status_line) {
    // "HTTP/1.1 401 Unauthorized": the reason after the code. HTTP/2 has none.
    std::string reason;
    auto first = status_line.find(' ');
    if (first != std::string::npos) {
        auto second = status_line.find(' ', first + 1);
        if (second != std::string::npos) reason = status_line.substr(second + 1);
    }
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
        reason.pop_back();
    if (reason.empty()) {
        switch (status) {
            case 400: reason = "Bad Request"; break;
            case 401: reason = "Unauthorized"; break;
            case 403: reason = "Forbidden"; break;
            case 404: reason = "Not Found"; break;
            case 405: reason = "Method Not Allowed"; break;
            case 409: reason = "Conflict"; break;
            case 413: reason = "Content Too Large"; break;
            case 423: reason = "Locked"; break;
            case 500: reason = "Internal Server Error"; break;
            case 502: reason = "Bad Gateway"; break;
            case 503: reason = "Service Unavailable"; break;
            case 507: reason = "Insufficient Storage"; break;
            default: break;
        }
    }
    std::string text = "the server answered " + std::to_string(status);
    if (!reason.empty()) text += " " + reason;
    return from_ascii(text);
}

// The state of one running request, shared with curl's callbacks.
struct Transfer {
    const HttpRequest* request = nullptr;
    FILE* file = nullptr;
    uint64_t size = 0;
    bool stopped = false;  // the caller's callback answered STOP
    bool sending = false;  // once the body has started, an authentication round
                           // that sends it again does not go back to "connecting"
    std::string status_line;
    long status = 0;              // of the response whose headers are coming in
    long max_redirects = 0;       // 0: redirects are not followed
    long redirects = 0;           // followed so far
    bool too_many_redirects = false;

    bool report(int32_t phase, uint64_t done) {
        if (!request->progress) return true;
        HttpProgress progress{phase, done, size};
        if (request->progress(request->progress_context, &progress) == WL_PROGRESS_STOP) stopped = true;
        return !stopped;
    }
};

size_t read_body(char* buffer, size_t size, size_t count, void* data) {
    auto* transfer = static_cast<Transfer*>(data);
    size_t got = std::fread(buffer, 1, size * count, transfer->file);
    if (got == 0 && std::ferror(transfer->file)) return CURL_READFUNC_ABORT;
    return got;
}

// curl sends the body again after an authentication round or a redirect.
int seek_body(void* data, curl_off_t offset, int origin) {
    auto* transfer = static_cast<Transfer*>(data);
    return fseeko(transfer->file, offset, origin) == 0 ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_CANTSEEK;
}

// Whether text starts with start (given in lower case), in any case.
bool starts_with_nocase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() &&
           std::equal(start.begin(), start.end(), text.begin(),
                      [](char lower, char c) { return std::tolower(static_cast<unsigned char>(c)) == lower; });
}

// Keeps the status line, and counts the redirects the way a user would: curl
// counts its authentication rounds among them, so that a chain of five to a
// folder that asks for the login would fail at curl's limit of five.
size_t on_header(char* buffer, size_t size, size_t count, void* data) {
    auto* transfer = static_cast<Transfer*>(data);
    const size_t length = size * count;
    const std::string_view line(buffer, length);
    if (line.starts_with("HTTP/")) {
        transfer->status_line = line;
        const size_t space = line.find(' ');
        transfer->status =
            space == std::string_view::npos ? 0 : std::atol(std::string(line.substr(space + 1, 3)).c_str());
    } else if (transfer->max_redirects > 0 && transfer->status / 100 == 3 && transfer->status != 304 &&
               starts_with_nocase(line, "location:") && ++transfer->redirects > transfer->max_redirects) {
        transfer->too_many_redirects = true;
        return 0;  // stops the transfer before curl follows
    }
    return length;
}

size_t drop_response_body(char*, size_t size, size_t count, void*) { return size * count; }

int on_progress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
    auto* transfer = static_cast<Transfer*>(data);
    if (sent > 0) transfer->sending = true;
    int32_t phase = transfer->sending ? WL_PHASE_SENDING : WL_PHASE_CONNECTING;
    return transfer->report(phase, static_cast<uint64_t>(sent)) ? 0 : 1;
}

// Fills the result; returns what wlPerformHttpRequest answers for it.
int32_t fail(Session& session, HttpResult& result, int32_t code, std::wstring text,
             int32_t answer = WL_E_TRANSFER) {
    session.error_text = std::move(text);
    result.network_error = code;
    result.error_text = session.error_text.c_str();
    return answer;
}

void set_options(CURL* curl, const HttpRequest& request, const std::string& url, Transfer& transfer,
                 char* error_buffer, const std::string& login, const std::string& password, curl_slist* headers) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_buffer);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "wlink3/1.0");

    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(transfer.size));
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_body);
    curl_easy_setopt(curl, CURLOPT_READDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, seek_body);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, drop_response_body);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);

    if (!login.empty() || !password.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, login.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
        // The first request only learns the scheme the server wants; with
        // "Expect: 100-continue" (which curl adds by itself only from 1 MB on)
        // its refusal comes before the body has been sent for nothing.
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    }

    long connect_ms = request.connect_timeout_ms > 0 ? request.connect_timeout_ms : DEFAULT_TIMEOUT_MS;
    long stall_ms = request.stall_timeout_ms > 0 ? request.stall_timeout_ms : DEFAULT_TIMEOUT_MS;
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connect_ms);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, (stall_ms + 999) / 1000);

    if (request.max_redirects != 0) {
        // A server may send the body anywhere, but never the login to
        // another host, and never round and round.
        transfer.max_redirects = request.max_redirects < 0 ? WL_MAX_REDIRECTS
                                                           : std::min<long>(request.max_redirects, WL_MAX_REDIRECTS);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        // on_header keeps the limit; curl's own only backs it up, and must
        // leave room for an authentication round at every address.
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 2 * transfer.max_redirects + 1);
        curl_easy_setopt(curl, CURLOPT_UNRESTRICTED_AUTH, 0L);
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    }
}

// scheme, host and port of a URL: what decides whether curl hands it the login.
std::string origin_of(const char* url) {
    std::string origin;
    CURLU* parsed = curl_url();
    if (parsed && url && curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK) {
        for (CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
            char* text = nullptr;
            if (curl_url_get(parsed, part, &text, CURLU_DEFAULT_PORT) == CURLUE_OK) {
                for (const char* c = text; *c; ++c)
                    origin += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
                curl_free(text);
            }
            origin += '|';
        }
    }
    curl_url_cleanup(parsed);
    return origin;
}

// The refusal of a server that a redirect led to, without the login that
// only the host given gets: say so, or the user looks for a wrong password.
std::wstring refusal_text(CURL* curl, long status, const std::string& status_line, const std::string& url) {
    std::wstring text = http_status_text(status, status_line);
    long redirects = 0;
    char* last_url = nullptr;
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirects);
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &last_url);
    if (status == 401 && redirects > 0 && last_url && origin_of(last_url) != origin_of(url.c_str()))
        text += from_ascii(std::string(" after a redirect to ") + last_url +
                           "; the login is sent only to the host given");
    return text;
}

int32_t upload_file(Session& session, const HttpRequest& request, HttpResult& result) {
    std::string path = to_utf8(request.local_path);
    FILE* file = std::fopen(path.c_str(), "rb");
    struct stat info{};
    int error = 0;
    if (!file || fstat(fileno(file), &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = EISDIR;
    if (error != 0) {
        if (file) std::fclose(file);
        return fail(session, result, CURLE_READ_ERROR,
                    from_ascii("can't read ") + request.local_path + L": " + from_ascii(std::strerror(error)));
    }
    Transfer transfer;
    transfer.request = &request;
    transfer.file = file;
    transfer.size = static_cast<uint64_t>(info.st_size);

    std::string credentials = to_utf8(request.credentials);
    auto colon = credentials.find(':');
    std::string login = credentials.substr(0, colon);
    std::string password = colon == std::string::npos ? std::string() : credentials.substr(colon + 1);

    char error_buffer[CURL_ERROR_SIZE] = {};
    curl_slist* headers = curl_slist_append(nullptr, "Expect: 100-continue");
    CURL* curl = session.curl;
    curl_easy_reset(curl);
    std::string url = encode_url(to_utf8(request.url));
    set_options(curl, request, url, transfer, error_buffer, login, password, headers);

    CURLcode code = CURLE_ABORTED_BY_CALLBACK;
    if (transfer.report(WL_PHASE_CONNECTING, 0)) code = curl_easy_perform(curl);
    std::fclose(file);
    // The handle stays with the session; nothing in it may point into this
    // frame or to the freed header list.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);

    if (code == CURLE_ABORTED_BY_CALLBACK && transfer.stopped)
        return fail(session, result, CURLE_ABORTED_BY_CALLBACK, L"operation canceled", WL_E_CANCELED);
    if (transfer.too_many_redirects)
        return fail(session, result, CURLE_TOO_MANY_REDIRECTS,
                    from_ascii("too many redirects: more than " + std::to_string(transfer.max_redirects)));
    if (code != CURLE_OK) {
        std::string text = error_buffer[0] ? error_buffer : curl_easy_strerror(code);
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return fail(session, result, code, from_ascii(text));
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        return fail(session, result, static_cast<int32_t>(status),
                    refusal_text(curl, status, transfer.status_line, url));
    return WL_OK;
}

}  // namespace

extern "C" {

WL_EXPORT int32_t wlInitialize(int32_t flags) {
    if (flags != 0) return 1;
    std::lock_guard guard(init_lock);
    if (init_count == 0 && curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;
    ++init_count;
    return 0;
}

WL_EXPORT void wlUninitialize(void) {
    std::lock_guard guard(init_lock);
    if (init_count == 0) return;
    if (--init_count == 0) curl_global_cleanup();
}

WL_EXPORT int32_t wlOpenHttpSession(WlSession* session) {
    if (!session) return 1;
    *session = nullptr;
    CURL* curl = curl_easy_init();
    if (!curl) return 1;
    auto* s = new (std::nothrow) Session;
    if (!s) {
        curl_easy_cleanup(curl);
        return 1;
    }
    s->curl = curl;
    *session = s;
    return 0;
}

WL_EXPORT void wlCloseHttpSession(WlSession session) {
    auto* s = static_cast<Session*>(session);
    if (!s) return;
    curl_easy_cleanup(s->curl);
    delete s;
}

WL_EXPORT int32_t wlPerformHttpRequest(WlSession session, const HttpRequest* request, HttpResult* result) {
    if (!session || !request || !result) return WL_E_ARGUMENT;
    auto& s = *static_cast<Session*>(session);
    *result = HttpResult{};
    if (request->operation != WL_OP_UPLOAD_FILE || !request->url || !*request->url || !request->local_path) {
        return fail(s, *result, CURLE_BAD_FUNCTION_ARGUMENT,
                    from_ascii("unsupported request: operation " + std::to_string(request->operation)),
                    WL_E_ARGUMENT);
    }
    try {
        return upload_file(s, *request, *result);
    } catch (...) {
        // Nothing may leave a C interface; only allocations can throw here.
        result->network_error = CURLE_OUT_OF_MEMORY;
        result->error_text = L"out of memory";
        return WL_E_TRANSFER;
    }
}

}  // extern "C"
