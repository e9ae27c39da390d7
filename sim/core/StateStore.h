// The files of one state directory:
//   state.json  the whole CameraState but what it received (replaced atomically by rename)
//   received    every value sent to the camera, one escaped "name=value" line each, appended
//               under the lock; read only by ReadReceived, so it costs the other calls nothing
//   plug        one line "plugged vendor product session ptp-vendor ptp-product", read on every
//               USB probe
//   lock        flock target serialising read-modify-write across processes
//   scans       one byte appended by every listing of the simulated USB port (a bus scan)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CameraState.h"

namespace camsim {

// $CAMSIM_STATE_DIR, else /tmp/camsim-<uid>.
std::string StateDirFromEnvironment();

struct PlugRecord {
    bool plugged = false;
    int usbVendor = 0;
    int usbProduct = 0;
    int64_t session = 0;
    int ptpVendor = 0, ptpProduct = 0;  // the body's real USB ids; 0 when it has no PTP level
};

class StateStore {
  public:
    explicit StateStore(std::string dir);

    const std::string& Dir() const { return m_dir; }
    std::string StatePath() const { return m_dir + "/state.json"; }
    std::string PlugPath() const { return m_dir + "/plug"; }
    std::string ScansPath() const { return m_dir + "/scans"; }
    std::string ReceivedPath() const { return m_dir + "/received"; }

    // Reads the plug line; false when there is none (nothing ever plugged) or it is unreadable.
    bool ReadPlug(PlugRecord* out) const;

    // Counts one bus scan: a single appended byte, so concurrent scanners need no lock.
    void CountScan() const;
    // Bus scans counted so far (0 when none).
    int64_t Scans() const;

    // Reads state.json without locking (writers replace it atomically).
    // GP_OK; GP_ERROR_MODEL_NOT_FOUND when no camera was ever plugged here;
    // GP_ERROR_CORRUPTED_DATA with *error naming the file and the problem.
    int Load(CameraState* out, std::string* error) const;

    // Locked read-modify-write. fn sees the current state and returns the operation's result;
    // the state is written back unless fn clears save, and what fn adds to state.received is
    // appended to the received log either way. With Require, load failures are returned
    // without calling fn; Fresh starts from an empty state whatever is on disk.
    enum class Start { Require, Fresh };
    using Mutator = std::function<int(CameraState& state, bool& save)>;
    int Update(const Mutator& fn, std::string* error, Start start = Start::Require) const;

    // Replaces state.json and the plug line (caller holds the lock).
    int Save(const CameraState& state, std::string* error) const;

    // The received log, oldest first; empty when there is none. Needs no lock: entries are
    // appended whole and a line still being written is not read.
    int ReadReceived(std::vector<std::string>* out, std::string* error) const;
    // Empties the received log (caller holds the lock, e.g. inside Update).
    int TruncateReceived(std::string* error) const;

  private:
    std::string m_dir;
};

}  // namespace camsim
