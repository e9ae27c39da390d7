// The host's contracts: its store of states, its event bus with the remote forwarding, and the
// comparison of parameter records.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <numeric>
#include <thread>

#include "CameraParams.h"
#include "RemoteListener.h"
#include "SharedResourceCompare.h"
#include "VirtualEventBus.h"

namespace {

SharedResource Stored() {
    SharedResource r;
    SharedDataStore::GetInstance().Get(r);
    return r;
}

void Store(const SharedResource& r, int member = SHARED_RESOURCE_ALL) {
    SharedDataStore::GetInstance().Set(r, static_cast<SharedResourceMember>(member));
}

TEST(SharedDataStoreTest, SetCopiesOnlyTheSelectedMember) {
    SharedResource in;
    in.member2 = 2, in.member3 = 3, in.member4 = 4, in.member5 = 5, in.member6 = 6, in.member7 = 7;
    std::iota(in.member8, in.member8 + 4, 80);
    in.member9.value = 9, in.member9.frameRate = 29.97f, in.member10.flag2 = 1, in.member10.value2 = 10;
    std::iota(in.member11, in.member11 + 6, 110);
    in.member12 = 12, in.member13 = 13, in.member14 = false, in.member15 = 15;
#define MEMBER(m) [&](SharedResource& r) { std::memcpy(static_cast<void*>(&r.m), &in.m, sizeof r.m); }
    const std::function<void(SharedResource&)> copies[] = {
        MEMBER(member2),  MEMBER(member3),  MEMBER(member4),  MEMBER(member5),  MEMBER(member6),
        MEMBER(member7),  MEMBER(member8),  MEMBER(member9),  MEMBER(member10), MEMBER(member11),
        MEMBER(member12), MEMBER(member13), MEMBER(member14), MEMBER(member15)};
#undef MEMBER
    for (int member : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 1000}) {
        SCOPED_TRACE("member " + std::to_string(member));
        Store(SharedResource{});
        Store(in, member);
        SharedResource expected;
        if (member == SHARED_RESOURCE_ALL)
            expected = in;
        if (member >= 2 && member <= 15)
            copies[member - 2](expected);
        ExpectSameRecord(expected, Stored());
    }
}

constexpr int kRounds = 3000;

template <size_t N>
void Writer(int32_t (SharedResource::*member)[N], SharedResourceMember which, int sign) {
    for (int i = 1; i <= kRounds; ++i) {
        SharedResource copy = Stored();
        std::fill_n(copy.*member, N, sign * i);
        Store(copy, which);
    }
}

// Writers mirror different members through read-modify-write, as the bus does; readers never see a
// member half-written, and no writer undoes another's member.
TEST(SharedDataStoreTest, ConcurrentReadModifyWriteKeepsMembersWholeAndIndependent) {
    Store(SharedResource{});
    std::atomic<bool> torn{false}, stop{false};
    std::vector<std::thread> readers(3);
    for (auto& t : readers)
        t = std::thread([&] {
            while (!stop) {
                SharedResource r = Stored();
                torn = torn || std::count(r.member8, r.member8 + 4, r.member8[0]) != 4 ||
                       std::count(r.member11, r.member11 + 6, r.member11[0]) != 6;
            }
        });
    std::thread w1(Writer<4>, &SharedResource::member8, SHARED_RESOURCE_MEMBER8, 1);
    std::thread w2(Writer<6>, &SharedResource::member11, SHARED_RESOURCE_MEMBER11, -1);
    w1.join();
    w2.join();
    stop = true;
    for (auto& t : readers)
        t.join();
    EXPECT_FALSE(torn.load());
    EXPECT_EQ(Stored().member8[0] - Stored().member11[0], 2 * kRounds)
        << "no writer undid the other's member";
}

TEST(VirtualEventBusTest, DeliversInSubscriptionOrderAndUnsubscribeRemovesTheOwnersOldest) {
    VirtualEventBus bus;
    std::string calls;
    int a = 0, b = 0;
    void* seen = nullptr;
    int seenLength = 0;
    auto subscribe = [&](EventType type, const char* name, void* owner) {
        bus.Subscribe(type, {[&, name](void* d, int l) { calls += name, seen = d, seenLength = l; }, owner});
    };
    auto publish = [&](std::initializer_list<EventType> types) {
        calls.clear();
        for (EventType type : types)
            bus.Publish(type, nullptr, 0);
        return calls;
    };
    subscribe(CAMERA_SET_ISO_EVENT, "1", &a);
    subscribe(CAMERA_SET_IRIS_EVENT, "x", &b);
    subscribe(CAMERA_SET_ISO_EVENT, "2", &b);
    subscribe(CAMERA_SET_ISO_EVENT, "3", &a);
    char payload[100] = "800";
    bus.Publish(CAMERA_SET_ISO_EVENT, payload, 100);
    EXPECT_EQ(calls, "123");
    EXPECT_EQ(seen, payload) << "every subscriber gets the publisher's pointer";
    EXPECT_EQ(seenLength, 100);
    bus.UnSubscribe(CAMERA_SET_ISO_EVENT, &a);
    bus.UnSubscribe(CAMERA_SET_FOCUS_MODE_EVENT, &b);  // none of b's under that number
    EXPECT_EQ(publish({CAMERA_SET_ISO_EVENT}), "23");
    bus.UnSubscribe(CAMERA_SET_ISO_EVENT, &a);
    bus.UnSubscribe(CAMERA_SET_ISO_EVENT, &a);  // none left
    EXPECT_EQ(publish({CAMERA_SET_ISO_EVENT, CAMERA_SET_IRIS_EVENT}), "2x");
    subscribe(CAMERA_TOUCH_FOCUS_EVENT, "t", &a);
    subscribe(CAMERA_TOUCH_FOCUS_EVENT, "t", &a);
    EXPECT_EQ(publish({CAMERA_TOUCH_FOCUS_EVENT}), "tt");
    auto again = [&](void*, int) {  // a callback may unsubscribe and subscribe
        bus.UnSubscribe(CAMERA_ENABLE_RECORD_EVENT, &b), subscribe(CAMERA_SET_WHITE_BALANCE_EVENT, "w", &b);
    };
    bus.Subscribe(CAMERA_ENABLE_RECORD_EVENT, {again, &b});
    EXPECT_EQ(
        publish({CAMERA_ENABLE_RECORD_EVENT, CAMERA_ENABLE_RECORD_EVENT, CAMERA_SET_WHITE_BALANCE_EVENT}),
        "w");
}

template <typename T>
std::vector<uint8_t> BytesOf(const T& value) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&value);
    return std::vector<uint8_t>(b, b + sizeof value);
}

TEST(VirtualEventBusTest, MirrorsEachHostEventIntoItsStoreMemberOnlyWhenThePayloadHoldsIt) {
    const int32_t four[4] = {1, -2, 3, 0x7fffffff}, six[6] = {10, 20, 30, 40, 50, -60};
    const VideoInputEventInfo in{3840, 2160, 1, 7, 29.97f, 30};
    const VideoDecodeEventInfo dec{1280, 720, 1, 25, 25.0f, 1, 9};
    // Event, payload (empty: a null pointer), length, change to the record before (none: no change).
    const std::tuple<int, std::vector<uint8_t>, int, std::function<void(SharedResource&)>> cases[] = {
        {3002, BytesOf(four), 16, [&](SharedResource& r) { std::memcpy(r.member8, four, 16); }},
        {3004, BytesOf(six), 24, [&](SharedResource& r) { std::memcpy(r.member11, six, 24); }},
        {3007, {42}, 1, [](SharedResource& r) { r.member6 = 42; }},
        {6002, {43}, 1, [](SharedResource& r) { r.member7 = 43; }},
        {6004, {44}, 1, [](SharedResource& r) { r.member12 = 44; }},
        {5015, {7}, 1, [](SharedResource& r) { r.member12 = 3; }},
        {5015, {0}, 1, [](SharedResource& r) { r.member12 = 0; }},
        {8000, BytesOf(in), sizeof in, [&](SharedResource& r) { r.member9 = in; }},
        {8001, BytesOf(dec), sizeof dec, [&](SharedResource& r) { r.member10 = dec; }},
        {8006, {0}, 1, [](SharedResource& r) { r.member14 = false; }},
        {8006, {2}, 1, [](SharedResource& r) { r.member14 = false; }},
        {8006, {1}, 1, nullptr},
        {3007, {}, 1, nullptr},
        {3007, {42}, -1, nullptr},
        {3002, BytesOf(four), 15, nullptr},
        {1234, BytesOf(four), 16, nullptr},
    };
    VirtualEventBus bus;
    for (const auto& [event, bytes, length, change] : cases) {
        SCOPED_TRACE("event " + std::to_string(event) + ", length " + std::to_string(length));
        SharedResource before;
        before.member12 = 9;
        Store(before);
        std::vector<uint8_t> payload = bytes;
        bus.Publish(static_cast<EventType>(event), payload.empty() ? nullptr : payload.data(), length);
        if (change)
            change(before);
        ExpectSameRecord(before, Stored());
    }
}

std::vector<uint8_t> Datagram(int32_t event, std::vector<uint8_t> payload) {
    std::vector<uint8_t> d = BytesOf(event), length = BytesOf(static_cast<int32_t>(payload.size()));
    d.insert(d.end(), length.begin(), length.end());
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

// Datagram: event number, payload length, payload (zeros for a null one), to every remote name.
TEST(RemoteForwardingTest, EveryNameGetsEachPublicationAsHeaderAndPayload) {
    VirtualEventBus bus;
    RemoteListener a("bus-a"), b("bus-b");
    bus.m_udpSocket = zr_local_udp_open(nullptr);
    int32_t v = 77;
    bus.Publish(static_cast<EventType>(7000), &v, 4);
    EXPECT_TRUE(a.Receive(100).empty()) << "no remote names, no datagram";
    // "bus-a-nobody" is not bound: its send fails and the next names are still served.
    bus.m_remoteNames = {"bus-a-nobody-" + std::to_string(::getpid()), a.Name(), b.Name()};
    char iris[100] = "f/2.8";
    bus.Publish(CAMERA_SET_IRIS_EVENT, iris, 100);
    for (RemoteListener* l : {&a, &b})
        EXPECT_EQ(l->Receive(), Datagram(9003, std::vector<uint8_t>(iris, iris + 100)));
    bus.Publish(static_cast<EventType>(7777), &v, 4);
    bus.Publish(static_cast<EventType>(4321), nullptr, 4);
    bus.Publish(static_cast<EventType>(4322), nullptr, 0);
    int calls = 0;
    bus.Subscribe(CAMERA_SET_ISO_EVENT, {[&](void*, int length) { calls += length == -5; }, &calls});
    bus.Publish(CAMERA_SET_ISO_EVENT, nullptr, -5);
    EXPECT_EQ(calls, 1) << "a negative length is delivered, not sent";
    EXPECT_EQ(a.Receive(), Datagram(7777, BytesOf(v)));
    EXPECT_EQ(a.Receive(), Datagram(4321, {0, 0, 0, 0}));
    EXPECT_EQ(a.Receive(), Datagram(4322, {}));
    EXPECT_TRUE(a.Receive(100).empty());

    CameraParams params;
    params.cameraType = SonyA7M3, params.recordEnable = true, params.connectState = 2, params.dispMode = true;
    bus.Publish(CAMERA_PARAMS_NOTIFY_EVENT, &params, kCameraParamsWireSize);
    std::vector<uint8_t> d = a.Receive();
    ASSERT_EQ(d.size(), 240u);
    EXPECT_EQ(std::vector<int32_t>({ReadInt32(d, 0), ReadInt32(d, 4), ReadInt32(d, 8 + kCameraTypeOffset),
                                    d[8 + kRecordEnableOffset], ReadInt32(d, 8 + kConnectStateOffset)}),
              std::vector<int32_t>({9000, 232, 1, 1, 2}));
#if defined(__arm__)
    EXPECT_EQ(d[8 + kDispModeOffset], 1) << "the display-mode flag sits at byte 228 on the device";
#endif
    ::close(bus.m_udpSocket);
}

TEST(CameraParamsRecord, EqualityComparesEveryFieldButTheDisplayMode) {
    CameraParams a;
    a.cameraType = SonyA7M3, a.recordEnable = true, a.connectState = 1, a.focusMode = "AF-S";
    a.supportedFocusMode = {"AF-S", "MF"}, a.iso = "800", a.supportedIso = {"AUTO", "100", "800"};
    a.iris = "f/2.8", a.supportedIris = {"f/2.8", "f/4"}, a.shutterSpeed = "1/250";
    a.supportedShutterSpeed = {"1/125", "1/250"}, a.mode = "M", a.supportedMode = {"P", "M"};
    a.whiteBalance = "Daylight", a.supportedWhiteBalance = {"Auto", "Daylight"}, a.dispMode = true;
    CameraParams c = a;
    c.dispMode = false;
    EXPECT_TRUE(a == c && !(a != c));
    std::vector<CameraParams> v(15, a);  // each differs from a in one field
    v[0].cameraType = SonyA7M4, v[1].recordEnable = false, v[2].connectState = 2, v[3].focusMode = "MF";
    v[4].supportedFocusMode.pop_back(), v[5].iso = std::string("800\0", 4), v[6].supportedIso[0] = "800";
    v[7].iris = "f/2.80", v[8].supportedIris[1] = "f/5.6", v[9].shutterSpeed.clear(), v[10].mode = "m";
    v[11].supportedShutterSpeed.clear(), v[12].supportedMode = {"P"}, v[13].whiteBalance += " ";
    v[14].supportedWhiteBalance[0] = "AWB";
    for (size_t i = 0; i < v.size(); ++i)
        EXPECT_TRUE(a != v[i] && !(a == v[i])) << "change " << i;
}

}  // namespace
