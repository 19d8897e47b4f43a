/* A libwlink3.so that has every entry point but fails to start: wlInitialize
 * returns INIT_RESULT and wlOpenHttpSession OPEN_RESULT, as CMake sets them. */
#include <stdint.h>

int32_t wlInitialize(int32_t flags) { (void)flags; return INIT_RESULT; }
void wlUninitialize(void) {}
int32_t wlOpenHttpSession(void** session) { *session = 0; return OPEN_RESULT; }
void wlCloseHttpSession(void* session) { (void)session; }
int32_t wlPerformHttpRequest(void* session, const void* request, void* result) {
    (void)session, (void)request, (void)result;
    return 1;
}
