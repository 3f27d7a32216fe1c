// SPDX-License-Identifier: MIT
// Calendar arithmetic on libdivecomputer dates (proleptic Gregorian calendar).
#ifndef DCSIM_CALENDAR_H
#define DCSIM_CALENDAR_H

#include <libdivecomputer/datetime.h>

namespace dcsim {

bool isValidDate(const dc_datetime_t &datetime);
// The same time of day, days later; datetime must be a valid date.
dc_datetime_t addDays(const dc_datetime_t &datetime, long days);

}  // namespace dcsim

#endif
