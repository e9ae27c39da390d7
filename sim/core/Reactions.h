// How the simulated camera reacts to what libgphoto2 asks of it. Shared by the camera
// library (sets and event waits) and the control surfaces (changes made "on the camera").
#pragma once

#include <cstdint>
#include <string>

#include "CameraState.h"

namespace camsim {

// A set through set_config/set_single_config: records "name=value" as received, then applies
// the widget's fault, refusal (also of a value whose required camera state is not met),
// stubbornness, effects and change events.
// GP_OK, or the libgphoto2 code the camera answers with.
int ApplySet(CameraState& state, const std::string& name, const std::string& value);

// Whether a value fits the widget (radio/menu: one of the choices; toggle: 0/1; range: in range).
int CheckValue(const Widget& w, const std::string& value);

// A change made on the camera itself (dial turned): sets the value and raises its event at once.
int ChangeOnCamera(CameraState& state, const std::string& name, const std::string& value);

// Removes and returns the earliest due event (ties in queue order). When none is due yet,
// returns false and sets *nextDueMs to the earliest due time (or -1 when the queue is empty).
bool TakeDueEvent(CameraState& state, int64_t nowMs, PendingEvent* out, int64_t* nextDueMs);

}  // namespace camsim
