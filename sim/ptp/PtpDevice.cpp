#include "PtpDevice.h"

#include <gphoto2/gphoto2-port-log.h>
#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>

#include <algorithm>
#include <cstring>

#include "Latency.h"
#include "StandardOperations.h"

namespace camsim {
namespace ptp {

namespace {

// Operations with a data phase from the initiator carry a data container right after the
// command; which ones do is not said by the command, so the command waits for the next write
// or read to tell.
std::vector<uint8_t> Container(uint16_t type, uint16_t code, uint32_t transaction,
                               const std::vector<uint32_t>& params, const std::vector<uint8_t>* payload) {
    Packer out;
    size_t size = kHeaderSize + (payload ? payload->size() : params.size() * 4);
    out.U32(static_cast<uint32_t>(size));
    out.U16(type);
    out.U16(code);
    out.U32(transaction);
    if (payload)
        out.Bytes(*payload);
    else
        for (uint32_t p : params)
            out.U32(p);
    return out.Take();
}

// How long a read with nothing to answer waits before it times out, at most.
constexpr int kIdleReadMs = 50;
// How often a waiting interrupt read looks at the state again.
constexpr int kInterruptPollMs = 5;

}  // namespace

PtpDevice::PtpDevice(std::string stateDir) : m_store(std::move(stateDir)) {}

int PtpDevice::Open() {
    PlugRecord plug;
    if (!m_store.ReadPlug(&plug) || !plug.plugged)
        return GP_ERROR_IO_USB_FIND;
    m_plugSession = plug.session;
    m_session = Session();
    Reset();
    return GP_OK;
}

void PtpDevice::Close() {
    m_plugSession = -1;
    Reset();
}

void PtpDevice::ClearHalt() {
    m_out.clear();
}

void PtpDevice::Reset() {
    m_out.clear();
    m_in.clear();
    m_inOffset = 0;
    m_commandWaiting = false;
}

int PtpDevice::Present() const {
    PlugRecord plug;
    if (!m_store.ReadPlug(&plug) || !plug.plugged || plug.session != m_plugSession)
        return GP_ERROR_IO;
    return GP_OK;
}

int PtpDevice::Write(const uint8_t* data, int size) {
    if (size < 0)
        return GP_ERROR_BAD_PARAMETERS;
    int rc = Present();
    if (rc != GP_OK) {
        Reset();
        return GP_ERROR_IO_WRITE;
    }
    m_out.insert(m_out.end(), data, data + size);
    rc = TakeContainers();
    return rc < GP_OK ? rc : size;
}

// Takes every whole container from the bulk-out bytes.
int PtpDevice::TakeContainers() {
    while (m_out.size() >= kHeaderSize) {
        Unpacker head(m_out);
        uint32_t length;
        uint16_t type, code;
        uint32_t transaction;
        head.U32(&length);
        head.U16(&type);
        head.U16(&code);
        head.U32(&transaction);
        if (length < kHeaderSize || (type == kCommand && length > kHeaderSize + 5 * 4)) {
            // Garbage on the pipe: a real body stalls; the driver clears the halt and goes on.
            m_error = "malformed container";
            Reset();
            return GP_ERROR_IO_WRITE;
        }
        if (m_out.size() < length)
            return GP_OK;  // the rest of a data phase is still to come
        std::vector<uint8_t> payload(m_out.begin() + kHeaderSize, m_out.begin() + length);
        m_out.erase(m_out.begin(), m_out.begin() + length);
        if (type == kCommand) {
            if (m_commandWaiting)  // the previous command had no data phase
                Run(m_command, nullptr);
            m_command = Command();
            m_command.code = code;
            m_command.transaction = transaction;
            Unpacker params(payload);
            uint32_t p;
            while (params.Remaining() >= 4 && params.U32(&p))
                m_command.params.push_back(p);
            m_commandWaiting = true;
            m_in.clear();
            m_inOffset = 0;
        } else if (type == kData && m_commandWaiting && code == m_command.code) {
            m_commandWaiting = false;
            int rc = Run(m_command, &payload);
            if (rc != GP_OK)
                return GP_ERROR_IO_WRITE;
        }
        // Any other container is dropped, as a body drops what it cannot place.
    }
    return GP_OK;
}

int PtpDevice::Read(uint8_t* data, int size, int timeoutMs) {
    if (size < 0)
        return GP_ERROR_BAD_PARAMETERS;
    if (Present() != GP_OK) {
        Reset();
        return GP_ERROR_IO_READ;
    }
    if (m_commandWaiting) {
        m_commandWaiting = false;
        int rc = Run(m_command, nullptr);
        if (rc != GP_OK)
            return GP_ERROR_IO_READ;
    }
    bool stalled = false;
    int rc = m_store.Update(
        [&](CameraState& s, bool& save) {
            save = s.ptp.stall > 0;
            if (save) {
                --s.ptp.stall;
                stalled = true;
            }
            return GP_OK;
        },
        &m_error);
    if (rc == GP_OK && stalled) {
        // The endpoint halts: the read fails at once and what was to come waits for the driver
        // to clear the halt and read again.
        return GP_ERROR_IO_READ;
    }
    if (m_in.empty()) {
        PauseMs(std::min(timeoutMs, kIdleReadMs));
        return GP_ERROR_TIMEOUT;
    }
    std::vector<uint8_t>& transfer = m_in.front();
    size_t n = std::min(static_cast<size_t>(size), transfer.size() - m_inOffset);
    std::memcpy(data, transfer.data() + m_inOffset, n);
    m_inOffset += n;
    if (m_inOffset >= transfer.size()) {
        m_in.pop_front();
        m_inOffset = 0;
    }
    return static_cast<int>(n);
}

int PtpDevice::Run(const Command& cmd, const std::vector<uint8_t>* dataOut) {
    Reply reply;
    int latencyMs = 0, openMs = 0;
    int rc = m_store.Update(
        [&](CameraState& s, bool&) {
            if (!s.plugged || s.session != m_plugSession || !s.ptp.Active())
                return GP_ERROR_IO;
            std::string error;
            const Body* body = CachedBody(s.ptp.body, &error);
            if (!body) {
                m_error = error;
                return GP_ERROR_CORRUPTED_DATA;
            }
            latencyMs = s.latency.transactionMs;
            openMs = cmd.code == kOpenSession ? s.latency.openMs : 0;
            BodyModel model(*body, s, NowMs());
            model.ApplyDue();
            Exchange x{cmd, dataOut, reply, model, m_session};
            if (s.ptp.busy > 0 && cmd.code != kGetDeviceInfo && cmd.code != kOpenSession) {
                --s.ptp.busy;
                reply.code = kDeviceBusy;
                return GP_OK;
            }
            const Family* family = model.VendorFamily();
            if (!(family && family->Handle(x)) && !StandardOperations::Handle(x))
                reply.Fail(kOperationNotSupported);
            return GP_OK;
        },
        &m_error);
    if (rc != GP_OK) {
        gp_log(GP_LOG_ERROR, "camsim-ptp", "%s", m_error.c_str());
        Reset();
        return rc;
    }
    PauseMs(latencyMs + openMs);
    m_in.clear();
    m_inOffset = 0;
    if (reply.hasData)
        m_in.push_back(Container(kData, cmd.code, cmd.transaction, {}, &reply.data));
    m_in.push_back(Container(kResponse, reply.code, cmd.transaction, reply.params, nullptr));
    return GP_OK;
}

int PtpDevice::CheckInterrupt(uint8_t* data, int size, int timeoutMs) {
    int64_t deadline = NowMs() + std::max(timeoutMs, 0);
    for (;;) {
        if (Present() != GP_OK)
            return GP_ERROR_IO_READ;
        std::vector<uint8_t> container;
        int rc = m_store.Update(
            [&](CameraState& s, bool& save) {
                save = false;
                if (!s.ptp.Active())
                    return GP_OK;
                std::string error;
                const Body* body = CachedBody(s.ptp.body, &error);
                if (!body)
                    return GP_OK;
                int64_t now = NowMs();
                BodyModel model(*body, s, now);
                size_t pending = s.ptp.pending.size();
                model.ApplyDue();
                save = pending != s.ptp.pending.size();
                auto& queue = s.ptp.interrupts;
                auto due = std::find_if(queue.begin(), queue.end(),
                                        [&](const PtpEventRecord& e) { return e.dueMs <= now; });
                if (due == queue.end())
                    return GP_OK;
                std::vector<uint32_t> params(due->params.begin(),
                                             due->params.begin() + std::min<size_t>(due->params.size(), 3));
                container = Container(kEvent, due->code, 0xFFFFFFFFu, params, nullptr);
                queue.erase(due);
                save = true;
                return GP_OK;
            },
            &m_error);
        if (rc != GP_OK)
            return GP_ERROR_IO_READ;
        if (!container.empty()) {
            int n = std::min(size, static_cast<int>(container.size()));
            std::memcpy(data, container.data(), static_cast<size_t>(n));
            return n;
        }
        int64_t left = deadline - NowMs();
        if (left <= 0)
            return GP_ERROR_TIMEOUT;
        PauseMs(static_cast<int>(std::min<int64_t>(left, kInterruptPollMs)));
    }
}

}  // namespace ptp
}  // namespace camsim
