// The host's in-process publish/subscribe bus with forwarding to remote names.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "SharedDataStore.h"
#include "zrlog.h"

enum EventType : int32_t {
    HOST_EVENT_3002 = 3002,  // four 32-bit words -> store member 8
    HOST_EVENT_3004 = 3004,  // six 32-bit words -> store member 11
    HOST_EVENT_3007 = 3007,  // one byte -> store member 6
    HOST_EVENT_5015 = 5015,  // one byte; store member 12 gets 3 when non-zero, else 0
    HOST_EVENT_6002 = 6002,  // one byte -> store member 7
    HOST_EVENT_6004 = 6004,  // one byte -> store member 12
    HOST_EVENT_8000 = 8000,  // VideoInputEventInfo -> store member 9
    HOST_EVENT_8001 = 8001,  // VideoDecodeEventInfo -> store member 10
    HOST_EVENT_8006 = 8006,  // one byte; store member 14 gets (byte == 1)

    CAMERA_PARAMS_NOTIFY_EVENT = 9000,
    CAMERA_SET_FOCUS_MODE_EVENT = 9001,
    CAMERA_SET_ISO_EVENT = 9002,
    CAMERA_SET_IRIS_EVENT = 9003,
    CAMERA_SET_SHUTTER_SPEED_EVENT = 9004,
    CAMERA_SET_WHITE_BALANCE_EVENT = 9005,
    CAMERA_ENABLE_RECORD_EVENT = 9006,
    CAMERA_TOUCH_FOCUS_EVENT = 9007,
};

struct EventSubcribe {
    std::function<void(void* data, int length)> callback;
    void* owner = nullptr;
};

// Subscribers are called on the publishing thread, without any lock held, so a
// callback may publish, subscribe or unsubscribe. The subscription map has a
// small lock of its own because plug-ins publish from their worker threads
// while the host subscribes and unsubscribes from its own.
class VirtualEventBus {
  public:
    void Subscribe(EventType type, EventSubcribe sub) {
        std::lock_guard<std::mutex> lock(m_subscribersMutex);
        m_subscribers.emplace(type, std::move(sub));
    }

    // Removes the oldest subscription of `type` owned by `owner`, if any.
    void UnSubscribe(EventType type, void* owner) {
        std::lock_guard<std::mutex> lock(m_subscribersMutex);
        auto range = m_subscribers.equal_range(type);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second.owner == owner) {
                m_subscribers.erase(it);
                return;
            }
        }
    }

    void Publish(EventType type, void* data, int length) {
        Mirror(type, data, length);
        std::vector<std::function<void(void*, int)>> callbacks;
        {
            std::lock_guard<std::mutex> lock(m_subscribersMutex);
            auto range = m_subscribers.equal_range(type);
            for (auto it = range.first; it != range.second; ++it) {
                if (it->second.callback) {
                    callbacks.push_back(it->second.callback);
                }
            }
        }
        for (auto& callback : callbacks) {
            callback(data, length);
        }
        PublishToRemote(type, data, length);
    }

    // Datagram: event number (int32), payload length (int32), payload bytes
    // (zeros for a null payload). A negative length sends nothing.
    void PublishToRemote(EventType type, void* data, int length) {
        if (m_remoteNames.empty() || length < 0) {
            return;
        }
        size_t total = static_cast<size_t>(length) + 8;
        std::shared_ptr<uint8_t[]> buffer(new uint8_t[total]());
        int32_t header[2] = {static_cast<int32_t>(type), static_cast<int32_t>(length)};
        std::memcpy(buffer.get(), header, sizeof(header));
        if (data != nullptr && length > 0) {
            std::memcpy(buffer.get() + 8, data, static_cast<size_t>(length));
        }
        for (const std::string& name : m_remoteNames) {
            zr_local_udp_send(m_udpSocket, name.c_str(), buffer.get(), total);
        }
    }

    // Set by the host: its datagram socket and the remote destination names.
    std::multimap<EventType, EventSubcribe> m_subscribers;
    int m_udpSocket = -1;
    std::set<std::string> m_remoteNames;

  private:
    std::mutex m_subscribersMutex;

    // Writes the payload of a mirrored event into its store member, through a
    // private copy so that only that member is replaced. A null payload, or one
    // shorter than the member, is not mirrored.
    static void Mirror(EventType type, const void* data, int length) {
        if (data == nullptr || length < 0) {
            return;
        }
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        auto mirror = [&](SharedResourceMember member, size_t need, auto write) {
            if (static_cast<size_t>(length) < need) {
                return;
            }
            SharedDataStore& store = SharedDataStore::GetInstance();
            SharedResource copy;
            store.Get(copy);
            write(copy);
            store.Set(copy, member);
        };
        switch (type) {
            case HOST_EVENT_3002:
                mirror(SHARED_RESOURCE_MEMBER8, 16,
                       [&](SharedResource& r) { std::memcpy(r.member8, bytes, 16); });
                break;
            case HOST_EVENT_3004:
                mirror(SHARED_RESOURCE_MEMBER11, 24,
                       [&](SharedResource& r) { std::memcpy(r.member11, bytes, 24); });
                break;
            case HOST_EVENT_3007:
                mirror(SHARED_RESOURCE_MEMBER6, 1, [&](SharedResource& r) { r.member6 = bytes[0]; });
                break;
            case HOST_EVENT_5015:
                mirror(SHARED_RESOURCE_MEMBER12, 1,
                       [&](SharedResource& r) { r.member12 = bytes[0] != 0 ? 3 : 0; });
                break;
            case HOST_EVENT_6002:
                mirror(SHARED_RESOURCE_MEMBER7, 1, [&](SharedResource& r) { r.member7 = bytes[0]; });
                break;
            case HOST_EVENT_6004:
                mirror(SHARED_RESOURCE_MEMBER12, 1, [&](SharedResource& r) { r.member12 = bytes[0]; });
                break;
            case HOST_EVENT_8000:
                mirror(SHARED_RESOURCE_MEMBER9, sizeof(VideoInputEventInfo), [&](SharedResource& r) {
                    std::memcpy(static_cast<void*>(&r.member9), bytes, sizeof(VideoInputEventInfo));
                });
                break;
            case HOST_EVENT_8001:
                mirror(SHARED_RESOURCE_MEMBER10, sizeof(VideoDecodeEventInfo), [&](SharedResource& r) {
                    std::memcpy(static_cast<void*>(&r.member10), bytes, sizeof(VideoDecodeEventInfo));
                });
                break;
            case HOST_EVENT_8006:
                mirror(SHARED_RESOURCE_MEMBER14, 1, [&](SharedResource& r) { r.member14 = bytes[0] == 1; });
                break;
            default:
                break;
        }
    }
};
