// SPDX-License-Identifier: MIT
// The BLE link on Linux: BlueZ over the system D-Bus, through sdbus-c++. Each link has a bus
// connection of its own, whose event loop thread receives BlueZ's signals (notifications, the
// device's state, devices found by a discovery); the downloading thread makes every call and waits
// for its reply, so that a stop ends any wait within a few milliseconds.
//
// BlueZ answers Disconnect only once the link is down, 2 s after the request (its disconnect timer
// lets profiles finish), and until then answers a Connect at once with the old link, which then
// drops. So closing does not wait for that answer, and opening waits for a link this process left
// behind to go first.
#include "device/ble/bluez/bluez_link.h"
#include "base/console.h"
#include "device/ble/bluez/acquired_notifications.h"
#include "device/ble/bluez/bluez_call.h"
#include "device/ble/bluez/bluez_objects.h"

#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace divebridge {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds scanTime = 10s;
constexpr std::chrono::milliseconds connectTime = 20s;
constexpr std::chrono::milliseconds resolveTime = 10s;
constexpr std::chrono::milliseconds callTime = 5s;
constexpr std::chrono::milliseconds cleanupTime = 2s;
// BlueZ's disconnect timer, and some room for the signal that the link is down.
constexpr std::chrono::milliseconds lingerTime = 2s + 1s;
// BlueZ's word for an LE connection the controller gave up on; trying again usually works.
constexpr char abortedConnection[] = "le-connection-abort-by-local";

constexpr char propertiesInterface[] = "org.freedesktop.DBus.Properties";
constexpr char objectManagerInterface[] = "org.freedesktop.DBus.ObjectManager";

using Value = std::vector<std::uint8_t>;
using Options = std::map<std::string, sdbus::Variant>;

[[noreturn]] void failOpening(dc_status_t status, const std::string &cause) {
    throw BleOpeningFailure{status, "Error opening device: " + cause + "."};
}

// A failed, stopped or timed-out call during the opening ends it; `what` names the call.
void requireReply(const CallOutcome &outcome, const std::string &what) {
    switch (outcome.end) {
        case WaitEnd::Done:
            return;
        case WaitEnd::Stopped:
            failOpening(DC_STATUS_CANCELLED, "stopped while waiting for " + what);
        case WaitEnd::TimedOut:
            failOpening(DC_STATUS_TIMEOUT, what + " did not answer in time");
        case WaitEnd::Failed:
            if (outcome.error.rfind("org.freedesktop.DBus.Error.AccessDenied", 0) == 0) {
                failOpening(DC_STATUS_NOACCESS,
                            "this user may not use Bluetooth (" + outcome.error + ")");
            }
            failOpening(DC_STATUS_IO, what + " failed (" + outcome.error + ")");
    }
}

std::string seconds(std::chrono::milliseconds time) {
    return std::to_string(time.count() / 1000) + " s";
}

// The devices whose link this process asked BlueZ to take down, by object path, with the time of
// the request.
class LingeringLinks {
  public:
    void add(const std::string &device) {
        const std::lock_guard<std::mutex> lock(mutex);
        asked[device] = std::chrono::steady_clock::now();
    }
    // How long the old link may still linger; zero when none does.
    std::chrono::milliseconds remaining(const std::string &device) {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto found = asked.find(device);
        if (found == asked.end()) {
            return 0ms;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            found->second + lingerTime - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            asked.erase(found);
            return 0ms;
        }
        return left;
    }
    void remove(const std::string &device) {
        const std::lock_guard<std::mutex> lock(mutex);
        asked.erase(device);
    }

  private:
    std::mutex mutex;
    std::map<std::string, std::chrono::steady_clock::time_point> asked;
};

LingeringLinks lingeringLinks;

class BlueZLink final : public BleLink {
  public:
    explicit BlueZLink(const StopRequest &stop) : stop(stop) {}
    ~BlueZLink() override { close(); }

    BlueZLink(const BlueZLink &) = delete;
    BlueZLink &operator=(const BlueZLink &) = delete;

    void connectTo(const BleTarget &target);

    const std::string &name() const override { return device.name; }
    const std::string &address() const override { return device.address; }
    dc_status_t write(const unsigned char *data, std::size_t size) override;
    dc_status_t read(const std::string &uuid, Bytes &value) override;
    bool usesCredits() const override { return channel.creditsIn.has_value(); }
    dc_status_t grantCredits(unsigned char credits) override;
    void close() noexcept override;

  private:
    void joinBus();
    void runEventLoop() noexcept;
    void loseBus() noexcept;
    BlueZObjects managedObjects(const std::string &what);
    BlueZAdapter choosePoweredAdapter(const BlueZObjects &objects);
    void findDevice(const BleTarget &target, const BlueZObjects &objects);
    void discover(const BleTarget &target);
    bool takeArrivalMatching(const BleTarget &target);
    void connect();
    void awaitOldLinkGone();
    CallOutcome callConnect(std::chrono::steady_clock::time_point deadline);
    void awaitServices();
    void openDataChannel();
    bool acquireNotifications(const GattCharacteristic &characteristic);
    std::unique_ptr<sdbus::IProxy> startNotifications(const GattCharacteristic &characteristic);
    dc_status_t writeValue(sdbus::IProxy &characteristic, const Value &value, const char *type);

    void onPropertiesChanged(sdbus::Message &signal);
    void onDataValue(Value value, std::unique_lock<std::mutex> &lock);
    void endDataRead(std::optional<Value> read);
    void heardDevice(const std::string &path, const BlueZProperties &changed);
    void onInterfacesAdded(sdbus::Message &signal);
    void onInterfacesRemoved(sdbus::Message &signal);
    template <typename Handler>
    sdbus::Slot subscribe(const char *interface, const char *member, Handler handler);

    // Waits until `ready` holds (checked under the state lock), at most `time`; false when the
    // time ran out or a stop was asked for.
    template <typename Ready>
    bool waitFor(std::chrono::milliseconds time, Ready ready);

    const StopRequest stop;
    std::unique_ptr<sdbus::IConnection> bus;
    std::thread eventLoop;
    std::atomic<bool> busLost{false};
    std::vector<sdbus::Slot> subscriptions;
    std::unique_ptr<sdbus::IProxy> root;
    std::unique_ptr<sdbus::IProxy> adapterProxy;
    std::unique_ptr<sdbus::IProxy> deviceProxy;
    std::unique_ptr<sdbus::IProxy> dataIn;
    std::unique_ptr<sdbus::IProxy> creditsIn;
    std::vector<std::unique_ptr<sdbus::IProxy>> notifying;
    std::unique_ptr<AcquiredNotifications> acquired;

    std::string adapterPath;
    BlueZDevice device;
    std::vector<GattService> services;
    DataChannel channel;
    std::uint16_t mtu = 0;
    bool discovering = false;
    bool connectionAsked = false;
    bool closed = false;

    // What BlueZ's signals tell, guarded by stateMutex.
    std::mutex stateMutex;
    std::condition_variable stateChanged;
    std::string watchedDevice;  // the object path of the device connected to
    std::string watchedData;    // the object path of the data characteristic
    std::string watchedAdapter;
    bool looking = true;               // the device is still being looked for
    std::deque<BlueZDevice> arrivals;  // devices heard by a discovery, in the order heard
    std::map<std::string, BlueZDevice> known;
    bool linkUp = false;              // Connect answered: a drop now loses the link
    unsigned int disconnections = 0;  // times the device was seen to go down
    bool servicesResolved = false;
    bool connectionLost = false;
    // A ReadValue of the data characteristic is echoed as a PropertiesChanged(Value), just as a
    // notification is: values heard during the read wait here, and the echo is left out.
    bool readingData = false;
    std::vector<Value> heardWhileReading;
    std::optional<Value> echo;
};

// The event loop thread calls the handlers: what they raise must not leave them.
template <typename Handler>
sdbus::Slot BlueZLink::subscribe(const char *interface, const char *member, Handler handler) {
    const std::string match = std::string("type='signal',sender='") + bluezService +
                              "',interface='" + interface + "',member='" + member + "'";
    return bus->addMatch(match, [this, handler](sdbus::Message &signal) {
        try {
            (this->*handler)(signal);
        } catch (...) {
            // a signal BlueZ did not form as documented is not ours to act on
        }
    });
}

template <typename Ready>
bool BlueZLink::waitFor(std::chrono::milliseconds time, Ready ready) {
    std::unique_lock<std::mutex> lock(stateMutex);
    return waitUntil(lock, stateChanged, time, &stop, [&]() -> std::optional<WaitEnd> {
               return ready() ? std::optional<WaitEnd>(WaitEnd::Done) : std::nullopt;
           }) == WaitEnd::Done;
}

void BlueZLink::joinBus() {
    try {
        bus = sdbus::createSystemBusConnection();
    } catch (const sdbus::Error &error) {
        failOpening(DC_STATUS_NODEVICE, "the system D-Bus cannot be reached (" + error.getName() +
                                            ": " + error.getMessage() + ")");
    }
    subscriptions.push_back(
        subscribe(propertiesInterface, "PropertiesChanged", &BlueZLink::onPropertiesChanged));
    subscriptions.push_back(
        subscribe(objectManagerInterface, "InterfacesAdded", &BlueZLink::onInterfacesAdded));
    subscriptions.push_back(
        subscribe(objectManagerInterface, "InterfacesRemoved", &BlueZLink::onInterfacesRemoved));
    eventLoop = std::thread([this] { runEventLoop(); });
    root = sdbus::createProxy(*bus, bluezService, "/");
}

// sdbus-c++'s loop raises when the bus connection breaks (the bus daemon restarted): that ends the
// link, not the process.
void BlueZLink::runEventLoop() noexcept {
    try {
        bus->enterEventLoop();
    } catch (...) {
        loseBus();
    }
}

void BlueZLink::loseBus() noexcept {
    busLost = true;
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        connectionLost = true;
    }
    queue.loseLink();
    stateChanged.notify_all();
}

BlueZObjects BlueZLink::managedObjects(const std::string &what) {
    AwaitedCall<BlueZObjects> call;
    const CallOutcome outcome =
        call.run(root->callMethodAsync("GetManagedObjects").onInterface(objectManagerInterface),
                 callTime, &stop, busLost);
    if (outcome.end == WaitEnd::Failed &&
        (outcome.error.rfind("org.freedesktop.DBus.Error.ServiceUnknown", 0) == 0 ||
         outcome.error.rfind("org.freedesktop.DBus.Error.NameHasNoOwner", 0) == 0)) {
        failOpening(DC_STATUS_NODEVICE, "BlueZ is not running (no org.bluez on the system D-Bus)");
    }
    requireReply(outcome, what);
    return std::get<0>(call.results());
}

BlueZAdapter BlueZLink::choosePoweredAdapter(const BlueZObjects &objects) {
    const std::vector<BlueZAdapter> adapters = adaptersOf(objects);
    if (adapters.empty()) {
        failOpening(DC_STATUS_NODEVICE, "this computer has no Bluetooth adapter");
    }
    for (const BlueZAdapter &adapter : adapters) {
        if (adapter.powered) {
            return adapter;
        }
    }
    failOpening(DC_STATUS_NODEVICE, "no Bluetooth adapter is powered on");
}

// A device BlueZ knows already serves when it is the address asked for, or, found by name, when
// a discovery running now hears it or it is connected already (left so by an application that
// ended without closing it); otherwise a discovery of our own looks for it.
void BlueZLink::findDevice(const BleTarget &target, const BlueZObjects &objects) {
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        for (BlueZDevice &candidate : devicesOf(objects, adapterPath)) {
            known[candidate.path] = candidate;
            if (!target.address.empty() || candidate.seenNow || candidate.connected) {
                arrivals.push_back(candidate);
            }
        }
    }
    if (!takeArrivalMatching(target)) {
        discover(target);
    }
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        looking = false;
        arrivals.clear();
        known.clear();
    }
    if (target.address.empty()) {
        printConsoleLine("Event: found Bluetooth LE device \"%s\" at %s\n", device.name.c_str(),
                         device.address.c_str());
    }
}

bool BlueZLink::takeArrivalMatching(const BleTarget &target) {
    std::deque<BlueZDevice> heard;
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        heard.swap(arrivals);
    }
    for (const BlueZDevice &candidate : heard) {
        const bool matches = target.address.empty()
                                 ? !candidate.name.empty() && target.acceptsName(candidate.name)
                                 : candidate.address == target.address;
        if (matches) {
            device = candidate;
            return true;
        }
    }
    return false;
}

void BlueZLink::discover(const BleTarget &target) {
    const Options filter{{"Transport", sdbus::Variant(std::string("le"))}};
    AwaitedCall<> setFilter;
    requireReply(setFilter.run(adapterProxy->callMethodAsync("SetDiscoveryFilter")
                                   .onInterface(adapterInterface)
                                   .withArguments(filter),
                               callTime, &stop, busLost),
                 "setting the discovery filter");
    AwaitedCall<> start;
    discovering = true;
    requireReply(
        start.run(adapterProxy->callMethodAsync("StartDiscovery").onInterface(adapterInterface),
                  callTime, &stop, busLost),
        "starting a discovery");
    // The filter (the model's name rule) runs here, on the downloading thread, as libdivecomputer
    // expects; the signal handlers only collect what was heard.
    const auto deadline = std::chrono::steady_clock::now() + scanTime;
    bool found = false;
    while (!found && !stop.requested() && std::chrono::steady_clock::now() < deadline) {
        waitFor(std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now()),
                [&] { return !arrivals.empty(); });
        found = takeArrivalMatching(target);
    }
    AwaitedCall<> stopDiscovery;
    stopDiscovery.run(adapterProxy->callMethodAsync("StopDiscovery").onInterface(adapterInterface),
                      cleanupTime, nullptr, busLost);
    discovering = false;
    if (found) {
        return;
    }
    if (stop.requested()) {
        failOpening(DC_STATUS_CANCELLED, "stopped while looking for the dive computer");
    }
    failOpening(DC_STATUS_NODEVICE,
                (target.address.empty() ? std::string("no dive computer of this model was found")
                                        : "the device " + target.address + " was not found") +
                    " by a Bluetooth LE scan of " + seconds(scanTime));
}

void BlueZLink::connect() {
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        watchedDevice = device.path;
    }
    deviceProxy = sdbus::createProxy(*bus, bluezService, device.path);
    awaitOldLinkGone();
    const auto deadline = std::chrono::steady_clock::now() + connectTime;
    for (;;) {
        unsigned int downBefore = 0;
        {
            const std::lock_guard<std::mutex> lock(stateMutex);
            downBefore = disconnections;
        }
        const CallOutcome outcome = callConnect(deadline);
        const bool aborted = outcome.end == WaitEnd::Failed &&
                             outcome.error.find(abortedConnection) != std::string::npos;
        // BlueZ reports the attempt as Connected, then the failure, then not Connected: the next
        // try starts once the device is down again.
        if (aborted && std::chrono::steady_clock::now() < deadline) {
            waitFor(std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()),
                    [&] { return disconnections != downBefore; });
            if (!stop.requested()) {
                continue;
            }
        }
        if (outcome.end == WaitEnd::TimedOut) {
            failOpening(DC_STATUS_TIMEOUT, "the connection to " + device.address +
                                               " did not succeed within " + seconds(connectTime));
        }
        requireReply(outcome, "the connection to " + device.address);
        const std::lock_guard<std::mutex> lock(stateMutex);
        linkUp = true;
        return;
    }
}

CallOutcome BlueZLink::callConnect(std::chrono::steady_clock::time_point deadline) {
    connectionAsked = true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    AwaitedCall<> call;
    return call.run(deviceProxy->callMethodAsync("Connect").onInterface(deviceInterface),
                    std::max(left, 0ms), &stop, busLost);
}

// A link this process closed a moment ago may still be up: BlueZ would hand it to Connect and then
// drop it.
void BlueZLink::awaitOldLinkGone() {
    const std::chrono::milliseconds left = lingeringLinks.remaining(device.path);
    if (left.count() == 0) {
        return;
    }
    unsigned int downBefore = 0;
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        downBefore = disconnections;
    }
    AwaitedCall<sdbus::Variant> call;
    requireReply(
        call.run(deviceProxy->callMethodAsync("Get")
                     .onInterface(propertiesInterface)
                     .withArguments(std::string(deviceInterface), std::string("Connected")),
                 callTime, &stop, busLost),
        "reading the device's state");
    const sdbus::Variant &connected = std::get<0>(call.results());
    if (connected.containsValueOfType<bool>() && connected.get<bool>()) {
        waitFor(left, [&] { return disconnections != downBefore; });
        if (stop.requested()) {
            failOpening(DC_STATUS_CANCELLED,
                        "stopped while waiting for the previous connection to end");
        }
    }
    lingeringLinks.remove(device.path);
}

void BlueZLink::awaitServices() {
    AwaitedCall<sdbus::Variant> call;
    requireReply(
        call.run(deviceProxy->callMethodAsync("Get")
                     .onInterface(propertiesInterface)
                     .withArguments(std::string(deviceInterface), std::string("ServicesResolved")),
                 callTime, &stop, busLost),
        "reading the device's state");
    const sdbus::Variant &resolved = std::get<0>(call.results());
    if (resolved.containsValueOfType<bool>() && resolved.get<bool>()) {
        return;
    }
    bool lost = false;
    const bool settled = waitFor(resolveTime, [&] {
        lost = connectionLost;
        return servicesResolved || lost;
    });
    if (lost) {
        failOpening(DC_STATUS_IO, "the connection to " + device.address + " was lost");
    }
    if (!settled) {
        if (stop.requested()) {
            failOpening(DC_STATUS_CANCELLED, "stopped while waiting for the device's services");
        }
        failOpening(DC_STATUS_TIMEOUT,
                    device.address + " did not list its services within " + seconds(resolveTime));
    }
}

std::unique_ptr<sdbus::IProxy> BlueZLink::startNotifications(
    const GattCharacteristic &characteristic) {
    auto proxy = sdbus::createProxy(*bus, bluezService, characteristic.id);
    AwaitedCall<> call;
    const CallOutcome outcome =
        call.run(proxy->callMethodAsync("StartNotify").onInterface(gattCharacteristicInterface),
                 callTime, &stop, busLost);
    requireReply(outcome, "subscribing to the notifications of " + characteristic.uuid);
    return proxy;
}

// A socket of the link's own where BlueZ hands one out (notify, not indicate): only its own
// notifications come through it, not a read's echo nor another program's subscription.
bool BlueZLink::acquireNotifications(const GattCharacteristic &characteristic) {
    if (!characteristic.has("notify")) {
        return false;
    }
    auto proxy = sdbus::createProxy(*bus, bluezService, characteristic.id);
    AwaitedCall<sdbus::UnixFd, std::uint16_t> call;
    const CallOutcome outcome = call.run(proxy->callMethodAsync("AcquireNotify")
                                             .onInterface(gattCharacteristicInterface)
                                             .withArguments(Options{}),
                                         callTime, &stop, busLost);
    if (outcome.end == WaitEnd::Failed) {
        return false;
    }
    requireReply(outcome, "acquiring the notifications of " + characteristic.uuid);
    sdbus::UnixFd socket = std::get<0>(call.results());
    acquired = std::make_unique<AcquiredNotifications>(socket.release(),
                                                       std::get<1>(call.results()), queue);
    return true;
}

void BlueZLink::openDataChannel() {
    const BlueZObjects objects = managedObjects("listing the device's services");
    // BlueZ may learn the name only while connecting; some backends need it.
    for (const BlueZDevice &listed : devicesOf(objects, adapterPath)) {
        if (listed.path == device.path && !listed.name.empty()) {
            device.name = listed.name;
        }
    }
    services = gattServicesOf(objects, device.path);
    std::optional<DataChannel> chosen = chooseDataChannel(services);
    if (!chosen) {
        failOpening(DC_STATUS_UNSUPPORTED,
                    device.address + " offers no known dive computer data service");
    }
    channel = std::move(*chosen);
    if (!acquireNotifications(channel.dataOut)) {
        {
            const std::lock_guard<std::mutex> lock(stateMutex);
            watchedData = channel.dataOut.id;
        }
        notifying.push_back(startNotifications(channel.dataOut));
    }
    if (channel.creditsOut) {
        notifying.push_back(startNotifications(*channel.creditsOut));
        creditsIn = sdbus::createProxy(*bus, bluezService, channel.creditsIn->id);
    }
    dataIn = sdbus::createProxy(*bus, bluezService, channel.dataIn.id);
    AwaitedCall<sdbus::Variant> call;
    const CallOutcome outcome =
        call.run(dataIn->callMethodAsync("Get")
                     .onInterface(propertiesInterface)
                     .withArguments(std::string(gattCharacteristicInterface), std::string("MTU")),
                 callTime, &stop, busLost);
    if (outcome.replied() && std::get<0>(call.results()).containsValueOfType<std::uint16_t>()) {
        mtu = std::get<0>(call.results()).get<std::uint16_t>();
    }
}

void BlueZLink::connectTo(const BleTarget &target) {
    try {
        joinBus();
        const BlueZObjects objects = managedObjects("asking BlueZ for its adapters");
        adapterPath = choosePoweredAdapter(objects).path;
        {
            const std::lock_guard<std::mutex> lock(stateMutex);
            watchedAdapter = adapterPath;
        }
        adapterProxy = sdbus::createProxy(*bus, bluezService, adapterPath);
        findDevice(target, objects);
        connect();
        awaitServices();
        openDataChannel();
    } catch (const sdbus::Error &error) {
        failOpening(DC_STATUS_IO,
                    "D-Bus failed (" + error.getName() + ": " + error.getMessage() + ")");
    }
}

dc_status_t BlueZLink::writeValue(sdbus::IProxy &characteristic, const Value &value,
                                  const char *type) {
    const Options options{{"type", sdbus::Variant(std::string(type))}};
    AwaitedCall<> call;
    return statusOf(call.run(characteristic.callMethodAsync("WriteValue")
                                 .onInterface(gattCharacteristicInterface)
                                 .withArguments(value, options),
                             callTime, &stop, busLost)
                        .end);
}

// Without response where the characteristic allows it and the write fits one packet (the ATT
// MTU less its 3-byte header); otherwise with response. A larger write goes out in packets of that
// size rather than as one long write, which some modules refuse: the data services carry byte
// streams.
dc_status_t BlueZLink::write(const unsigned char *data, std::size_t size) {
    const std::size_t packet = mtu > 3 ? mtu - 3u : size;
    const bool fitsOnePacket = size <= packet;
    const char *type =
        channel.dataIn.has("write-without-response") && fitsOnePacket ? "command" : "request";
    std::size_t offset = 0;
    do {
        const std::size_t count = std::min(packet, size - offset);
        const dc_status_t written =
            writeValue(*dataIn, Value(data + offset, data + offset + count), type);
        if (written != DC_STATUS_SUCCESS) {
            return written;
        }
        offset += count;
    } while (offset < size);
    return DC_STATUS_SUCCESS;
}

dc_status_t BlueZLink::grantCredits(unsigned char credits) {
    return writeValue(*creditsIn, Value{credits}, "request");
}

dc_status_t BlueZLink::read(const std::string &uuid, Bytes &value) {
    for (const GattService &service : services) {
        for (const GattCharacteristic &characteristic : service.characteristics) {
            if (characteristic.uuid != uuid) {
                continue;
            }
            const bool isData = characteristic.id == channel.dataOut.id;
            if (isData) {
                const std::lock_guard<std::mutex> lock(stateMutex);
                readingData = true;
            }
            auto proxy = sdbus::createProxy(*bus, bluezService, characteristic.id);
            AwaitedCall<Value> call;
            const CallOutcome outcome = call.run(proxy->callMethodAsync("ReadValue")
                                                     .onInterface(gattCharacteristicInterface)
                                                     .withArguments(Options{}),
                                                 callTime, &stop, busLost);
            if (outcome.replied()) {
                const Value &read = std::get<0>(call.results());
                value.assign(read.begin(), read.end());
            }
            if (isData) {
                endDataRead(outcome.replied() ? std::optional<Value>(std::get<0>(call.results()))
                                              : std::nullopt);
            }
            return statusOf(outcome.end);
        }
    }
    return DC_STATUS_UNSUPPORTED;
}

// Queues what was heard during the read, but for the read's own echo, which may also come later.
void BlueZLink::endDataRead(std::optional<Value> read) {
    std::unique_lock<std::mutex> lock(stateMutex);
    readingData = false;
    echo = std::move(read);
    std::vector<Value> heard;
    heard.swap(heardWhileReading);
    for (Value &value : heard) {
        onDataValue(std::move(value), lock);
    }
}

// Undoes what the link did, whatever a stop has asked. Notifications stop at once; the link is
// left for BlueZ to take down, without waiting the seconds that takes.
void BlueZLink::close() noexcept {
    if (closed || !bus) {
        closed = true;
        return;
    }
    closed = true;
    acquired.reset();
    try {
        for (auto &characteristic : notifying) {
            AwaitedCall<> call;
            call.run(characteristic->callMethodAsync("StopNotify")
                         .onInterface(gattCharacteristicInterface),
                     cleanupTime, nullptr, busLost);
        }
        if (connectionAsked && !busLost) {
            auto disconnect = deviceProxy->createMethodCall(deviceInterface, "Disconnect");
            disconnect.dontExpectReply();
            deviceProxy->callMethod(disconnect);
            lingeringLinks.add(device.path);
        }
        if (discovering) {
            AwaitedCall<> call;
            call.run(adapterProxy->callMethodAsync("StopDiscovery").onInterface(adapterInterface),
                     cleanupTime, nullptr, busLost);
        }
    } catch (...) {
        // the bus itself failed: leaving it ends what BlueZ still holds for this client
    }
    try {
        bus->leaveEventLoop();
    } catch (...) {
    }
    if (eventLoop.joinable()) {
        eventLoop.join();
    }
    notifying.clear();
    creditsIn.reset();
    dataIn.reset();
    deviceProxy.reset();
    adapterProxy.reset();
    root.reset();
    subscriptions.clear();
    bus.reset();  // sends what is still queued, the Disconnect among it, before closing
    queue.loseLink();
}

void BlueZLink::onPropertiesChanged(sdbus::Message &signal) {
    std::string interface;
    BlueZProperties changed;
    std::vector<std::string> invalidated;
    signal >> interface >> changed >> invalidated;
    const std::string path = signal.getPath();
    std::unique_lock<std::mutex> lock(stateMutex);
    if (interface == gattCharacteristicInterface && path == watchedData) {
        if (std::optional<Value> value = propertyOf<Value>(changed, "Value")) {
            onDataValue(std::move(*value), lock);
        }
        return;
    }
    if (interface != deviceInterface) {
        return;
    }
    if (path == watchedDevice) {
        if (propertyOf<bool>(changed, "ServicesResolved").value_or(false)) {
            servicesResolved = true;
        }
        if (!propertyOf<bool>(changed, "Connected").value_or(true)) {
            ++disconnections;
            if (linkUp) {
                connectionLost = true;
                lock.unlock();
                queue.loseLink();
                stateChanged.notify_all();
                return;
            }
        }
    }
    heardDevice(path, changed);
    lock.unlock();
    stateChanged.notify_all();
}

// A notification, unless it is the echo of the data characteristic's last read.
void BlueZLink::onDataValue(Value value, std::unique_lock<std::mutex> &lock) {
    if (readingData) {
        heardWhileReading.push_back(std::move(value));
        return;
    }
    if (echo && *echo == value) {
        echo.reset();
        return;
    }
    lock.unlock();
    queue.push(Bytes(value.begin(), value.end()));
    lock.lock();
}

// What a discovery tells of a device while the one to open is looked for.
void BlueZLink::heardDevice(const std::string &path, const BlueZProperties &changed) {
    if (!looking) {
        return;
    }
    const auto heard = known.find(path);
    if (heard == known.end()) {
        return;
    }
    if (std::optional<std::string> name = propertyOf<std::string>(changed, "Name")) {
        heard->second.name = *name;
    }
    if (changed.count("RSSI") != 0 || changed.count("Name") != 0) {
        arrivals.push_back(heard->second);
    }
}

void BlueZLink::onInterfacesAdded(sdbus::Message &signal) {
    sdbus::ObjectPath path;
    BlueZInterfaces interfaces;
    signal >> path >> interfaces;
    std::unique_lock<std::mutex> lock(stateMutex);
    if (!looking) {
        return;
    }
    if (std::optional<BlueZDevice> added = deviceOf(path, interfaces, watchedAdapter)) {
        known[added->path] = *added;
        arrivals.push_back(*added);
        lock.unlock();
        stateChanged.notify_all();
    }
}

void BlueZLink::onInterfacesRemoved(sdbus::Message &signal) {
    sdbus::ObjectPath path;
    std::vector<std::string> interfaces;
    signal >> path >> interfaces;
    std::unique_lock<std::mutex> lock(stateMutex);
    if (path == watchedDevice) {
        connectionLost = true;
        lock.unlock();
        queue.loseLink();
        stateChanged.notify_all();
    }
}

}  // namespace

std::unique_ptr<BleLink> openBlueZLink(const BleTarget &target, const StopRequest &stop) {
    auto link = std::make_unique<BlueZLink>(stop);
    link->connectTo(target);
    return link;
}

}  // namespace divebridge
