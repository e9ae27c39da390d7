// The camera-control plug-in: finds and drives the USB camera on a worker
// thread and meets the host only on the event bus.
#pragma once

#include <gphoto2/gphoto2-camera.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "AbstructCamera.h"
#include "BlockQueue.h"
#include "CallGate.h"
#include "CameraConnection.h"
#include "CameraDetector.h"
#include "CameraFactory.h"
#include "CameraParams.h"
#include "PluginInterface.h"
#include "VirtualEventBus.h"

// Threads: the host's thread calls the constructor, Init, UnInit and the destructor; the bus
// callbacks run on whichever thread publishes a set event and only queue a request; everything
// else (the connection, the camera object, the record and its publication) belongs to the worker
// thread while it runs, and to the host's thread in Init before it starts and in UnInit after it ended.
class PluginCameraCtrlV2 : public PluginInterface {
  public:
    explicit PluginCameraCtrlV2(const char* name);
    ~PluginCameraCtrlV2() override;

    int Init(const std::shared_ptr<VirtualEventBus>& bus,
             const std::shared_ptr<CZRAVBufMng>& bufMng) override;
    int UnInit() override;

  private:
    using Task = std::function<void()>;
    // The set events 9001 to 9005 carry settings, of which only the newest counts; 9006 and
    // 9007 (recording, touch) are actions.
    static constexpr int kSettingCount = 5;

    // Host's thread, Init and UnInit.
    int SubscribeEvent();
    int UnSubscribeEvent();

    // Worker thread (and Init's first attempt before it starts).
    int ConnectCamera();
    void DisConnectCamera();
    int DoTasksThread();
    // Re-reads every parameter, mode first (models filter their lists by it).
    int GetCameraParams();

    // Bus callbacks: the task that carries out one request on the worker thread, the camera
    // operation of its event with the payload's text (a number for recording and touch).
    Task MakeRequest(EventType event, const std::string& text);

    // Worker thread: the reads of GetCameraParams.
    int GetFocusModeParam();
    int GetIsoParam();
    int GetIrisParam();
    int GetShutterSpeedParam();
    int GetCurrentMode();
    int GetCurrentDispMode();
    int GetWhiteBalanceParam();
    int GetRecordEnable(const char* name);

    // Worker thread: publishes the record when it differs from the last one published, or when
    // a publication is owed after a connection; also what the camera object calls after a set.
    int PublishIfChanged();
    // Worker thread: publishes the record as it is, without comparing or updating the backup
    // (a failed or lost connection).
    void PublishConnectionState();

    // One pass: detection, connection, then one camera event wait of at most eventWaitMs.
    void PollPass(int& noCameraPasses, int& connectErrors, int eventWaitMs);
    void WaitCameraEvent(int timeoutMs);
    // One gp_camera_wait_for_event; false when it timed out with nothing reported.
    bool WaitCameraEventOnce(int timeoutMs);
    // Runs task and the tasks queued behind it, at most one round of the settings, so that
    // the camera's answers are read between rounds; true when one ran while connected.
    bool RunTasks(Task task);
    // Before the worker ends: the sets still queued, then the camera's answers to them.
    void FinishPendingSets();
    int TakeTask(Task& task, int timeoutMs);
    // The reads of GetCameraParams from the given one on (kReadAfterMode: all but the mode).
    static constexpr size_t kReadAfterMode = 1;
    int ReadParams(size_t first);
    // Applies one camera event to the record; true when the record may have changed.
    bool HandleCameraEvent(int type, const void* data);
    // Any thread: false when the queue refused it.
    bool QueueTask(Task task, int priority);
    // Bus callbacks: keeps request as the one waiting for its setting (replacing an older one)
    // and queues a task that runs the setting's waiting request, unless one is queued already.
    // An action (setting kSettingCount or later) is queued as it is.
    void QueueRequest(int setting, Task request);
    // Runs (or, while not connected, drops: the handlers refuse) the setting's waiting request.
    void RunRequest(int setting);
    void DropWaitingTasks();
    AbstructCamera* Model() const { return m_connection ? m_connection->Model() : nullptr; }
    bool CanUseCamera() const { return m_connected && Model() != nullptr; }

    std::atomic<bool> m_stop{false};
    std::unique_ptr<CameraConnection> m_connection;
    std::atomic<bool> m_connected{false};
    std::unique_ptr<CameraParams> m_cameraParams;
    std::unique_ptr<CameraParams> m_cameraParamsBak;
    std::unique_ptr<CameraFactory> m_cameraFactory;
    // Used by ConnectCamera and the poll pass, so by one thread at a time.
    CameraDetector m_detector;
    BlockQueue<Task> m_taskQueue{100};
    // Tasks pushed and not yet taken; lets the event wait end early for a set request.
    std::atomic<int> m_tasksWaiting{0};
    // The newest request of each setting not yet run (empty: none); guarded by m_requestsMutex.
    std::mutex m_requestsMutex;
    Task m_requests[kSettingCount];
    // Held by the bus callbacks: closed by UnSubscribeEvent, so that a callback the bus copied
    // for a publish in flight does not reach into a plug-in that stopped (or was deleted).
    std::shared_ptr<CallGate> m_callbackGate;
    std::thread m_taskThread;
    std::shared_ptr<VirtualEventBus> m_eventBus;
    bool m_forceNotify = false;
};

extern "C" PluginInterface* CreatePlugin(const char* path);
