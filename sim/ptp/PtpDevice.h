// One simulated body on the USB wire, as the port library's open port sees it: command and
// data containers written to the bulk-out pipe, data and response containers read from the
// bulk-in pipe, event containers from the interrupt pipe. The body itself (data and state) is
// in the state directory, read and written under its lock for every transaction, so camsim
// and the tests act on the same body while the driver talks to it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "Family.h"
#include "PtpData.h"
#include "StateStore.h"

namespace camsim {
namespace ptp {

class PtpDevice {
  public:
    explicit PtpDevice(std::string stateDir);

    // The port was opened: a body must be plugged; the session of the plug is remembered, so a
    // replug shows as a vanished device. GP_OK or GP_ERROR_IO_USB_FIND.
    int Open();
    void Close();

    // gp_port_write: bytes on the bulk-out pipe. The count written or a GP error.
    int Write(const uint8_t* data, int size);
    // gp_port_read: one transfer (or the next part of it) from the bulk-in pipe.
    int Read(uint8_t* data, int size, int timeoutMs);
    // gp_port_check_int: one event container, or GP_ERROR_TIMEOUT after timeoutMs.
    int CheckInterrupt(uint8_t* data, int size, int timeoutMs);
    // A halted pipe cleared: a container half written is dropped, an answer still to be read stays.
    void ClearHalt();
    // The device reset: whatever was under way is dropped.
    void Reset();

    const std::string& LastError() const { return m_error; }

  private:
    int Present() const;  // GP_OK while the body of the opened plug session is there, else GP_ERROR_IO
    int Run(const Command& cmd, const std::vector<uint8_t>* dataOut);
    int TakeContainers();

    StateStore m_store;
    int64_t m_plugSession = -1;
    Session m_session;
    std::vector<uint8_t> m_out;     // bulk-out bytes not yet a whole container
    bool m_commandWaiting = false;  // a command whose data phase may still follow
    Command m_command;
    std::deque<std::vector<uint8_t>> m_in;  // bulk-in transfers
    size_t m_inOffset = 0;
    std::string m_error;
};

}  // namespace ptp
}  // namespace camsim
