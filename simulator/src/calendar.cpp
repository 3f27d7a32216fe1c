// SPDX-License-Identifier: MIT
#include "calendar.h"

namespace dcsim {
namespace {

bool isLeapYear(long year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(long year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01; eras of 400 years keep the arithmetic exact for any year.
long daysFromCivil(long year, long month, long day) {
    year -= month <= 2 ? 1 : 0;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(long days, int &year, int &month, int &day) {
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long dayOfEra = days - era * 146097;
    const long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

bool isValidDate(const dc_datetime_t &datetime) {
    return datetime.year >= 1 && datetime.year <= 9999 && datetime.month >= 1 &&
           datetime.month <= 12 && datetime.day >= 1 &&
           datetime.day <= daysInMonth(datetime.year, datetime.month);
}

dc_datetime_t addDays(const dc_datetime_t &datetime, long days) {
    dc_datetime_t moved = datetime;
    civilFromDays(daysFromCivil(datetime.year, datetime.month, datetime.day) + days, moved.year,
                  moved.month, moved.day);
    return moved;
}

}  // namespace dcsim
