/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's iterator.h. */
#ifndef DC_ITERATOR_H
#define DC_ITERATOR_H

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dc_iterator_t dc_iterator_t;

/* item is the address of the handle to fill; DC_STATUS_DONE at the end. */
dc_status_t dc_iterator_next(dc_iterator_t *iterator, void *item);
dc_status_t dc_iterator_free(dc_iterator_t *iterator);

#ifdef __cplusplus
}
#endif
#endif
