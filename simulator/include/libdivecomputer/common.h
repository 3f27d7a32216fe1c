/* Stand-in for libdivecomputer's common.h (status codes and device families). */
#ifndef DC_COMMON_H
#define DC_COMMON_H

#ifdef __cplusplus
extern "C" {
#endif

typedef enum dc_status_t {
    DC_STATUS_SUCCESS = 0,
    DC_STATUS_DONE = 1,
    DC_STATUS_UNSUPPORTED = -1,
    DC_STATUS_INVALIDARGS = -2,
    DC_STATUS_NOMEMORY = -3,
    DC_STATUS_NODEVICE = -4,
    DC_STATUS_NOACCESS = -5,
    DC_STATUS_IO = -6,
    DC_STATUS_TIMEOUT = -7,
    DC_STATUS_PROTOCOL = -8,
    DC_STATUS_DATAFORMAT = -9,
    DC_STATUS_CANCELLED = -10
} dc_status_t;

/* The simulator emulates every device with one family. */
typedef enum dc_family_t { DC_FAMILY_NULL = 0 } dc_family_t;

#ifdef __cplusplus
}
#endif
#endif
