// SPDX-License-Identifier: MIT
#include "device/ble/bluez/bluez_bus.h"

#include "device/ble/bluez/bluez_opening.h"

namespace divebridge {

BlueZBus::BlueZBus(BlueZSignals &signals, const StopRequest &stop) : signals(signals), stop(stop) {
    try {
        connection = sdbus::createSystemBusConnection();
    } catch (const sdbus::Error &error) {
        failOpening(DC_STATUS_NODEVICE, "the system D-Bus cannot be reached (" + error.getName() +
                                            ": " + error.getMessage() + ")");
    }
    subscribe(propertiesInterface, "PropertiesChanged", &BlueZBus::onPropertiesChanged);
    subscribe(objectManagerInterface, "InterfacesAdded", &BlueZBus::onInterfacesAdded);
    subscribe(objectManagerInterface, "InterfacesRemoved", &BlueZBus::onInterfacesRemoved);
}

BlueZBus::~BlueZBus() {
    leave();
    subscriptions.clear();
}

void BlueZBus::start() {
    eventLoop = std::thread([this] { runEventLoop(); });
}

void BlueZBus::leave() noexcept {
    if (!eventLoop.joinable()) {
        return;
    }
    try {
        connection->leaveEventLoop();
    } catch (...) {
        // the loop has ended already: the connection broke
    }
    eventLoop.join();
}

// sdbus-c++'s loop raises when the bus connection breaks: that ends the link, not the process.
void BlueZBus::runEventLoop() noexcept {
    try {
        connection->enterEventLoop();
    } catch (...) {
        lost = true;
        signals.busLost();
    }
}

std::unique_ptr<sdbus::IProxy> BlueZBus::proxy(const std::string &path) {
    return sdbus::createProxy(*connection, bluezService, path);
}

void BlueZBus::send(sdbus::IProxy &proxy, const char *interface, const char *method) {
    auto message = proxy.createMethodCall(interface, method);
    message.dontExpectReply();
    proxy.callMethod(message);
}

// The event loop thread calls the handlers: what they raise must not leave them.
void BlueZBus::subscribe(const char *interface, const char *member,
                         void (BlueZBus::*handler)(sdbus::Message &)) {
    const std::string match = std::string("type='signal',sender='") + bluezService +
                              "',interface='" + interface + "',member='" + member + "'";
    subscriptions.push_back(connection->addMatch(match, [this, handler](sdbus::Message &signal) {
        try {
            (this->*handler)(signal);
        } catch (...) {
            // a signal BlueZ did not form as documented is not ours to act on
        }
    }));
}

void BlueZBus::onPropertiesChanged(sdbus::Message &signal) {
    std::string interface;
    BlueZProperties changed;
    std::vector<std::string> invalidated;
    signal >> interface >> changed >> invalidated;
    signals.propertiesChanged(signal.getPath(), interface, changed);
}

void BlueZBus::onInterfacesAdded(sdbus::Message &signal) {
    sdbus::ObjectPath path;
    BlueZInterfaces interfaces;
    signal >> path >> interfaces;
    signals.interfacesAdded(path, interfaces);
}

void BlueZBus::onInterfacesRemoved(sdbus::Message &signal) {
    sdbus::ObjectPath path;
    std::vector<std::string> interfaces;
    signal >> path >> interfaces;
    signals.interfacesRemoved(path);
}

}  // namespace divebridge
