#include "PluginCameraCtrlV2.h"

#include <gphoto2/gphoto2-abilities-list.h>
#include <gphoto2/gphoto2-list.h>
#include <gphoto2/gphoto2-result.h>
#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "CameraEventDecoder.h"
#include "NumberText.h"
#include "SetRequests.h"
#include "zrlog.h"

namespace {

constexpr int kTaskWaitMs = 100;
constexpr int kPushWaitMs = 100;
constexpr int kEventWaitMs = 50;
// The idle event wait is made of waits this long, so that a set request that arrives during
// it waits for at most one of them instead of the whole wait.
constexpr int kEventWaitSliceMs = 25;
// How long the sets still queued when the host stops, and the camera's answers to them, may
// keep the worker (a set already started finishes).
constexpr int kStopDrainMs = 1000;
constexpr int kConnectErrorsReported = 3;
constexpr int kAbsentPassesRepeat = 20;

// Optional white space and sign, then digits; anything else ends it (none: 0).
int PayloadNumber(const std::string& text) {
    long long value = 0;
    if (!numtext::LeadingInteger(text.c_str(), value)) {
        return 0;
    }
    return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, value)));
}

bool IsConnectionLoss(int ret) {
    return ret == GP_ERROR_MODEL_NOT_FOUND || ret == GP_ERROR_IO || ret == GP_ERROR_IO_USB_FIND;
}

}  // namespace

PluginCameraCtrlV2::PluginCameraCtrlV2(const char* name) : PluginInterface(name) {}

PluginCameraCtrlV2::~PluginCameraCtrlV2() {
    // A host that forgot UnInit must not leave a running thread or
    // subscriptions pointing at a dead object.
    if (m_taskThread.joinable()) {
        UnInit();
    }
    // UnInit leaves the camera connection open; unloading the plug-in must
    // not leak it (the handles would outlive the only code that can free them).
    DisConnectCamera();
}

int PluginCameraCtrlV2::Init(const std::shared_ptr<VirtualEventBus>& bus,
                             const std::shared_ptr<CZRAVBufMng>&) {
    if (m_taskThread.joinable()) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, parameter error");
        return -1;
    }
    if (m_cameraParams) {
        // A restart begins afresh: the connection the last run left open is closed (its camera
        // object reports into the record about to be replaced), and nothing queued is kept.
        DisConnectCamera();
    }
    DropWaitingTasks();
    m_eventBus = bus;
    ROOT_LOG(ZR_LOG_INFO, "CameraCtrl thread init");
    m_cameraParams.reset(new (std::nothrow) CameraParams());
    if (!m_cameraParams) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to create m_cameraParams, no memory");
        return -1;
    }
    m_cameraParamsBak.reset(new (std::nothrow) CameraParams());
    if (!m_cameraParamsBak) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to create m_cameraParamsBak, no memory");
        return -1;
    }
    m_cameraFactory.reset(new (std::nothrow) CameraFactory());
    if (!m_cameraFactory) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to create m_cameraFactory, no memory");
        return -1;
    }
    ConnectCamera();  // a camera plugged in later is found by the worker thread
    SubscribeEvent();
    m_stop = false;
    try {
        m_taskThread = std::thread(&PluginCameraCtrlV2::DoTasksThread, this);
    } catch (...) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to create CameraDoTsk thread");
        UnSubscribeEvent();
        return -1;
    }
    return 0;
}

int PluginCameraCtrlV2::UnInit() {
    UnSubscribeEvent();
    m_stop = true;
    if (m_taskThread.joinable()) {
        // Wakes a worker waiting for a task; it runs the sets already queued before it ends.
        // The queue stays open, so that a later Init starts a worker that works.
        QueueTask(Task(), 1);
        m_taskThread.join();
    }
    return 0;
}

int PluginCameraCtrlV2::ConnectCamera() {
    if (m_connected) {
        return 0;
    }
    auto connection = std::make_unique<CameraConnection>();
    const int result = connection->Open(m_detector, *m_cameraFactory);
    if (result != GP_OK) {
        DisConnectCamera();
        return result;
    }
    m_connection = std::move(connection);
    if (Model() != nullptr) {
        Model()->RegisterNotifyCallback([this](CameraParams*) { return PublishIfChanged(); },
                                        m_cameraParams.get());
    }
    m_connected = true;
    m_forceNotify = true;
    m_cameraParams->connectState = 1;
    if (GetCameraParams() == 0) {
        PublishIfChanged();
    }
    return 0;
}

void PluginCameraCtrlV2::DisConnectCamera() {
    m_connected = false;
    m_connection.reset();
}

int PluginCameraCtrlV2::DoTasksThread() {
    prctl(PR_SET_NAME, "CameraDoTsk", 0, 0, 0);
    int noCameraPasses = 0;
    int connectErrors = 0;
    while (!m_stop) {
        Task task;
        int taken = TakeTask(task, kTaskWaitMs);
        if (taken == -2) {
            // A timed Take waits once: a push during the wait ends it without handing the
            // task over. The pass that would come first still runs, and still handles what
            // the camera reported before the task, but looks at its events without waiting.
            taken = TakeTask(task, 0);
            if (taken == 0) {
                PollPass(noCameraPasses, connectErrors, 0);
            }
        }
        if (taken != 0) {
            PollPass(noCameraPasses, connectErrors, kEventWaitMs);
            continue;
        }
        // The camera answers a set with an event: read it now rather than after a
        // queue wait that nothing would end.
        if (RunTasks(std::move(task)) && !m_stop) {
            PollPass(noCameraPasses, connectErrors, kEventWaitMs);
        }
    }
    FinishPendingSets();
    return 0;
}

bool PluginCameraCtrlV2::RunTasks(Task task) {
    // A round is what was queued when it began: requests that keep coming (a dial turned
    // fast) wait for the next round, after the camera's answers were read and published.
    int behind = m_tasksWaiting.load();
    bool ran = false;
    do {
        if (task) {
            ran = ran || m_connected;
            task();  // a request refuses itself while not connected
        }
        task = nullptr;
    } while (!m_stop && behind-- > 0 && TakeTask(task, 0) == 0);
    return ran;
}

void PluginCameraCtrlV2::FinishPendingSets() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopDrainMs);
    auto timeLeft = [&end] { return std::chrono::steady_clock::now() < end; };
    Task task;
    while (timeLeft() && TakeTask(task, 0) == 0) {
        if (task) {
            task();
        }
        task = nullptr;
    }
    // The host's last record should show what the camera made of them.
    while (m_connected && timeLeft() && WaitCameraEventOnce(kEventWaitMs)) {
    }
    DropWaitingTasks();
}

void PluginCameraCtrlV2::DropWaitingTasks() {
    Task task;
    while (TakeTask(task, 0) == 0) {
    }
    std::lock_guard<std::mutex> lock(m_requestsMutex);
    for (Task& request : m_requests) {
        request = nullptr;
    }
}

int PluginCameraCtrlV2::TakeTask(Task& task, int timeoutMs) {
    int taken = m_taskQueue.Take(task, timeoutMs);
    if (taken == 0) {
        --m_tasksWaiting;
    }
    return taken;
}

void PluginCameraCtrlV2::PollPass(int& noCameraPasses, int& connectErrors, int eventWaitMs) {
    CameraList* list = nullptr;
    int found = -1;
    if (gp_list_new(&list) >= GP_OK && list != nullptr) {
        found = m_detector.Detect(list, m_connection ? m_connection->Context() : nullptr);
    }
    const bool present = found > 0 && gp_list_count(list) > 0;
    if (list != nullptr) {
        gp_list_unref(list);
    }

    if (!present) {
        ++noCameraPasses;
        if (noCameraPasses == 1) {
            DisConnectCamera();
            m_cameraParams->connectState = 0;
            PublishConnectionState();
        }
        // Repeat the report on every 21st consecutive absent pass.
        if (noCameraPasses > kAbsentPassesRepeat) {
            noCameraPasses = 0;
        }
        return;
    }

    int r = ConnectCamera();
    if (r == GP_ERROR_TIMEOUT) {
        ROOT_LOG(ZR_LOG_INFO, "camera connected timed out!!");
        m_cameraParams->connectState = 2;
        PublishConnectionState();
        return;
    }
    if (r < 0) {
        if (++connectErrors >= kConnectErrorsReported) {
            ROOT_LOG(ZR_LOG_INFO, "camera connected error!!");
            m_cameraParams->connectState = 2;
            PublishConnectionState();
            connectErrors = 0;
        }
        return;
    }
    m_cameraParams->connectState = 1;
    noCameraPasses = 0;
    connectErrors = 0;
    // A publication is still owed after the connection (a read failed, say).
    if (m_forceNotify && GetCameraParams() == 0) {
        PublishIfChanged();
    }
    if (m_connected) {
        WaitCameraEvent(eventWaitMs);
    }
}

void PluginCameraCtrlV2::WaitCameraEvent(int timeoutMs) {
    // libgphoto2 cannot end a wait early; the drivers themselves look at the camera, sleep and
    // look again, so waiting in slices costs about one more look per slice. The wait as a whole
    // ends, as it always did, with the first thing the camera reports or after timeoutMs; and
    // also once a set request is waiting.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int left = timeoutMs;
    while (!WaitCameraEventOnce(std::min(left, kEventWaitSliceMs))) {
        if (m_stop) {
            return;
        }
        if (m_tasksWaiting.load() > 0) {
            // Cut short for a request: what the camera reported since the last look, before
            // the request came, still goes first.
            WaitCameraEventOnce(0);
            return;
        }
        left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count());
        if (left <= 0) {
            return;
        }
    }
}

bool PluginCameraCtrlV2::WaitCameraEventOnce(int timeoutMs) {
    // Types 10..17 are outside CameraEventType's enumerators: only the bytes
    // of the out-parameter are read, never the enum value itself.
    CameraEventType rawType;
    std::memset(&rawType, 0, sizeof(rawType));
    void* data = nullptr;
    int ret = gp_camera_wait_for_event(m_connection->GpCamera(), timeoutMs, &rawType, &data,
                                       m_connection->Context());
    int type = 0;
    std::memcpy(&type, &rawType, sizeof(type) < sizeof(rawType) ? sizeof(type) : sizeof(rawType));

    if (ret == GP_OK) {
        if (data == nullptr) {
            return type != GP_EVENT_TIMEOUT;
        }
        bool changed = HandleCameraEvent(type, data);
        std::free(data);
        if (changed) {
            PublishIfChanged();
        }
        return true;
    }
    if (data != nullptr) {
        std::free(data);
    }
    if (IsConnectionLoss(ret)) {
        ROOT_LOG(ZR_LOG_INFO, "====== 连接断开 =======");
        m_connected = false;
        m_cameraParams->connectState = 0;
        PublishConnectionState();
        DisConnectCamera();
    }
    return true;
}

bool PluginCameraCtrlV2::HandleCameraEvent(int type, const void* data) {
    switch (CameraEventDecoder::Decode(type, data, Model(), *m_cameraParams)) {
        case CameraEventDecoder::Outcome::ReadAll:
            return m_connected && GetCameraParams() == 0;
        case CameraEventDecoder::Outcome::ModeChanged:
            // The event's mode stays; what the models filter by it is read again, so that the
            // record never pairs the new mode with the old mode's lists.
            return m_connected && ReadParams(kReadAfterMode) == 0;
        case CameraEventDecoder::Outcome::RecordState:
            PublishIfChanged();
            return false;
        case CameraEventDecoder::Outcome::Changed:
            return true;
        case CameraEventDecoder::Outcome::Nothing:
            break;
    }
    return false;
}

int PluginCameraCtrlV2::GetCameraParams() {
    return ReadParams(0);
}

int PluginCameraCtrlV2::ReadParams(size_t first) {
    // Mode first: the models filter their lists by it.
    const std::function<int()> reads[] = {
        [this] { return GetCurrentMode(); },
        [this] { return GetCurrentDispMode(); },
        [this] { return GetRecordEnable(nullptr); },
        [this] { return GetFocusModeParam(); },
        [this] { return GetIsoParam(); },
        [this] { return GetIrisParam(); },
        [this] { return GetShutterSpeedParam(); },
        [this] { return GetWhiteBalanceParam(); },
    };
    for (size_t i = first; i < sizeof(reads) / sizeof(reads[0]); ++i) {
        if (reads[i]() < 0) {
            ROOT_LOG(ZR_LOG_ERR, "Failed to Get");  // the failed step
            ROOT_LOG(ZR_LOG_ERR, "Failed to Get");  // the whole re-read
            return -1;
        }
    }
    return 0;
}

void PluginCameraCtrlV2::PublishConnectionState() {
    if (m_eventBus && m_cameraParams) {
        m_eventBus->Publish(CAMERA_PARAMS_NOTIFY_EVENT, m_cameraParams.get(), kCameraParamsWireSize);
    }
}

bool PluginCameraCtrlV2::QueueTask(Task task, int priority) {
    ++m_tasksWaiting;
    if (m_taskQueue.Push(task, kPushWaitMs, priority) != 0) {
        --m_tasksWaiting;
        return false;
    }
    return true;
}

void PluginCameraCtrlV2::QueueRequest(int setting, Task request) {
    if (setting >= kSettingCount) {
        // Recording on/off and touches are actions: each one runs, in the order they came.
        QueueTask(std::move(request), 0);
        return;
    }
    // At most one task per setting is queued, so the queue never fills with settings and a
    // request is never dropped; only a value that a newer one of the same setting replaced is
    // skipped.
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(m_requestsMutex);
        queued = static_cast<bool>(m_requests[setting]);
        m_requests[setting] = std::move(request);
    }
    if (!queued && !QueueTask([this, setting] { RunRequest(setting); }, 0)) {
        std::lock_guard<std::mutex> lock(m_requestsMutex);
        m_requests[setting] = nullptr;
    }
}

void PluginCameraCtrlV2::RunRequest(int setting) {
    Task request;
    {
        std::lock_guard<std::mutex> lock(m_requestsMutex);
        request = std::move(m_requests[setting]);
        m_requests[setting] = nullptr;
    }
    if (request) {
        request();
    }
}

int PluginCameraCtrlV2::SubscribeEvent() {
    if (!m_eventBus) {
        ROOT_LOG(ZR_LOG_ERR, "Failed, parameter error");
        return -1;
    }
    if (!m_callbackGate) {
        m_callbackGate = std::make_shared<CallGate>();
    }
    for (int type = kFirstSetEvent; type <= kLastSetEvent; ++type) {
        const EventType event = static_cast<EventType>(type);
        std::shared_ptr<CallGate> gate = m_callbackGate;
        EventSubcribe sub;
        sub.owner = this;
        sub.callback = [this, gate, event](void* data, int length) {
            if (!gate->Enter()) {
                return;  // copied by a publish that began before UnSubscribeEvent
            }
            if (event == CAMERA_SET_WHITE_BALANCE_EVENT) {
                ROOT_LOG(ZR_LOG_INFO, "======= CAMERA_SET_WHITE_BALANCE_EVENT ======");
            }
            if (data != nullptr && length == static_cast<int>(kRequestPayloadSize)) {
                QueueRequest(event - kFirstSetEvent, MakeRequest(event, PayloadText(data)));
            }
            gate->Leave();
        };
        m_eventBus->Subscribe(event, sub);
    }
    return 0;
}

PluginCameraCtrlV2::Task PluginCameraCtrlV2::MakeRequest(EventType event, const std::string& text) {
    using Set = int (AbstructCamera::*)(std::string);
    // The camera operation of each text setting, in event order from 9001.
    static const Set kSets[kSettingCount] = {
        &AbstructCamera::SetFocusModeParam, &AbstructCamera::SetIsoParam, &AbstructCamera::SetIrisParam,
        &AbstructCamera::SetShutterSpeedParam, &AbstructCamera::SetWhiteBalanceParam};
    // Each task refuses itself when the camera went away after it was queued.
    switch (event) {
        case CAMERA_ENABLE_RECORD_EVENT: {
            const bool on = PayloadNumber(text) != 0;
            return [this, on] {
                if (CanUseCamera()) {
                    Model()->EnableRecord(on);
                }
            };
        }
        case CAMERA_TOUCH_FOCUS_EVENT: {
            const int point = PayloadNumber(text);
            return [this, point] {
                if (CanUseCamera()) {
                    Model()->TouchFocus(point);
                }
            };
        }
        case CAMERA_SET_WHITE_BALANCE_EVENT:
            return [this, text] {
                if (CanUseCamera()) {
                    ROOT_LOG(ZR_LOG_INFO, "======= OnSetWhiteBalanceParam, value : %s =======", text.c_str());
                    Model()->SetWhiteBalanceParam(text);
                }
            };
        default: {
            const Set set = kSets[event - kFirstSetEvent];
            return [this, set, text] {
                if (CanUseCamera()) {
                    (Model()->*set)(text);
                }
            };
        }
    }
}

int PluginCameraCtrlV2::UnSubscribeEvent() {
    if (m_eventBus) {
        for (int type = kFirstSetEvent; type <= kLastSetEvent; ++type) {
            m_eventBus->UnSubscribe(static_cast<EventType>(type), this);
        }
    }
    if (m_callbackGate) {
        // Waits for callbacks already inside; the ones still to come find the gate closed.
        m_callbackGate->Close();
        m_callbackGate.reset();
    }
    return 0;
}

int PluginCameraCtrlV2::GetFocusModeParam() {
    if (!CanUseCamera()) {
        ROOT_LOG(ZR_LOG_ERR, "Failed to GetFocusModeParam, not conntect camera yet");
        return -1;
    }
    return Model()->GetFocusModeParam(*m_cameraParams);
}

int PluginCameraCtrlV2::GetIsoParam() {
    return CanUseCamera() ? Model()->GetIsoParam(*m_cameraParams) : -1;
}

int PluginCameraCtrlV2::GetIrisParam() {
    return CanUseCamera() ? Model()->GetIrisParam(*m_cameraParams) : -1;
}

int PluginCameraCtrlV2::GetShutterSpeedParam() {
    return CanUseCamera() ? Model()->GetShutterSpeedParam(*m_cameraParams) : -1;
}

int PluginCameraCtrlV2::GetCurrentMode() {
    return CanUseCamera() ? Model()->GetCurrentMode(*m_cameraParams) : -1;
}

int PluginCameraCtrlV2::GetCurrentDispMode() {
    return CanUseCamera() ? Model()->QueryCameraDispMode(*m_cameraParams) : -1;
}

int PluginCameraCtrlV2::GetWhiteBalanceParam() {
    return CanUseCamera() ? Model()->GetWhiteBalanceParam(*m_cameraParams) : -1;
}

int PluginCameraCtrlV2::GetRecordEnable(const char* name) {
    return CanUseCamera() ? Model()->GetRecordEnable(*m_cameraParams, name) : -1;
}

int PluginCameraCtrlV2::PublishIfChanged() {
    CameraParams* params = m_cameraParams.get();
    if (!m_eventBus || params == nullptr || Model() == nullptr || !m_cameraParamsBak) {
        return 0;
    }
    params->cameraType = Model()->GetCameraType();
    if (*m_cameraParams == *m_cameraParamsBak && !m_forceNotify) {
        return 0;
    }
    m_eventBus->Publish(CAMERA_PARAMS_NOTIFY_EVENT, params, kCameraParamsWireSize);
    *m_cameraParamsBak = *m_cameraParams;
    m_forceNotify = false;
    ROOT_LOG(ZR_LOG_INFO, "### 当前 ISO :  %s", params->iso.c_str());
    ROOT_LOG(ZR_LOG_INFO, "### 当前 IRIS :  %s", params->iris.c_str());
    ROOT_LOG(ZR_LOG_INFO, "### 当前 ShutterSpeed :  %s", params->shutterSpeed.c_str());
    ROOT_LOG(ZR_LOG_INFO, "### 当前 WB :  %s", params->whiteBalance.c_str());
    ROOT_LOG(ZR_LOG_INFO, "### 当前 FocusMode :  %s", params->focusMode.c_str());
    ROOT_LOG(ZR_LOG_INFO, "### 当前连接状态 %d", params->connectState);
    ROOT_LOG(ZR_LOG_INFO, "### 当前相机类型 %d", static_cast<int>(params->cameraType));
    ROOT_LOG(ZR_LOG_INFO, "### 当前相机模式 %s", params->mode.c_str());
    return 0;
}

extern "C" PluginInterface* CreatePlugin(const char*) {
    return new (std::nothrow) PluginCameraCtrlV2("PluginCameraCtrl");
}
