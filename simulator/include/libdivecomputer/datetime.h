/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's datetime.h. */
#ifndef DC_DATETIME_H
#define DC_DATETIME_H

#ifdef __cplusplus
extern "C" {
#endif

#define DC_TIMEZONE_NONE ((int)0x80000000u)

typedef long long dc_ticks_t;

typedef struct dc_datetime_t {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
    int timezone; /* seconds east of UTC, or DC_TIMEZONE_NONE */
} dc_datetime_t;

#ifdef __cplusplus
}
#endif
#endif
