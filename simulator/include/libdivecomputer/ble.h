/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's ble.h: the ioctl requests a Bluetooth Low Energy stream answers
 * (the name from release 0.7; the access code, PIN and characteristics from 0.9) and, from 0.9,
 * GATT UUIDs. Under generation A (releases 0.5 and 0.6, which had no such header) it declares
 * nothing. */
#ifndef DC_BLE_H
#define DC_BLE_H

#ifdef DCSIM_GENERATION_B

#include "ioctl.h"

#include <stddef.h>

/* The advertised name, written NUL-terminated into a char buffer. */
#define DC_IOCTL_BLE_GET_NAME DC_IOCTL_IOR('b', 0, DC_IOCTL_SIZE_VARIABLE)

#ifdef DCSIM_RELEASE_0_9

/* The PIN the device shows, as digits written NUL-terminated into a char buffer. */
#define DC_IOCTL_BLE_GET_PINCODE DC_IOCTL_IOR('b', 1, DC_IOCTL_SIZE_VARIABLE)
/* The access code kept for this device (16 bytes), and a new one to keep. */
#define DC_IOCTL_BLE_GET_ACCESSCODE DC_IOCTL_IOR('b', 2, DC_IOCTL_SIZE_VARIABLE)
#define DC_IOCTL_BLE_SET_ACCESSCODE DC_IOCTL_IOW('b', 2, DC_IOCTL_SIZE_VARIABLE)
/* A characteristic's UUID (dc_ble_uuid_t) followed by its value. */
#define DC_IOCTL_BLE_CHARACTERISTIC_READ DC_IOCTL_IOR('b', 3, DC_IOCTL_SIZE_VARIABLE)
#define DC_IOCTL_BLE_CHARACTERISTIC_WRITE DC_IOCTL_IOW('b', 3, DC_IOCTL_SIZE_VARIABLE)

/* The text of a UUID, "00000000-0000-0000-0000-000000000000", with its terminator. */
#define DC_BLE_UUID_SIZE 37

typedef unsigned char dc_ble_uuid_t[16];

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the UUID in lower case into str; NULL when str is NULL or size below DC_BLE_UUID_SIZE. */
char *dc_ble_uuid2str(const dc_ble_uuid_t uuid, char *str, size_t size);
/* Reads "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (hex digits of either case); 0 when malformed. */
int dc_ble_str2uuid(const char *str, dc_ble_uuid_t uuid);

#ifdef __cplusplus
}
#endif

#endif
#endif
#endif
