/* A minimal host written in C: loads libvardobk.so with dlopen, runs one
 * command and prints what bkLastError hands back. It shows that the module is
 * usable through its plain C interface alone.
 *
 *   vardobk_host_smoke [-l LIBRARY] COMMAND [FLAGS] [KEY=VALUE ...]
 */
#include <dlfcn.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "vardobk/vardobk.h"

typedef uint32_t (*dispatch_fn)(int32_t, void *, uint32_t, HostParamCallback, HelpCallback);
typedef int32_t (*last_error_fn)(int32_t, char *, int32_t);

static char **param_args;
static int param_count;

static int32_t answer_param(const char *key, char *buffer, int32_t size) {
    size_t key_len = strlen(key);
    for (int i = 0; i < param_count; ++i) {
        const char *arg = param_args[i];
        if (strncmp(arg, key, key_len) == 0 && arg[key_len] == '=') {
            const char *value = arg + key_len + 1;
            int32_t len = (int32_t)strlen(value);
            memcpy(buffer, value, (size_t)(len < size ? len : size));
            return len;
        }
    }
    return -1;
}

static void show_help_topic(const char *key) { printf("help: %s\n", key); }

/* The library beside this program's lib/ folder: build/bin/../lib. */
static void default_library(char *out, size_t size) {
    char exe[PATH_MAX - 32];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        snprintf(out, size, "libvardobk.so");
        return;
    }
    exe[n] = 0;
    char *slash = strrchr(exe, '/');
    if (slash) *slash = 0;
    snprintf(out, size, "%s/../lib/libvardobk.so", exe);
}

int main(int argc, char **argv) {
    char library[PATH_MAX];
    default_library(library, sizeof library);
    int arg = 1;
    if (arg + 1 < argc && strcmp(argv[arg], "-l") == 0) {
        snprintf(library, sizeof library, "%s", argv[arg + 1]);
        arg += 2;
    }
    if (arg >= argc) {
        fprintf(stderr, "usage: %s [-l LIBRARY] COMMAND [FLAGS] [KEY=VALUE ...]\n", argv[0]);
        return 64;
    }
    int32_t command = (int32_t)strtol(argv[arg++], NULL, 0);
    uint32_t flags = 0;
    if (arg < argc && strchr(argv[arg], '=') == NULL) flags = (uint32_t)strtoul(argv[arg++], NULL, 0);
    param_args = argv + arg;
    param_count = argc - arg;

    void *module = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        fprintf(stderr, "cannot load %s: %s\n", library, dlerror());
        return 70;
    }
    dispatch_fn dispatch = (dispatch_fn)dlsym(module, "bkDispatch");
    last_error_fn last_error = (last_error_fn)dlsym(module, "bkLastError");
    if (!dispatch || !last_error) {
        fprintf(stderr, "%s lacks bkDispatch or bkLastError\n", library);
        return 70;
    }

    uint32_t result = dispatch(command, NULL, flags, answer_param, show_help_topic);
    int32_t count = last_error(-1, NULL, 0);
    printf("result: %u\nmessages: %d\n", result, count);
    for (int32_t i = 0; i < count; ++i) {
        int32_t len = last_error(i, NULL, 0);
        char *text = calloc((size_t)len + 1, 1);
        last_error(i, text, len + 1);
        printf("message %d: %s\n", i, text);
        free(text);
    }
    dlclose(module);
    return (int)result;
}
