// SPDX-License-Identifier: MIT
#include "device/application.h"

namespace divebridge {
namespace {

class SilentApplication final : public Application {};

}  // namespace

Application &silentApplication() {
    static SilentApplication silent;
    return silent;
}

}  // namespace divebridge
