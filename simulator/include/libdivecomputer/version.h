/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's version.h: the simulator presents release 0.6 (generation A),
 * 0.8 (built with DCSIM_GENERATION_B) or 0.9 (with DCSIM_GENERATION_B and DCSIM_RELEASE_0_9). */
#ifndef DC_VERSION_H
#define DC_VERSION_H

#if defined(DCSIM_RELEASE_0_9)
#define DC_VERSION "0.9.0-dcsim"
#define DC_VERSION_MAJOR 0
#define DC_VERSION_MINOR 9
#define DC_VERSION_MICRO 0
#elif defined(DCSIM_GENERATION_B)
#define DC_VERSION "0.8.0-dcsim"
#define DC_VERSION_MAJOR 0
#define DC_VERSION_MINOR 8
#define DC_VERSION_MICRO 0
#else
#define DC_VERSION "0.6.0-dcsim"
#define DC_VERSION_MAJOR 0
#define DC_VERSION_MINOR 6
#define DC_VERSION_MICRO 0
#endif

#define DC_VERSION_CHECK(major, minor, micro)                                                     \
    (DC_VERSION_MAJOR > (major) || (DC_VERSION_MAJOR == (major) && DC_VERSION_MINOR > (minor)) || \
     (DC_VERSION_MAJOR == (major) && DC_VERSION_MINOR == (minor) && DC_VERSION_MICRO >= (micro)))

#endif
