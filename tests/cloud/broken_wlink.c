/* A libwlink3.so that has every entry point but fails to start: built once
 * with FAIL_INIT (wlInitialize refuses) and once with FAIL_OPEN (no session). */
#include <stdint.h>

int32_t wlInitialize(int32_t flags) {
    (void)flags;
#ifdef FAIL_INIT
    return 1;
#else
    return 0;
#endif
}

void wlUninitialize(void) {}

int32_t wlOpenHttpSession(void** session) {
    *session = 0;
#ifdef FAIL_OPEN
    return 1;
#else
    return 0;
#endif
}

void wlCloseHttpSession(void* session) { (void)session; }

int32_t wlPerformHttpRequest(void* session, const void* request, void* result) {
    (void)session;
    (void)request;
    (void)result;
    return 1;
}
