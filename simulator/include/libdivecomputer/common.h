/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's common.h (status codes, device families and,
 * from release 0.7 on, transports). */
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

#ifdef DCSIM_GENERATION_B
/* From release 0.7 on a descriptor lists the set of transports a model supports. */
typedef enum dc_transport_t {
    DC_TRANSPORT_NONE = 0,
    DC_TRANSPORT_SERIAL = (1 << 0),
    DC_TRANSPORT_USB = (1 << 1),
    DC_TRANSPORT_USBHID = (1 << 2),
    DC_TRANSPORT_IRDA = (1 << 3),
    DC_TRANSPORT_BLUETOOTH = (1 << 4),
    DC_TRANSPORT_BLE = (1 << 5)
} dc_transport_t;
#endif

#ifdef __cplusplus
}
#endif
#endif
