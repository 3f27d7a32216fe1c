// SPDX-License-Identifier: MIT
// A BLE link through BlueZ, put together from its parts: the bus, the search for the device, the
// connection to it and its GATT data channel. The link hands each of BlueZ's signals to the part
// it concerns, and closes them in turn.
#include "device/ble/bluez/bluez_link.h"

#include "device/ble/bluez/bluez_bus.h"
#include "device/ble/bluez/bluez_connection.h"
#include "device/ble/bluez/bluez_device_search.h"
#include "device/ble/bluez/bluez_gatt_channel.h"
#include "device/ble/bluez/bluez_opening.h"

namespace divebridge {
namespace {

class BlueZLink final : public BleLink, private BlueZSignals {
  public:
    explicit BlueZLink(const StopRequest &stop)
        : bus(*this, stop), search(bus), connection(bus, queue), channel(bus, queue) {
        bus.start();
    }
    ~BlueZLink() override { close(); }

    BlueZLink(const BlueZLink &) = delete;
    BlueZLink &operator=(const BlueZLink &) = delete;

    void connectTo(const BleTarget &target);

    const std::string &name() const override { return device.name; }
    const std::string &address() const override { return device.address; }
    dc_status_t write(const unsigned char *data, std::size_t size) override {
        return channel.write(data, size);
    }
    dc_status_t read(const std::string &uuid, Bytes &value) override {
        return channel.read(uuid, value);
    }
    bool usesCredits() const override { return channel.usesCredits(); }
    dc_status_t grantCredits(unsigned char credits) override {
        return channel.grantCredits(credits);
    }
    void close() noexcept override;

  private:
    BlueZObjects managedObjects(const std::string &what);
    std::string choosePoweredAdapter(const BlueZObjects &objects);
    void learnName(const BlueZObjects &objects, const std::string &adapter);

    void propertiesChanged(const std::string &path, const std::string &interface,
                           const BlueZProperties &changed) override;
    void interfacesAdded(const std::string &path, const BlueZInterfaces &interfaces) override;
    void interfacesRemoved(const std::string &path) override;
    void busLost() override;

    BlueZBus bus;  // first in, last out: the parts' proxies go before it
    BlueZDeviceSearch search;
    BlueZConnection connection;
    BlueZGattChannel channel;
    std::unique_ptr<sdbus::IProxy> root;
    BlueZDevice device;
    bool closed = false;
};

BlueZObjects BlueZLink::managedObjects(const std::string &what) {
    AwaitedCall<BlueZObjects> call;
    const CallOutcome outcome = bus.call(
        call, root->callMethodAsync("GetManagedObjects").onInterface(objectManagerInterface),
        callTime);
    if (outcome.end == WaitEnd::Failed &&
        (outcome.error.rfind("org.freedesktop.DBus.Error.ServiceUnknown", 0) == 0 ||
         outcome.error.rfind("org.freedesktop.DBus.Error.NameHasNoOwner", 0) == 0)) {
        failOpening(DC_STATUS_NODEVICE, "BlueZ is not running (no org.bluez on the system D-Bus)");
    }
    requireReply(outcome, what);
    return std::get<0>(call.results());
}

std::string BlueZLink::choosePoweredAdapter(const BlueZObjects &objects) {
    const std::vector<BlueZAdapter> adapters = adaptersOf(objects);
    if (adapters.empty()) {
        failOpening(DC_STATUS_NODEVICE, "this computer has no Bluetooth adapter");
    }
    for (const BlueZAdapter &adapter : adapters) {
        if (adapter.powered) {
            return adapter.path;
        }
    }
    failOpening(DC_STATUS_NODEVICE, "no Bluetooth adapter is powered on");
}

// BlueZ may learn the name only while connecting; some backends need it.
void BlueZLink::learnName(const BlueZObjects &objects, const std::string &adapter) {
    for (const BlueZDevice &listed : devicesOf(objects, adapter)) {
        if (listed.path == device.path && !listed.name.empty()) {
            device.name = listed.name;
        }
    }
}

void BlueZLink::connectTo(const BleTarget &target) {
    try {
        root = bus.proxy("/");
        const BlueZObjects objects = managedObjects("asking BlueZ for its adapters");
        const std::string adapter = choosePoweredAdapter(objects);
        device = search.find(target, objects, adapter);
        connection.open(device);
        const BlueZObjects connected = managedObjects("listing the device's services");
        learnName(connected, adapter);
        channel.open(gattServicesOf(connected, device.path), device.address);
    } catch (const sdbus::Error &error) {
        failOpening(DC_STATUS_IO,
                    "D-Bus failed (" + error.getName() + ": " + error.getMessage() + ")");
    }
}

// Undoes what the link did, whatever a stop has asked: notifications stop at once, and the link is
// left for BlueZ to take down, without waiting the seconds that takes.
void BlueZLink::close() noexcept {
    if (closed) {
        return;
    }
    closed = true;
    channel.close();
    connection.close();
    bus.leave();
    queue.loseLink();
}

void BlueZLink::propertiesChanged(const std::string &path, const std::string &interface,
                                  const BlueZProperties &changed) {
    if (interface == gattCharacteristicInterface) {
        channel.valueChanged(path, changed);
    } else if (interface == deviceInterface) {
        connection.deviceChanged(path, changed);
        search.heard(path, changed);
    }
}

void BlueZLink::interfacesAdded(const std::string &path, const BlueZInterfaces &interfaces) {
    search.added(path, interfaces);
}

void BlueZLink::interfacesRemoved(const std::string &path) {
    connection.deviceRemoved(path);
}

void BlueZLink::busLost() {
    connection.busLost();
}

}  // namespace

std::unique_ptr<BleLink> openBlueZLink(const BleTarget &target, const StopRequest &stop) {
    auto link = std::make_unique<BlueZLink>(stop);
    link->connectTo(target);
    return link;
}

}  // namespace divebridge
