// SPDX-License-Identifier: MIT
#include "device/ble/gatt_layout.h"

#include <gtest/gtest.h>

namespace divebridge {
namespace {

GattCharacteristic characteristic(const std::string &uuid, std::vector<std::string> flags) {
    return {"char-" + uuid, uuid, std::move(flags)};
}

const std::vector<std::string> writeAndNotify{"write-without-response", "write", "notify"};
const std::vector<std::string> write{"write"};
const std::vector<std::string> notify{"notify"};

TEST(GattLayout, AKnownServiceWinsOverFirmwareAndGenericServicesListedBeforeIt) {
    const std::vector<GattService> services{
        {"dfu",
         "00001530-1212-efde-1523-785feabcd123",
         {characteristic("00001531-1212-efde-1523-785feabcd123", writeAndNotify)}},
        {"uart",
         "6e400099-b5a3-f393-e0a9-e50e24dc10b8",
         {characteristic("6e400098-b5a3-f393-e0a9-e50e24dc10b8", writeAndNotify)}},
        {"shearwater",
         "fe25c237-0ece-443c-b0aa-e02033e7029d",
         {characteristic("27b7570b-359e-45a3-91bb-cf7e70049bd2", writeAndNotify)}},
    };
    const std::optional<DataChannel> channel = chooseDataChannel(services);
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->dataIn.uuid, "27b7570b-359e-45a3-91bb-cf7e70049bd2");
    EXPECT_EQ(channel->dataOut.uuid, "27b7570b-359e-45a3-91bb-cf7e70049bd2");
    EXPECT_FALSE(channel->creditsIn);
}

// Suunto's service is chosen by flags; McLean's module has more writable and notifying
// characteristics than the two it uses, and they come first.
TEST(GattLayout, WithinAKnownServiceCharacteristicsAreChosenByFlagsOrByName) {
    const std::optional<DataChannel> suunto =
        chooseDataChannel({{"suunto",
                            "98ae7120-e62e-11e3-badd-0002a5d5c51b",
                            {characteristic("98ae7122-e62e-11e3-badd-0002a5d5c51b", notify),
                             characteristic("98ae7121-e62e-11e3-badd-0002a5d5c51b", write)}}});
    ASSERT_TRUE(suunto);
    EXPECT_EQ(suunto->dataIn.uuid, "98ae7121-e62e-11e3-badd-0002a5d5c51b");
    EXPECT_EQ(suunto->dataOut.uuid, "98ae7122-e62e-11e3-badd-0002a5d5c51b");

    const std::optional<DataChannel> mclean =
        chooseDataChannel({{"mclean",
                            "49535343-fe7d-4ae5-8fa9-9fafd205e455",
                            {characteristic("49535343-6daa-4d02-abf6-19569aca69fe", writeAndNotify),
                             characteristic("49535343-1e4d-4bd9-ba61-23c647249616", notify),
                             characteristic("49535343-8841-43f4-a8d4-ecbe34729bb3", write)}}});
    ASSERT_TRUE(mclean);
    EXPECT_EQ(mclean->dataIn.uuid, "49535343-8841-43f4-a8d4-ecbe34729bb3");
    EXPECT_EQ(mclean->dataOut.uuid, "49535343-1e4d-4bd9-ba61-23c647249616");
}

TEST(GattLayout, TheOstcsTelitModuleBringsItsCreditCharacteristics) {
    const std::vector<GattService> telit{
        {"telit",
         "0000fefb-0000-1000-8000-00805f9b34fb",
         {characteristic("00000001-0000-1000-8000-008025000000", {"write-without-response"}),
          characteristic("00000002-0000-1000-8000-008025000000", notify),
          characteristic("00000003-0000-1000-8000-008025000000", write),
          characteristic("00000004-0000-1000-8000-008025000000", {"indicate"})}}};
    const std::optional<DataChannel> channel = chooseDataChannel(telit);
    ASSERT_TRUE(channel);
    ASSERT_TRUE(channel->creditsIn && channel->creditsOut);
    EXPECT_EQ(channel->creditsIn->uuid, "00000003-0000-1000-8000-008025000000");
    EXPECT_EQ(channel->creditsOut->uuid, "00000004-0000-1000-8000-008025000000");

    // Without its credits the module cannot send: the service does not serve.
    std::vector<GattService> withoutCredits = telit;
    withoutCredits[0].characteristics.resize(2);
    EXPECT_FALSE(chooseDataChannel(withoutCredits));
}

TEST(GattLayout, WithoutAKnownServiceTheFirstVendorServiceThatFitsServes) {
    const std::vector<GattService> services{
        {"battery",
         "0000180f-0000-1000-8000-00805f9b34fb",
         {characteristic("00002a19-0000-1000-8000-00805f9b34fb", writeAndNotify)}},
        {"notify-only",
         "11111111-2222-3333-4444-555555555555",
         {characteristic("11111112-2222-3333-4444-555555555555", notify)}},
        {"vendor",
         "66666666-2222-3333-4444-555555555555",
         {characteristic("66666667-2222-3333-4444-555555555555", write),
          characteristic("66666668-2222-3333-4444-555555555555", notify)}},
    };
    const std::optional<DataChannel> channel = chooseDataChannel(services);
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->dataIn.id, "char-66666667-2222-3333-4444-555555555555");
    EXPECT_EQ(channel->dataOut.id, "char-66666668-2222-3333-4444-555555555555");

    EXPECT_FALSE(chooseDataChannel({services[0], services[1]}));
}

}  // namespace
}  // namespace divebridge
