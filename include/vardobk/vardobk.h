/* The C interface of the backup and restore module.
 *
 * A host loads libvardobk.so, calls bkDispatch to run one command to its end
 * and reads the messages of that command with bkLastError. The host passes no
 * structures: the module asks for named parameters through HostParamCallback. */
#ifndef VARDOBK_VARDOBK_H
#define VARDOBK_VARDOBK_H

#include <stdint.h>

#if defined(_WIN32)
#  define BK_CALL __stdcall
#  if defined(VARDOBK_BUILDING)
#    define BK_EXPORT __declspec(dllexport)
#  else
#    define BK_EXPORT __declspec(dllimport)
#  endif
#else
#  define BK_CALL
#  define BK_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Commands, the first argument of bkDispatch. */
#define BK_CMD_BACKUP 1      /* create a backup */
#define BK_CMD_RESTORE 2     /* restore from a backup */
#define BK_CMD_SETTINGS 3    /* edit the backup settings */
#define BK_CMD_END_OF_WORK 4 /* hand over to the backup executable */

/* Result codes of bkDispatch and of every command. */
#define BK_DONE 0u     /* the command did its work, or all checks passed */
#define BK_NOT_DONE 1u /* nothing done, nothing wrong */
#define BK_FAILED 2u   /* failed: the messages are in bkLastError */

/* Flag bits of bkDispatch. */
#define BKF_INTERACTIVE 0x1u
#define BKF_AUTOMATIC 0x2u
#define BKF_CHECK_ONLY 0x4u
#define BKF_EXTERNAL 0x8u
#define BKF_DB_CHANGE 0x10u

/* The kind of an automatic event lives in the top byte of the flags. */
#define BKF_EVENT_MASK 0xFF000000u
#define BKF_EVENT_SHIFT 24
#define BK_EVENT_NONE 0x00u     /* a call made by the user */
#define BK_EVENT_CLOCK 0x01u    /* by the clock */
#define BK_EVENT_ENTERING 0x02u /* on entering the program or a database */
#define BK_EVENT_LEAVING 0x03u  /* on leaving it */
#define BKF_EVENT_KIND(flags) (((uint32_t)(flags) & BKF_EVENT_MASK) >> BKF_EVENT_SHIFT)
#define BKF_MAKE_EVENT(kind) (((uint32_t)(kind) << BKF_EVENT_SHIFT) & BKF_EVENT_MASK)

/* Answers one named parameter: -1 when the host has none of that name,
 * otherwise the length of the value in bytes, of which at most size bytes
 * are written into buffer. */
typedef int32_t(BK_CALL *HostParamCallback)(const char *key, char *buffer, int32_t size);

/* Shows the help topic of a key; the module ignores what it returns. */
typedef void(BK_CALL *HelpCallback)(const char *key);

/* Runs one command. parent is the host's native window id, or null. */
BK_EXPORT uint32_t BK_CALL bkDispatch(int32_t command, void *parent, uint32_t flags,
                                      HostParamCallback params, HelpCallback help);

/* With a negative index: the number of messages of the last command.
 * Otherwise copies message index as strncpy does and returns its length,
 * or -1 past the end. */
BK_EXPORT int32_t BK_CALL bkLastError(int32_t index, char *buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
