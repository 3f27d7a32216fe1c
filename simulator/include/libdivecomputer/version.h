/* Stand-in for libdivecomputer's version.h: the simulator presents release 0.6 (generation A)
 * or, built with DCSIM_GENERATION_B, release 0.9. */
#ifndef DC_VERSION_H
#define DC_VERSION_H

#ifdef DCSIM_GENERATION_B
#define DC_VERSION "0.9.0-dcsim"
#define DC_VERSION_MAJOR 0
#define DC_VERSION_MINOR 9
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
