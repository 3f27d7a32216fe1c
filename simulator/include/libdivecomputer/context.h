/* Stand-in for libdivecomputer's context.h. */
#ifndef DC_CONTEXT_H
#define DC_CONTEXT_H

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dc_context_t dc_context_t;

dc_status_t dc_context_new(dc_context_t **context);
dc_status_t dc_context_free(dc_context_t *context);

#ifdef __cplusplus
}
#endif
#endif
