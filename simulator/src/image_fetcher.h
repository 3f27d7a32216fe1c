// SPDX-License-Identifier: MIT
// Where a device's image comes from when its stream holds none: the dive computer sends it over
// the stream when a download starts.
#ifndef DCSIM_IMAGE_FETCHER_H
#define DCSIM_IMAGE_FETCHER_H

#include "dive_codec.h"

#include <cstdint>
#include <functional>

namespace dcsim {

class ImageFetcher {
  public:
    // Asked before each read; true stops the fetch with DC_STATUS_CANCELLED.
    using Cancelled = std::function<bool()>;
    // Told after each read: the image's bytes received so far and its size.
    using Progress = std::function<void(std::uint32_t current, std::uint32_t size)>;

    virtual ~ImageFetcher() = default;
    // The image file's bytes. Throws StatusError: the failing read's status, CANCELLED.
    virtual Bytes fetch(const Cancelled &cancelled, const Progress &progress) = 0;
};

}  // namespace dcsim

#endif
