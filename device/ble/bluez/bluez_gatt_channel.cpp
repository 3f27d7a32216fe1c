// SPDX-License-Identifier: MIT
#include "device/ble/bluez/bluez_gatt_channel.h"

#include "device/ble/bluez/bluez_opening.h"

#include <algorithm>

namespace divebridge {
void BlueZGattChannel::open(std::vector<GattService> listed, const std::string &address) {
    services = std::move(listed);
    std::optional<DataChannel> chosen = chooseDataChannel(services);
    if (!chosen) {
        failOpening(DC_STATUS_UNSUPPORTED, address + " offers no known dive computer data service");
    }
    channel = std::move(*chosen);
    if (!acquireNotifications(channel.dataOut)) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            watched = channel.dataOut.id;
        }
        notifying.push_back(startNotifications(channel.dataOut));
    }
    if (channel.creditsOut) {
        notifying.push_back(startNotifications(*channel.creditsOut));
        creditsIn = bus.proxy(channel.creditsIn->id);
    }
    dataIn = bus.proxy(channel.dataIn.id);
    readMtu();
}

// A socket of the link's own where BlueZ hands one out (notify, not indicate): only its own
// notifications come through it, not a read's echo nor another program's subscription.
bool BlueZGattChannel::acquireNotifications(const GattCharacteristic &characteristic) {
    if (!characteristic.has("notify")) {
        return false;
    }
    auto proxy = bus.proxy(characteristic.id);
    AwaitedCall<sdbus::UnixFd, std::uint16_t> call;
    const CallOutcome outcome = bus.call(call,
                                         proxy->callMethodAsync("AcquireNotify")
                                             .onInterface(gattCharacteristicInterface)
                                             .withArguments(Options{}),
                                         callTime);
    if (outcome.end == WaitEnd::Failed) {
        return false;
    }
    requireReply(outcome, "acquiring the notifications of " + characteristic.uuid);
    sdbus::UnixFd socket = std::get<0>(call.results());
    acquired = std::make_unique<AcquiredNotifications>(socket.release(),
                                                       std::get<1>(call.results()), queue);
    return true;
}

std::unique_ptr<sdbus::IProxy> BlueZGattChannel::startNotifications(
    const GattCharacteristic &characteristic) {
    auto proxy = bus.proxy(characteristic.id);
    AwaitedCall<> call;
    requireReply(
        bus.call(call,
                 proxy->callMethodAsync("StartNotify").onInterface(gattCharacteristicInterface),
                 callTime),
        "subscribing to the notifications of " + characteristic.uuid);
    return proxy;
}

void BlueZGattChannel::readMtu() {
    AwaitedCall<sdbus::Variant> call;
    const CallOutcome outcome =
        bus.call(call,
                 dataIn->callMethodAsync("Get")
                     .onInterface(propertiesInterface)
                     .withArguments(std::string(gattCharacteristicInterface), std::string("MTU")),
                 callTime);
    if (outcome.replied() && std::get<0>(call.results()).containsValueOfType<std::uint16_t>()) {
        mtu = std::get<0>(call.results()).get<std::uint16_t>();
    }
}

void BlueZGattChannel::close() noexcept {
    acquired.reset();  // closing the socket ends that session
    for (auto &characteristic : notifying) {
        try {
            AwaitedCall<> call;
            bus.call(call,
                     characteristic->callMethodAsync("StopNotify")
                         .onInterface(gattCharacteristicInterface),
                     cleanupTime, false);
        } catch (...) {
            // the bus failed: leaving it ends what BlueZ still holds for this client
        }
    }
    notifying.clear();
}

dc_status_t BlueZGattChannel::writeValue(sdbus::IProxy &characteristic, const Value &value,
                                         const char *type) {
    const Options options{{"type", sdbus::Variant(std::string(type))}};
    AwaitedCall<> call;
    return statusOf(bus.call(call,
                             characteristic.callMethodAsync("WriteValue")
                                 .onInterface(gattCharacteristicInterface)
                                 .withArguments(value, options),
                             callTime)
                        .end);
}

// Without response where the characteristic allows it and the write fits one packet (the ATT
// MTU less its 3-byte header); otherwise with response. A larger write goes out in packets of that
// size rather than as one long write, which some modules refuse: the data services carry byte
// streams.
dc_status_t BlueZGattChannel::write(const unsigned char *data, std::size_t size) {
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

dc_status_t BlueZGattChannel::grantCredits(unsigned char credits) {
    return writeValue(*creditsIn, Value{credits}, "request");
}

dc_status_t BlueZGattChannel::read(const std::string &uuid, Bytes &value) {
    for (const GattService &service : services) {
        for (const GattCharacteristic &characteristic : service.characteristics) {
            if (characteristic.uuid != uuid) {
                continue;
            }
            const bool isData = characteristic.id == channel.dataOut.id;
            if (isData) {
                const std::lock_guard<std::mutex> lock(mutex);
                readingData = true;
            }
            auto proxy = bus.proxy(characteristic.id);
            AwaitedCall<Value> call;
            const CallOutcome outcome = bus.call(call,
                                                 proxy->callMethodAsync("ReadValue")
                                                     .onInterface(gattCharacteristicInterface)
                                                     .withArguments(Options{}),
                                                 callTime);
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
void BlueZGattChannel::endDataRead(std::optional<Value> read) {
    std::unique_lock<std::mutex> lock(mutex);
    readingData = false;
    echo = std::move(read);
    std::vector<Value> heard;
    heard.swap(heardWhileReading);
    for (Value &value : heard) {
        onDataValue(std::move(value), lock);
    }
}

void BlueZGattChannel::valueChanged(const std::string &path, const BlueZProperties &changed) {
    std::unique_lock<std::mutex> lock(mutex);
    if (path != watched) {
        return;
    }
    if (std::optional<Value> value = propertyOf<Value>(changed, "Value")) {
        onDataValue(std::move(*value), lock);
    }
}

// A notification, unless it is the echo of the data characteristic's last read.
void BlueZGattChannel::onDataValue(Value value, std::unique_lock<std::mutex> &lock) {
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

}  // namespace divebridge
