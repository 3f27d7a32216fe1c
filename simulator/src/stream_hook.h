// SPDX-License-Identifier: MIT
// A test's hook on every call a custom stream makes to the application (dcsim_set_stream_hook),
// so that a test can act at the N-th of them.
#ifndef DCSIM_STREAM_HOOK_H
#define DCSIM_STREAM_HOOK_H

namespace dcsim {

using StreamHook = void (*)(void *userdata);

void setStreamHook(StreamHook hook, void *userdata) noexcept;
// Calls the hook, when one is set.
void runStreamHook() noexcept;

}  // namespace dcsim

#endif
