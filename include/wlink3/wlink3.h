/* libwlink3.so: a small HTTP library over libcurl with a plain C interface.
 *
 * Callers load it at run time (dlopen) and look up the five entry points by
 * name; the WL_FN_* typedefs below are the types to cast them to. All texts
 * are wide strings (wchar_t, UTF-32 on Linux); URLs and credentials are sent
 * as UTF-8, file paths are opened as UTF-8.
 *
 * One session runs one request at a time; the progress callback is called on
 * the thread that called wlPerformHttpRequest. */
#ifndef WLINK3_WLINK3_H
#define WLINK3_WLINK3_H

#include <stdint.h>
#include <wchar.h>

#if defined(WLINK3_BUILDING)
#  define WL_EXPORT __attribute__((visibility("default")))
#else
#  define WL_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's file name, as dlopen is given it. */
#define WL_LIBRARY_NAME "libwlink3.so"

/* HttpRequest::operation: PUT the local file at local_path to url (WebDAV).
 * Success is any 2xx answer (201 Created, 204 No Content, ...). */
#define WL_OP_UPLOAD_FILE 32

/* Results of wlPerformHttpRequest. */
#define WL_OK 0            /* done */
#define WL_E_ARGUMENT 1    /* a null pointer, no URL or an unknown operation */
#define WL_E_TRANSFER 2    /* the request failed: see HttpResult */
#define WL_E_CANCELED 4    /* the progress callback answered WL_PROGRESS_STOP */

/* HttpProgress::phase. */
#define WL_PHASE_RECEIVING 3
#define WL_PHASE_CONNECTING 4 /* no byte of the body has gone yet */
#define WL_PHASE_SENDING 5    /* bytes_done of bytes_total sent */

/* The most redirects a request follows, whatever it asks for: a loop or a
 * long chain fails with CURLcode 47. */
#define WL_MAX_REDIRECTS 5

/* Answers of the progress callback. */
#define WL_PROGRESS_CONTINUE 0
#define WL_PROGRESS_STOP 1

typedef struct HttpProgress {
    int32_t phase;
    uint64_t bytes_done;
    uint64_t bytes_total; /* 0 when unknown */
} HttpProgress;

/* Called while a request runs: at its start, on every step of the transfer
 * and at least once a second while it waits, so that a stop is noticed. */
typedef int32_t (*WlProgressCallback)(void* context, const HttpProgress* progress);

/* Zero-fill, then set what the operation needs. */
typedef struct HttpRequest {
    int32_t operation;         /* WL_OP_* */
    const wchar_t* url;        /* http:// or https://; spaces and non-ASCII characters
                                  are percent-encoded, everything else is sent as given */
    const wchar_t* local_path; /* the file to send */
    const wchar_t* credentials; /* "login:password"; null or empty: none. The scheme
                                   (Basic or Digest) is the one the server asks for */
    int32_t connect_timeout_ms; /* the TCP and TLS connection must be up within this;
                                   0: 20000 */
    int32_t stall_timeout_ms;   /* the request fails when no byte moves for this long
                                   (rounded up to whole seconds); 0: 20000 */
    int32_t max_redirects;      /* redirects followed, at most WL_MAX_REDIRECTS; negative:
                                   that many, 0: none. Only http and https are followed;
                                   the body is sent again to the new address, the
                                   credentials only to the same scheme, host and port */
    WlProgressCallback progress; /* may be null */
    void* progress_context;
} HttpRequest;

/* Zero-filled by the caller; filled by wlPerformHttpRequest. */
typedef struct HttpResult {
    /* 0 on success; otherwise the HTTP status when the server answered with an
     * error (401, 404, 507, ...), or else libcurl's CURLcode (6: host not found,
     * 7: cannot connect, 28: timed out, 60: certificate not trusted, 26: the
     * local file cannot be read, ...). */
    int32_t network_error;
    /* A readable English text of the failure, or null on success. Owned by the
     * session; valid until its next request or its close. */
    const wchar_t* error_text;
} HttpResult;

typedef void* WlSession;

/* flags must be 0. Returns 0 when ready. Calls nest: each successful call is
 * paired with one wlUninitialize. */
WL_EXPORT int32_t wlInitialize(int32_t flags);
WL_EXPORT void wlUninitialize(void);
/* Returns 0 and a session in *session, or non-zero. */
WL_EXPORT int32_t wlOpenHttpSession(WlSession* session);
WL_EXPORT void wlCloseHttpSession(WlSession session);
/* Returns WL_OK, WL_E_CANCELED or a failure (details in *result). */
WL_EXPORT int32_t wlPerformHttpRequest(WlSession session, const HttpRequest* request,
                                       HttpResult* result);

typedef int32_t (*WL_FN_INITIALIZE)(int32_t);
typedef void (*WL_FN_UNINITIALIZE)(void);
typedef int32_t (*WL_FN_OPEN_SESSION)(WlSession*);
typedef void (*WL_FN_CLOSE_SESSION)(WlSession);
typedef int32_t (*WL_FN_PERFORM_REQUEST)(WlSession, const HttpRequest*, HttpResult*);

#ifdef __cplusplus
}
#endif

#endif /* WLINK3_WLINK3_H */
