// Turns one camera event reported by gp_camera_wait_for_event into the parameter record.
#pragma once

#include "AbstructCamera.h"
#include "CameraParams.h"

class CameraEventDecoder {
  public:
    // What the caller still has to do after an event was decoded.
    enum class Outcome {
        Nothing,      // the record is as it was
        Changed,      // a field may have changed: notify once
        RecordState,  // the recording state was stored: notify at once
        ReadAll,      // the camera asks for a full re-read (type 0)
        ModeChanged,  // the mode was stored: the lists filtered by it are to be read again
    };

    // Types 0 and 10..17 are handled, every other type is ignored. libgphoto2 hands over no
    // block size: the driver's blocks are trusted to hold what is read here, at least 24 bytes
    // for 10 (state at byte 20), 4 for 11, 12, 13 and 15, 8 for 16 and 2 for 17, never NULL
    // (the simulated driver refuses shorter blocks for these types).
    // Without a camera object (an unrecognised model) the codes of 12, 15, 16 and 17, which
    // only the model can translate, change nothing.
    // Event data are numbers whatever form the camera's widget has: each becomes the text the
    // record's lists use (an aperture "f/2.8" also for a range f-number, an ISO in decimal).
    static Outcome Decode(int type, const void* data, AbstructCamera* camera, CameraParams& params);
};
