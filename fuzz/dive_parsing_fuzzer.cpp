// SPDX-License-Identifier: MIT
// The bytes of one downloaded dive, as a dive computer might deliver them, through the simulated
// parser and parseDiveData, every detail collected. Every input must end in a consistent record or
// the bridge's own Exception, with the parser released.
#include "base/native_exception.h"
#include "fuzz_support.h"
#include "parse/dive_parsing.h"
#include "simulated_dive_computer.h"

#include <dcsim/dcsim.h>

#include <climits>
#include <cstdint>

using namespace divebridge;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // Parsers are created on an open device: one, opened on an image without dives, serves the run.
    static const testing::OpenedDevice device;
    if (size > UINT_MAX) {
        return -1;
    }
    const unsigned int handles = dcsim_live_handles();
    try {
        // Every detail too: the profile's own collection runs within the detailed walk.
        const DiveRecord record =
            parseDiveData(device.handle(), data, static_cast<unsigned int>(size),
                          DetailKinds{true, true, true, true});
        fuzz::requireConsistentRecord(record);
    } catch (const Exception &) {
        // a refused dive is a sound answer
    }
    fuzz::requireHandlesReleased(handles);
    return 0;
}
