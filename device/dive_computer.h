// SPDX-License-Identifier: MIT
// The dive computer chosen for one download: its selection name, port, libdivecomputer context and
// matching descriptor.
#pragma once

#include "base/libdivecomputer_handles.h"
#include "device/libdivecomputer_log.h"

#include <string>
#include <utility>

namespace divebridge {

// Looks for the first descriptor whose "vendor product" or product equals `name`, ignoring the
// case of ASCII letters. Answers the failing status of the iteration, or success with the match
// (none when nothing matches).
std::pair<dc_status_t, DescriptorHandle> findDescriptor(const std::string &name);

class DiveComputer {
  public:
    // vendor and port may be null. What the download asks of the application goes to
    // `application` (null: it asks nothing), libdivecomputer's log on this dive computer's
    // context among it. Raises Exception when the context cannot be created or the descriptors
    // cannot be searched, UnknownDeviceException when none matches.
    DiveComputer(const char *vendor, const char *model, const char *port,
                 Application *application = nullptr);

    DiveComputer(const DiveComputer &) = delete;
    DiveComputer &operator=(const DiveComputer &) = delete;

    const char *portText() const { return port; }
    Application &application() const { return asked; }
    dc_context_t *contextHandle() const { return context.get(); }
    dc_descriptor_t *descriptorHandle() const { return descriptor.get(); }
    // What a callback on this dive computer's context raised: it stops the calls made on it.
    CallbackFailure &callbackFailure() const { return failure; }

  private:
    // Members are released in reverse order: descriptor, context (which may log while it goes),
    // log, failure, name.
    std::string name;
    const char *port;  // borrowed from the caller, who keeps it valid until the download ends
    Application &asked;
    mutable CallbackFailure failure;
    ContextLog log;
    ContextHandle context;
    DescriptorHandle descriptor;
};

}  // namespace divebridge
