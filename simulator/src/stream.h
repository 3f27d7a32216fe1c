// An open transport to an image, what a generation B device is opened on. The device shares the
// stream without owning it; closing the stream first leaves the device without a transport.
#ifndef DCSIM_STREAM_H
#define DCSIM_STREAM_H

#include "image.h"

#include <atomic>
#include <memory>

namespace dcsim {

class Stream {
  public:
    explicit Stream(std::shared_ptr<const Image> image) : image_(std::move(image)) {}

    const std::shared_ptr<const Image> &image() const { return image_; }
    bool closed() const noexcept { return closed_; }
    void close() noexcept { closed_ = true; }

  private:
    std::shared_ptr<const Image> image_;
    std::atomic<bool> closed_{false};
};

}  // namespace dcsim

#endif
