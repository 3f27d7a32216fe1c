// SPDX-License-Identifier: MIT
// The BLE stream's callbacks against what libdivecomputer's backends expect of them, over a link
// whose notifications the test pushes.
#include "device/ble/ble_stream.h"

#include <libdivecomputer/ble.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace divebridge {
namespace {

using namespace std::chrono_literals;

class FakeLink final : public BleLink {
  public:
    const std::string &name() const override { return advertised; }
    const std::string &address() const override { return where; }
    dc_status_t write(const unsigned char *data, std::size_t size) override {
        written.emplace_back(data, data + size);
        return writeStatus;
    }
    dc_status_t read(const std::string &uuid, Bytes &value) override {
        readUuid = uuid;
        value = readValue;
        return DC_STATUS_SUCCESS;
    }
    bool usesCredits() const override { return credits; }
    dc_status_t grantCredits(unsigned char count) override {
        grants.push_back(count);
        return DC_STATUS_SUCCESS;
    }
    void close() noexcept override { ++closes; }

    void notify(Bytes bytes) { notifications().push(std::move(bytes)); }

    std::string advertised = "Perdix 2";
    std::string where = "F1:E2:D3:C4:B5:A6";
    std::vector<Bytes> written;
    dc_status_t writeStatus = DC_STATUS_SUCCESS;
    bool credits = false;
    std::vector<int> grants;
    std::string readUuid;
    Bytes readValue;
    int closes = 0;
};

class BleStreamTest : public ::testing::Test {
  protected:
    BleStreamTest() {
        auto owned = std::make_unique<FakeLink>();
        link = owned.get();
        stream = std::make_unique<BleStream>(std::move(owned), StopRequest(), silentApplication(),
                                             failure);
        stream->setTimeout(200);
    }

    // What one read answers into a buffer of `size` bytes.
    std::pair<dc_status_t, Bytes> readOnce(std::size_t size) {
        Bytes buffer(size);
        std::size_t actual = 0;
        const dc_status_t status = stream->read(buffer.data(), buffer.size(), &actual);
        buffer.resize(actual);
        return {status, buffer};
    }

    CallbackFailure failure;
    FakeLink *link;
    std::unique_ptr<BleStream> stream;
};

// The backends' packet layers take each read as one packet: a read never joins two
// notifications, and the rest of one too large for the buffer comes with the next read.
TEST_F(BleStreamTest, EachReadAnswersOneNotification) {
    link->notify({1, 2, 3});
    link->notify({4, 5});
    link->notify({6, 7, 8, 9, 10});
    EXPECT_EQ(readOnce(244), std::make_pair(DC_STATUS_SUCCESS, Bytes{1, 2, 3}));
    EXPECT_EQ(readOnce(244), std::make_pair(DC_STATUS_SUCCESS, Bytes{4, 5}));
    EXPECT_EQ(readOnce(3), std::make_pair(DC_STATUS_SUCCESS, Bytes{6, 7, 8}));
    EXPECT_EQ(readOnce(244), std::make_pair(DC_STATUS_SUCCESS, Bytes{9, 10}));
}

TEST_F(BleStreamTest, SilenceIsATimeoutNeverAnEmptyRead) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readOnce(20).first, DC_STATUS_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);

    stream->setTimeout(0);
    EXPECT_EQ(readOnce(20).first, DC_STATUS_TIMEOUT);
    EXPECT_EQ(stream->poll(0), DC_STATUS_TIMEOUT);
    link->notify({1});
    EXPECT_EQ(stream->poll(0), DC_STATUS_SUCCESS);
    std::size_t available = 0;
    EXPECT_EQ(stream->available(&available), DC_STATUS_SUCCESS);
    EXPECT_EQ(available, 1u);
}

TEST_F(BleStreamTest, PurgeDropsWhatIsQueuedAndTheRestOfAReadNotification) {
    link->notify({1, 2, 3, 4});
    link->notify({5});
    EXPECT_EQ(readOnce(2).second, (Bytes{1, 2}));
    EXPECT_EQ(stream->purge(DC_DIRECTION_OUTPUT), DC_STATUS_SUCCESS);
    EXPECT_EQ(readOnce(2).second, (Bytes{3, 4}));
    link->notify({6});
    EXPECT_EQ(stream->purge(DC_DIRECTION_ALL), DC_STATUS_SUCCESS);
    EXPECT_EQ(readOnce(20).first, DC_STATUS_TIMEOUT);
}

// Notifications keep arriving while a backend sleeps before its next command.
TEST_F(BleStreamTest, ASleepLetsNotificationsQueue) {
    std::thread peripheral([&] {
        std::this_thread::sleep_for(20ms);
        link->notify({7});
    });
    EXPECT_EQ(stream->sleep(100), DC_STATUS_SUCCESS);
    peripheral.join();
    stream->setTimeout(0);
    EXPECT_EQ(readOnce(20).second, (Bytes{7}));
}

TEST_F(BleStreamTest, AStopEndsAWaitAtOnceAndALostLinkEndsReadsOnceDrained) {
    stream->setTimeout(-1);
    std::thread user([] {
        std::this_thread::sleep_for(30ms);
        requestStop();
    });
    // The read would wait for ever: only the stop ends it (how soon is the benchmark's to show).
    // The stream notes it answered a stop, whatever status the backend then makes of it.
    dc_iostream_t *iostream = nullptr;
    ASSERT_EQ(stream->open(&iostream, nullptr), DC_STATUS_SUCCESS);
    unsigned char stopped[20];
    std::size_t count = 0;
    EXPECT_FALSE(stream->answeredStop());
    EXPECT_EQ(dc_iostream_read(iostream, stopped, sizeof stopped, &count), DC_STATUS_CANCELLED);
    EXPECT_TRUE(stream->answeredStop());
    EXPECT_EQ(dc_iostream_close(iostream), DC_STATUS_SUCCESS);
    user.join();

    auto owned = std::make_unique<FakeLink>();
    FakeLink &lost = *owned;
    BleStream other(std::move(owned), StopRequest(), silentApplication(), failure);
    other.setTimeout(-1);
    lost.notify({1});
    lost.notifications().loseLink();
    Bytes buffer(20);
    std::size_t actual = 0;
    EXPECT_EQ(other.read(buffer.data(), buffer.size(), &actual), DC_STATUS_SUCCESS);
    EXPECT_EQ(other.read(buffer.data(), buffer.size(), &actual), DC_STATUS_IO);
}

TEST_F(BleStreamTest, WritesGoOutOneEachAndAFailedOneSaysSo) {
    const unsigned char command[] = {0x48, 0x01};
    std::size_t actual = 0;
    EXPECT_EQ(stream->write(command, sizeof command, &actual), DC_STATUS_SUCCESS);
    EXPECT_EQ(actual, 2u);
    link->writeStatus = DC_STATUS_IO;
    EXPECT_EQ(stream->write(command, 1, &actual), DC_STATUS_IO);
    EXPECT_EQ(actual, 0u);
    EXPECT_EQ(link->written, (std::vector<Bytes>{{0x48, 0x01}, {0x48}}));
}

// The module sends only against credits: granted in full when the stream opens, topped up once
// half are spent, read or purged, so that it never runs dry while the backend reads.
TEST_F(BleStreamTest, CreditsAreGrantedAtOpeningAndToppedUpAtHalf) {
    link->credits = true;
    dc_iostream_t *iostream = nullptr;
    ASSERT_EQ(stream->open(&iostream, nullptr), DC_STATUS_SUCCESS);
    EXPECT_EQ(link->grants, std::vector<int>{254});
    for (int i = 0; i < 127; ++i) {
        link->notify({static_cast<unsigned char>(i)});
        ASSERT_EQ(readOnce(20).first, DC_STATUS_SUCCESS);
    }
    EXPECT_EQ(link->grants, (std::vector<int>{254, 127}));

    // A purge drops notifications the module paid a credit for, each: they count as spent.
    for (int i = 0; i < 127; ++i) {
        link->notify({static_cast<unsigned char>(i)});
    }
    EXPECT_EQ(stream->purge(DC_DIRECTION_INPUT), DC_STATUS_SUCCESS);
    EXPECT_EQ(link->grants, (std::vector<int>{254, 127, 127}));
    EXPECT_EQ(dc_iostream_close(iostream), DC_STATUS_SUCCESS);
    EXPECT_EQ(link->closes, 1);
}

TEST_F(BleStreamTest, TheAdvertisedNameIsTheOnlyIoctlOfEveryRelease) {
    char name[32];
    EXPECT_EQ(stream->ioctl(DC_IOCTL_BLE_GET_NAME, name, sizeof name), DC_STATUS_SUCCESS);
    EXPECT_STREQ(name, "Perdix 2");
    char shortName[4];
    EXPECT_EQ(stream->ioctl(DC_IOCTL_BLE_GET_NAME, shortName, sizeof shortName), DC_STATUS_SUCCESS);
    EXPECT_STREQ(shortName, "Per");
    EXPECT_EQ(stream->ioctl(0x12345678u, name, sizeof name), DC_STATUS_UNSUPPORTED);
    link->advertised.clear();
    EXPECT_EQ(stream->ioctl(DC_IOCTL_BLE_GET_NAME, name, sizeof name), DC_STATUS_UNSUPPORTED);
}

#ifdef DC_IOCTL_BLE_CHARACTERISTIC_READ
TEST_F(BleStreamTest, ACharacteristicIsReadByTheUuidBeforeItsBuffer) {
    unsigned char request[16 + 5] = {0x6e, 0x40, 0x00, 0x03, 0xb5, 0xa3, 0xf3, 0x93,
                                     0xe0, 0xa9, 0xe5, 0x0e, 0x24, 0xdc, 0x10, 0xb8};
    link->readValue = {1, 2, 3};
    EXPECT_EQ(stream->ioctl(DC_IOCTL_BLE_CHARACTERISTIC_READ, request, sizeof request),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(link->readUuid, "6e400003-b5a3-f393-e0a9-e50e24dc10b8");
    EXPECT_EQ(Bytes(request + 16, request + 19), (Bytes{1, 2, 3}));
    link->readValue.assign(6, 0);
    EXPECT_EQ(stream->ioctl(DC_IOCTL_BLE_CHARACTERISTIC_READ, request, sizeof request),
              DC_STATUS_PROTOCOL);
}
#endif

}  // namespace
}  // namespace divebridge
