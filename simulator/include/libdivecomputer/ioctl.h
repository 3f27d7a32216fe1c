/* SPDX-License-Identifier: MIT */
/* Stand-in for libdivecomputer's ioctl.h (release 0.7 on): how an ioctl request number is built.
 * Under generation A (releases 0.5 and 0.6, which had no such header) it declares nothing. */
#ifndef DC_IOCTL_H
#define DC_IOCTL_H

#ifdef DCSIM_GENERATION_B

/* Whether the request reads from the stream into data, writes data to it, or both. */
#define DC_IOCTL_DIR_NONE 0u
#define DC_IOCTL_DIR_READ 1u
#define DC_IOCTL_DIR_WRITE 2u

/* A request whose data may be of any size. */
#define DC_IOCTL_SIZE_VARIABLE 0

#define DC_IOCTL_BASE(dir, type, nr, size) \
    (((dir) << 30) | ((size) << 16) | ((type) << 8) | ((nr) << 0))

#define DC_IOCTL_IO(type, nr) DC_IOCTL_BASE(DC_IOCTL_DIR_NONE, (type), (nr), 0)
#define DC_IOCTL_IOR(type, nr, size) DC_IOCTL_BASE(DC_IOCTL_DIR_READ, (type), (nr), (size))
#define DC_IOCTL_IOW(type, nr, size) DC_IOCTL_BASE(DC_IOCTL_DIR_WRITE, (type), (nr), (size))
#define DC_IOCTL_IORW(type, nr, size) \
    DC_IOCTL_BASE(DC_IOCTL_DIR_READ | DC_IOCTL_DIR_WRITE, (type), (nr), (size))

#define DC_IOCTL_DIR(request) (((request) >> 30) & 0x0003)
#define DC_IOCTL_SIZE(request) (((request) >> 16) & 0x3FFF)
#define DC_IOCTL_TYPE(request) (((request) >> 8) & 0x00FF)
#define DC_IOCTL_NR(request) (((request) >> 0) & 0x00FF)

#endif
#endif
