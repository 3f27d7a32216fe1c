// SPDX-License-Identifier: MIT
// One BLE link's own connection to the system bus. Its event loop thread hands BlueZ's signals on;
// the downloading thread makes every call and waits for the reply, so that a stop ends any wait
// within a few milliseconds.
#pragma once

#include "device/ble/bluez/bluez_call.h"
#include "device/ble/bluez/bluez_objects.h"
#include "device/interruption.h"

#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace divebridge {

// BlueZ's signals as a link hears them, on the bus's event loop thread.
class BlueZSignals {
  public:
    virtual void propertiesChanged(const std::string &path, const std::string &interface,
                                   const BlueZProperties &changed) = 0;
    virtual void interfacesAdded(const std::string &path, const BlueZInterfaces &interfaces) = 0;
    virtual void interfacesRemoved(const std::string &path) = 0;
    // The connection broke (the bus daemon restarted): no reply and no signal comes any more.
    virtual void busLost() = 0;

  protected:
    ~BlueZSignals() = default;
};

class BlueZBus {
  public:
    // Joins the system bus; raises BleOpeningFailure when it cannot be reached. Signals reach
    // `signals` once the bus has started.
    BlueZBus(BlueZSignals &signals, const StopRequest &stop);
    // Sends what is still queued (a Disconnect among it) before leaving the bus.
    ~BlueZBus();

    BlueZBus(const BlueZBus &) = delete;
    BlueZBus &operator=(const BlueZBus &) = delete;

    void start();
    // Ends the event loop: no signal is handed on after it returns.
    void leave() noexcept;

    std::unique_ptr<sdbus::IProxy> proxy(const std::string &path);

    // Makes the call `invoker` describes (an sdbus-c++ AsyncMethodInvoker, interface and arguments
    // given) and waits for its reply into `awaited`. A stop ends the wait unless it is not
    // `stoppable`; the bus's loss always does.
    template <typename... Results, typename Invoker>
    CallOutcome call(AwaitedCall<Results...> &awaited, Invoker &&invoker,
                     std::chrono::milliseconds timeout, bool stoppable = true) {
        return awaited.run(std::forward<Invoker>(invoker), timeout, stoppable ? &stop : nullptr,
                           lost);
    }
    // Sends a call whose answer nobody waits for.
    void send(sdbus::IProxy &proxy, const char *interface, const char *method);

    bool isLost() const { return lost; }
    const StopRequest &stopRequest() const { return stop; }

  private:
    void runEventLoop() noexcept;
    void subscribe(const char *interface, const char *member,
                   void (BlueZBus::*handler)(sdbus::Message &));
    void onPropertiesChanged(sdbus::Message &signal);
    void onInterfacesAdded(sdbus::Message &signal);
    void onInterfacesRemoved(sdbus::Message &signal);

    BlueZSignals &signals;
    const StopRequest stop;
    std::atomic<bool> lost{false};
    std::unique_ptr<sdbus::IConnection> connection;
    std::vector<sdbus::Slot> subscriptions;
    std::thread eventLoop;
};

}  // namespace divebridge
