// The bytes of one downloaded dive, as a dive computer might deliver them, through the simulated
// parser and parseDiveData. Every input must end in a consistent record or the bridge's own
// Exception, with the parser released.
#include "bridge/native_exception.h"
#include "device/dive_computer.h"
#include "fuzz_support.h"
#include "parse/dive_parsing.h"

#include <dcsim/dcsim.h>
#include <libdivecomputer/device.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace divebridge::fuzz {
namespace {

struct DeviceClose {
    void operator()(dc_device_t *device) const { dc_device_close(device); }
};

// The fuzz model opened on an image without dives, kept for the whole run: parsers are created
// on an open device.
class OpenedDevice {
  public:
    OpenedDevice() : computer(fuzzVendor, fuzzProduct, writeEmptyImage()) {
        dc_device_t *raw = nullptr;
        if (dc_device_open(&raw, computer.contextHandle(), computer.descriptorHandle(),
                           path.c_str()) != DC_STATUS_SUCCESS) {
            std::abort();
        }
        device.reset(raw);
    }

    dc_device_t *handle() const { return device.get(); }

  private:
    const char *writeEmptyImage() {
        path = imagePath("dive-parsing");
        const std::string image =
            std::string("{\"vendor\":\"") + fuzzVendor + "\",\"product\":\"" + fuzzProduct + "\"}";
        writeFile(path, reinterpret_cast<const unsigned char *>(image.data()), image.size());
        return path.c_str();
    }

    std::string path;
    DiveComputer computer;
    std::unique_ptr<dc_device_t, DeviceClose> device;
};

}  // namespace
}  // namespace divebridge::fuzz

using namespace divebridge;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const fuzz::OpenedDevice device;
    if (size > UINT_MAX) {
        return -1;
    }
    const unsigned int handles = dcsim_live_handles();
    try {
        const DiveRecord record =
            parseDiveData(device.handle(), data, static_cast<unsigned int>(size));
        fuzz::requireConsistentRecord(record);
    } catch (const Exception &) {
        // a refused dive is a sound answer
    }
    fuzz::requireHandlesReleased(handles);
    return 0;
}
