/* SPDX-License-Identifier: MIT */
/* Hooks of the simulated libdivecomputer for tests and tools. A real libdivecomputer has none of
 * these, so only code built against the simulator may use them. */
#ifndef DCSIM_DCSIM_H
#define DCSIM_DCSIM_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Call trace: while enabled, every libdivecomputer call appends one line (see simulator/README.md
 * for the line format). Process-wide; guarded by a mutex. */
void dcsim_trace_start(void);
void dcsim_trace_stop(void);
/* Copies the trace, NUL-terminated, into buffer when it fits; returns the trace's length. */
size_t dcsim_trace_copy(char *buffer, size_t size);

/* Handles (contexts, iterators, descriptors, devices, parsers and, under generation B, streams
 * and USB devices) created and not yet released. */
unsigned int dcsim_live_handles(void);

/* Turns the JSON form of one dive into the bytes the simulated parser reads. Returns 0 on success
 * and a negative dc_status_t for malformed JSON; the bytes are released with dcsim_free. */
/* Calls hook(userdata) before every call a custom stream (dc_custom_open) makes to the
 * application's callbacks, on the thread making it; a null hook removes it. Process-wide. */
void dcsim_set_stream_hook(void (*hook)(void *userdata), void *userdata);

int dcsim_encode_dive(const char *json, unsigned char **bytes, unsigned int *size);
void dcsim_free(void *pointer);

#ifdef __cplusplus
}
#endif
#endif
