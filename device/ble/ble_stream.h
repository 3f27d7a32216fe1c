// SPDX-License-Identifier: MIT
// libdivecomputer's custom BLE stream over a BleLink: the callbacks of dc_custom_open, answering as
// libdivecomputer's backends expect of BLE (one notification per read, TIMEOUT when none comes,
// purge, poll, sleeps that let notifications queue), with credit flow for the links that use it
// and the PIN pairing some dive computers ask for.
#pragma once

#include "device/application.h"
#include "device/ble/ble_link.h"
#include "device/callback_failure.h"
#include "device/interruption.h"

#include <libdivecomputer/context.h>
#include <libdivecomputer/iostream.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <utility>

namespace divebridge {

class BleStream {
  public:
    // A dive computer that pairs asks `application` for its PIN and access code; what the
    // application raises goes to `failure`, and the callback answers an error.
    BleStream(std::unique_ptr<BleLink> link, StopRequest stop, Application &application,
              CallbackFailure &failure);
    ~BleStream();

    BleStream(const BleStream &) = delete;
    BleStream &operator=(const BleStream &) = delete;

    // Makes the libdivecomputer stream whose callbacks are this object's; it must be closed before
    // this object goes.
    dc_status_t open(dc_iostream_t **stream, dc_context_t *context);

    // How the PIN exchange went, for the message when the dive computer then refuses to open.
    enum class Pin { NotAsked, NotGiven, Given };
    Pin pin() const { return pinState; }

    // Whether a callback answered a stop request (CANCELLED): a backend may report the transfer it
    // then abandons with a status of its own.
    bool answeredStop() const { return stopAnswered; }
    // Notes a stop the status answers; returns the status.
    dc_status_t noteStop(dc_status_t status) noexcept;

    // The callbacks, each answering as libdivecomputer's custom stream contract asks.
    dc_status_t setTimeout(int milliseconds);
    dc_status_t read(void *data, std::size_t size, std::size_t *actual);
    dc_status_t write(const void *data, std::size_t size, std::size_t *actual);
    dc_status_t poll(int milliseconds);
    dc_status_t purge(dc_direction_t direction);
    dc_status_t sleep(unsigned int milliseconds);
    dc_status_t available(std::size_t *value);
    dc_status_t ioctl(unsigned int request, void *data, std::size_t size);
    dc_status_t close();

  private:
    // Waits for data to read: a rest of a notification or a queued one.
    dc_status_t awaitData(std::chrono::milliseconds timeout);
    // Takes the oldest notification as the data to read.
    dc_status_t takeNotification();
    // Counts the credits `notifications` took, granting new ones as they run low.
    dc_status_t spendCredits(std::size_t notifications);
    dc_status_t answerPinCode(void *data, std::size_t size);
    dc_status_t answerAccessCode(void *data, std::size_t size);
    dc_status_t keepAccessCode(const void *data, std::size_t size);
    dc_status_t readCharacteristic(void *data, std::size_t size);
    // Runs a call to the application: what it raises is held, and a stop asked for meanwhile is
    // honoured as soon as it returns.
    template <typename Call>
    dc_status_t askApplication(Call &&call);

    std::unique_ptr<BleLink> link;
    StopRequest stop;
    Application &application;
    std::chrono::milliseconds timeout{-1};
    Bytes unread;  // what a read left of a notification larger than its buffer
    std::size_t unreadFrom = 0;
    int creditsOutstanding = 0;
    Pin pinState = Pin::NotAsked;
    bool stopAnswered = false;
    CallbackFailure &failure;
};

}  // namespace divebridge
