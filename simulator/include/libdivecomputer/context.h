/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's context.h. */
#ifndef DC_CONTEXT_H
#define DC_CONTEXT_H

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dc_context_t dc_context_t;

typedef enum dc_loglevel_t {
    DC_LOGLEVEL_NONE = 0,
    DC_LOGLEVEL_ERROR = 1,
    DC_LOGLEVEL_WARNING = 2,
    DC_LOGLEVEL_INFO = 3,
    DC_LOGLEVEL_DEBUG = 4,
    DC_LOGLEVEL_ALL = 5
} dc_loglevel_t;

/* Called for each line a context logs at or below its level, on the thread that logs it. */
typedef void (*dc_logfunc_t)(dc_context_t *context, dc_loglevel_t loglevel, const char *file,
                             unsigned int line, const char *function, const char *message,
                             void *userdata);

dc_status_t dc_context_new(dc_context_t **context);
dc_status_t dc_context_free(dc_context_t *context);
/* A new context logs warnings and errors to standard error. */
dc_status_t dc_context_set_loglevel(dc_context_t *context, dc_loglevel_t loglevel);
/* A NULL function logs nothing. */
dc_status_t dc_context_set_logfunc(dc_context_t *context, dc_logfunc_t logfunc, void *userdata);

#ifdef __cplusplus
}
#endif
#endif
