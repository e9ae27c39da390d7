#include "VirtualEventBus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "CameraParams.h"
#include "RemoteListener.h"
#include "SharedResourceCompare.h"

namespace {

class VirtualEventBusTest : public ::testing::Test {
  protected:
    void SetUp() override { SharedDataStore::GetInstance().Set(SharedResource{}, SHARED_RESOURCE_ALL); }
    static SharedResource Store() {
        SharedResource r;
        SharedDataStore::GetInstance().Get(r);
        return r;
    }
    VirtualEventBus bus;
};

TEST_F(VirtualEventBusTest, DeliversToSubscribersOfTheNumberInSubscriptionOrder) {
    std::vector<std::string> calls;
    int a = 0, b = 0, c = 0;
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int) { calls.push_back("first"); }, &a});
    bus.Subscribe(CAMERA_SET_IRIS_EVENT, {[&](void*, int) { calls.push_back("other"); }, &b});
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int) { calls.push_back("second"); }, &c});
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int) { calls.push_back("third"); }, &a});

    char payload[100] = "800";
    void* seen = nullptr;
    int seenLen = 0;
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void* d, int l) { seen = d, seenLen = l; }, &b});
    bus.Publish(CAMERA_SET_ISO_EVENT, payload, 100);

    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(seen, payload) << "every subscriber gets the publisher's pointer";
    EXPECT_EQ(seenLen, 100);
}

TEST_F(VirtualEventBusTest, UnsubscribeRemovesOnlyTheOldestMatchingSubscription) {
    std::vector<std::string> calls;
    int owner = 0, other = 0;
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int) { calls.push_back("old"); }, &owner});
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int) { calls.push_back("other"); }, &other});
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int) { calls.push_back("new"); }, &owner});

    bus.UnSubscribe(CAMERA_SET_ISO_EVENT, &owner);
    bus.Publish(CAMERA_SET_ISO_EVENT, nullptr, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"other", "new"}));

    calls.clear();
    bus.UnSubscribe(CAMERA_SET_IRIS_EVENT, &other);  // wrong number: nothing happens
    bus.UnSubscribe(CAMERA_SET_ISO_EVENT, &owner);
    bus.UnSubscribe(CAMERA_SET_ISO_EVENT, &owner);  // none left: nothing happens
    bus.Publish(CAMERA_SET_ISO_EVENT, nullptr, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"other"}));
}

TEST_F(VirtualEventBusTest, ASubscriberMayUnsubscribeOrSubscribeFromItsCallback) {
    int once = 0, later = 0, owner = 0, other = 0;
    bus.Subscribe(CAMERA_SET_ISO_EVENT,
                  {[&](void*, int) {
                       ++once;
                       bus.UnSubscribe(CAMERA_SET_ISO_EVENT, &owner);
                       bus.Subscribe(CAMERA_SET_IRIS_EVENT, {[&](void*, int) { ++later; }, &other});
                   },
                   &owner});
    bus.Publish(CAMERA_SET_ISO_EVENT, nullptr, 0);
    bus.Publish(CAMERA_SET_ISO_EVENT, nullptr, 0);
    bus.Publish(CAMERA_SET_IRIS_EVENT, nullptr, 0);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(later, 1);
}

TEST_F(VirtualEventBusTest, SubscribingTwiceGivesTwoCalls) {
    int calls = 0, owner = 0;
    EventSubcribe sub{[&](void*, int) { ++calls; }, &owner};
    bus.Subscribe(CAMERA_TOUCH_FOCUS_EVENT, sub);
    bus.Subscribe(CAMERA_TOUCH_FOCUS_EVENT, sub);
    bus.Publish(CAMERA_TOUCH_FOCUS_EVENT, nullptr, 0);
    EXPECT_EQ(calls, 2);
}

TEST_F(VirtualEventBusTest, MirrorsEachHostEventIntoItsStoreMemberOnly) {
    struct Case {
        int event;
        std::vector<uint8_t> payload;
        std::function<void(SharedResource&)> change;  // applied to a default record
    };
    auto bytesOf = [](const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        return std::vector<uint8_t>(b, b + n);
    };
    const int32_t four[4] = {1, -2, 3, 0x7fffffff};
    const int32_t six[6] = {10, 20, 30, 40, 50, -60};
    VideoInputEventInfo in;
    in.width = 3840, in.height = 2160, in.flag = 1, in.value = 7, in.frameRate = 29.97f, in.value2 = 30;
    VideoDecodeEventInfo dec;
    dec.width = 1280, dec.height = 720, dec.flag = 1, dec.value = 25, dec.frameRate = 25.0f, dec.flag2 = 1;
    dec.value2 = 9;

    const std::vector<Case> cases = {
        {3002, bytesOf(four, 16), [&](SharedResource& r) { std::memcpy(r.member8, four, 16); }},
        {3004, bytesOf(six, 24), [&](SharedResource& r) { std::memcpy(r.member11, six, 24); }},
        {3007, {42}, [](SharedResource& r) { r.member6 = 42; }},
        {6002, {43}, [](SharedResource& r) { r.member7 = 43; }},
        {6004, {44}, [](SharedResource& r) { r.member12 = 44; }},
        {5015, {7}, [](SharedResource& r) { r.member12 = 3; }},
        {8000, bytesOf(&in, sizeof(in)), [&](SharedResource& r) { r.member9 = in; }},
        {8001, bytesOf(&dec, sizeof(dec)), [&](SharedResource& r) { r.member10 = dec; }},
        {8006, {0}, [](SharedResource& r) { r.member14 = false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("event " + std::to_string(c.event));
        SharedDataStore::GetInstance().Set(SharedResource{}, SHARED_RESOURCE_ALL);
        std::vector<uint8_t> payload = c.payload;
        bus.Publish(static_cast<EventType>(c.event), payload.data(), static_cast<int>(payload.size()));
        SharedResource expected;
        c.change(expected);
        ExpectSameRecord(expected, Store());
    }
}

TEST_F(VirtualEventBusTest, ConvertsTheFlagEventsToTheirStoredValues) {
    uint8_t byte = 0;
    bus.Publish(static_cast<EventType>(5015), &byte, 1);
    EXPECT_EQ(Store().member12, 0);
    byte = 1;
    bus.Publish(static_cast<EventType>(5015), &byte, 1);
    EXPECT_EQ(Store().member12, 3);
    byte = 0;
    bus.Publish(static_cast<EventType>(5015), &byte, 1);
    EXPECT_EQ(Store().member12, 0);

    for (uint8_t value : {0, 2, 255}) {
        byte = 1;
        bus.Publish(static_cast<EventType>(8006), &byte, 1);
        EXPECT_TRUE(Store().member14);
        byte = value;
        bus.Publish(static_cast<EventType>(8006), &byte, 1);
        EXPECT_FALSE(Store().member14) << "payload byte " << int(value);
    }
}

TEST_F(VirtualEventBusTest, BadPayloadsAndUnknownNumbersLeaveTheStoreAlone) {
    bus.Publish(static_cast<EventType>(3007), nullptr, 1);
    uint8_t four[16] = {9, 9, 9, 9};
    bus.Publish(static_cast<EventType>(3002), four, 8);  // shorter than the member
    bus.Publish(static_cast<EventType>(3007), four, 0);
    bus.Publish(static_cast<EventType>(1234), four, 16);
    bus.Publish(CAMERA_SET_ISO_EVENT, four, 16);
    SharedResource r = Store();
    EXPECT_EQ(r.member6, 0);
    EXPECT_EQ(r.member8[0], 0);
    EXPECT_TRUE(r.member14);
    EXPECT_EQ(r.member9.value, 8000);
}

class RemoteForwardingTest : public VirtualEventBusTest {
  protected:
    void SetUp() override {
        VirtualEventBusTest::SetUp();
        bus.m_udpSocket = zr_local_udp_open(nullptr);
        ASSERT_GE(bus.m_udpSocket, 0);
    }
    void TearDown() override { ::close(bus.m_udpSocket); }
};

TEST_F(RemoteForwardingTest, EachRemoteNameReceivesHeaderAndPayload) {
    RemoteListener a("bus-a"), b("bus-b");
    ASSERT_GE(a.Fd(), 0);
    ASSERT_GE(b.Fd(), 0);
    bus.m_remoteNames = {a.Name(), b.Name()};

    char payload[100] = {};
    std::strcpy(payload, "f/2.8");
    bus.Publish(CAMERA_SET_IRIS_EVENT, payload, 100);
    for (RemoteListener* l : {&a, &b}) {
        std::vector<uint8_t> d = l->Receive();
        ASSERT_EQ(d.size(), 108u);
        EXPECT_EQ(ReadInt32(d, 0), 9003);
        EXPECT_EQ(ReadInt32(d, 4), 100);
        EXPECT_EQ(std::memcmp(d.data() + 8, payload, 100), 0);
    }
}

TEST_F(RemoteForwardingTest, NullPayloadIsSentAsZeros) {
    RemoteListener l("bus-null");
    bus.m_remoteNames = {l.Name()};
    bus.Publish(static_cast<EventType>(4321), nullptr, 4);
    std::vector<uint8_t> d = l.Receive();
    ASSERT_EQ(d.size(), 12u);
    EXPECT_EQ(ReadInt32(d, 0), 4321);
    EXPECT_EQ(ReadInt32(d, 4), 4);
    EXPECT_EQ(ReadInt32(d, 8), 0);

    bus.Publish(static_cast<EventType>(4322), nullptr, 0);
    d = l.Receive();
    ASSERT_EQ(d.size(), 8u);
    EXPECT_EQ(ReadInt32(d, 0), 4322);
    EXPECT_EQ(ReadInt32(d, 4), 0);
}

TEST_F(RemoteForwardingTest, ParameterRecordLeavesAsA240ByteDatagram) {
    RemoteListener l("bus-record");
    bus.m_remoteNames = {l.Name()};
    CameraParams params;
    params.cameraType = SonyA7M3;
    params.recordEnable = true;
    params.connectState = 2;
    params.dispMode = true;
    bus.Publish(CAMERA_PARAMS_NOTIFY_EVENT, &params, kCameraParamsWireSize);
    std::vector<uint8_t> d = l.Receive();
    ASSERT_EQ(d.size(), 240u);
    EXPECT_EQ(ReadInt32(d, 0), 9000);
    EXPECT_EQ(ReadInt32(d, 4), 232);
    EXPECT_EQ(ReadInt32(d, 8 + kCameraTypeOffset), 1);
    EXPECT_EQ(d[8 + kRecordEnableOffset], 1);
    EXPECT_EQ(ReadInt32(d, 8 + kConnectStateOffset), 2);
#if defined(__arm__)
    EXPECT_EQ(d[8 + kDispModeOffset], 1) << "the display-mode flag sits at byte 228 on the device";
#endif
}

TEST_F(RemoteForwardingTest, ForwardsUnsubscribedNumbersAndSkipsMissingDestinations) {
    RemoteListener l("bus-live");
    // "bus-nobody" is not bound: its send fails and the next name is still served.
    bus.m_remoteNames = {"bus-a-nobody-" + std::to_string(::getpid()), l.Name()};
    int32_t v = 77;
    bus.Publish(static_cast<EventType>(7777), &v, 4);
    std::vector<uint8_t> d = l.Receive();
    ASSERT_EQ(d.size(), 12u);
    EXPECT_EQ(ReadInt32(d, 8), 77);
}

TEST_F(RemoteForwardingTest, NegativeLengthSendsNothingButStillDelivers) {
    RemoteListener l("bus-neg");
    bus.m_remoteNames = {l.Name()};
    int calls = 0, owner = 0;
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int len) { calls += (len == -5); }, &owner});
    bus.Publish(CAMERA_SET_ISO_EVENT, nullptr, -5);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(l.Receive(100).empty());
}

TEST_F(VirtualEventBusTest, NoRemoteNamesMeansNoDatagram) {
    RemoteListener l("bus-unlisted");
    bus.m_udpSocket = zr_local_udp_open(nullptr);
    int32_t v = 1;
    bus.Publish(static_cast<EventType>(7000), &v, 4);
    EXPECT_TRUE(l.Receive(100).empty());
    ::close(bus.m_udpSocket);
}

}  // namespace
