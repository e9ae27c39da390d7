// Process-wide store of the latest host states that travel as bus events.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <shared_mutex>

struct VideoInputEventInfo {
    int32_t width = 1920;
    int32_t height = 1080;
    uint8_t flag = 0;
    int32_t value = 8000;
    float frameRate = 60.0f;
    int32_t value2 = 60;
};

struct VideoDecodeEventInfo {
    int32_t width = 1920;
    int32_t height = 1080;
    uint8_t flag = 0;
    int32_t value = 60;
    float frameRate = 60.0f;
    uint8_t flag2 = 0;
    int32_t value2 = 0;
};

enum SharedResourceMember : int32_t {
    SHARED_RESOURCE_ALL = 1,
    SHARED_RESOURCE_MEMBER2 = 2,
    SHARED_RESOURCE_MEMBER3,
    SHARED_RESOURCE_MEMBER4,
    SHARED_RESOURCE_MEMBER5,
    SHARED_RESOURCE_MEMBER6,
    SHARED_RESOURCE_MEMBER7,
    SHARED_RESOURCE_MEMBER8,
    SHARED_RESOURCE_MEMBER9,
    SHARED_RESOURCE_MEMBER10,
    SHARED_RESOURCE_MEMBER11,
    SHARED_RESOURCE_MEMBER12,
    SHARED_RESOURCE_MEMBER13,
    SHARED_RESOURCE_MEMBER14,
    SHARED_RESOURCE_MEMBER15,
};

struct SharedResource {
    int32_t member2 = 0;
    uint8_t member3 = 0;
    int32_t member4 = 0;
    uint8_t member5 = 0;
    uint8_t member6 = 0;
    uint8_t member7 = 0;
    int32_t member8[4] = {0, 0, 0, 0};
    VideoInputEventInfo member9;
    VideoDecodeEventInfo member10;
    int32_t reserved = 0;  // keeps member11 at byte 88, as the host lays the record out
    int32_t member11[6] = {0, 0, 0, 0, 0, 0};
    uint8_t member12 = 0;
    uint8_t member13 = 0;
    bool member14 = true;
    uint8_t member15 = 0;
};

static_assert(sizeof(VideoInputEventInfo) == 24, "host layout of VideoInputEventInfo");
static_assert(offsetof(VideoInputEventInfo, value) == 12 && offsetof(VideoInputEventInfo, value2) == 20,
              "host layout of VideoInputEventInfo");
static_assert(sizeof(VideoDecodeEventInfo) == 28, "host layout of VideoDecodeEventInfo");
static_assert(offsetof(VideoDecodeEventInfo, flag2) == 20 && offsetof(VideoDecodeEventInfo, value2) == 24,
              "host layout of VideoDecodeEventInfo");
static_assert(sizeof(SharedResource) == 116, "host layout of SharedResource");
static_assert(offsetof(SharedResource, member8) == 16 && offsetof(SharedResource, member9) == 32 &&
                  offsetof(SharedResource, member10) == 56 && offsetof(SharedResource, member11) == 88 &&
                  offsetof(SharedResource, member12) == 112 && offsetof(SharedResource, member15) == 115,
              "host layout of SharedResource");

class SharedDataStore {
  public:
    static SharedDataStore& GetInstance() {
        static SharedDataStore instance;
        return instance;
    }

    SharedDataStore(const SharedDataStore&) = delete;
    SharedDataStore& operator=(const SharedDataStore&) = delete;

    void Get(SharedResource& out) const {
        std::shared_lock<std::shared_mutex> lock(m_lock);
        out = m_resource;
    }

    // Copies only the selected member of `in`; 1 copies the whole record, any
    // value outside 1..15 copies nothing.
    void Set(const SharedResource& in, SharedResourceMember member) {
        std::unique_lock<std::shared_mutex> lock(m_lock);
        SharedResource& r = m_resource;
        switch (member) {
            case SHARED_RESOURCE_ALL:
                r = in;
                break;
            case SHARED_RESOURCE_MEMBER2:
                r.member2 = in.member2;
                break;
            case SHARED_RESOURCE_MEMBER3:
                r.member3 = in.member3;
                break;
            case SHARED_RESOURCE_MEMBER4:
                r.member4 = in.member4;
                break;
            case SHARED_RESOURCE_MEMBER5:
                r.member5 = in.member5;
                break;
            case SHARED_RESOURCE_MEMBER6:
                r.member6 = in.member6;
                break;
            case SHARED_RESOURCE_MEMBER7:
                r.member7 = in.member7;
                break;
            case SHARED_RESOURCE_MEMBER8:
                std::copy(in.member8, in.member8 + 4, r.member8);
                break;
            case SHARED_RESOURCE_MEMBER9:
                r.member9 = in.member9;
                break;
            case SHARED_RESOURCE_MEMBER10:
                r.member10 = in.member10;
                break;
            case SHARED_RESOURCE_MEMBER11:
                std::copy(in.member11, in.member11 + 6, r.member11);
                break;
            case SHARED_RESOURCE_MEMBER12:
                r.member12 = in.member12;
                break;
            case SHARED_RESOURCE_MEMBER13:
                r.member13 = in.member13;
                break;
            case SHARED_RESOURCE_MEMBER14:
                r.member14 = in.member14;
                break;
            case SHARED_RESOURCE_MEMBER15:
                r.member15 = in.member15;
                break;
            default:
                break;
        }
    }

  private:
    SharedDataStore() = default;

    mutable std::shared_mutex m_lock;
    SharedResource m_resource;
};
