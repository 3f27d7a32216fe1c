/* Stand-in for libdivecomputer's version.h: the simulator presents release 0.6. */
#ifndef DC_VERSION_H
#define DC_VERSION_H

#define DC_VERSION "0.6.0-dcsim"
#define DC_VERSION_MAJOR 0
#define DC_VERSION_MINOR 6
#define DC_VERSION_MICRO 0

#define DC_VERSION_CHECK(major, minor, micro)                                                     \
    (DC_VERSION_MAJOR > (major) || (DC_VERSION_MAJOR == (major) && DC_VERSION_MINOR > (minor)) || \
     (DC_VERSION_MAJOR == (major) && DC_VERSION_MINOR == (minor) && DC_VERSION_MICRO >= (micro)))

#endif
