// Canon EOS mirrorless bodies (R6, R6 Mark II, RP): the steps the three share, each written
// once. Where the bodies differ, a row of the table in the .cpp holds one value per body; where
// a difference is code only one body has (the RP's shutter write, the R6 II's touch), the body's
// class overrides the step.
#pragma once

#include <string>

#include "AbstructCamera.h"

// Which column of the Canon table a body uses.
enum class CanonEosBody { R6, R6M2, RP };

class CanonEosCamera : public AbstructCamera {
  public:
    // How a value that cannot be read is reported.
    enum class ValueFailure { WithName, WithResult };

    ~CanonEosCamera() override;

    int GetFocusModeParam(CameraParams& params) override;
    int GetIrisParam(CameraParams& params) override;
    // "Auto" is sent as the driver's text for automatic aperture (by program on the RP).
    int SetIrisParam(std::string value) override;
    int GetShutterSpeedParam(CameraParams& params) override;
    // Also tells movie mode: the movie switch decides how the exposure program is named.
    int GetCurrentMode(CameraParams& params) override;
    int GetWhiteBalanceParam(CameraParams& params) override;
    // Canon records to the card while "movierecordtarget" is "Card".
    int EnableRecord(bool on) override;
    int GetRecordEnable(CameraParams& params, const char* name) override;

  protected:
    CanonEosCamera(_Camera* camera, _GPContext* context, CameraType type, CanonEosBody body);

    // Fetch and text read of one widget; 0, or -1 after the given message.
    int ReadWidgetText(const char* name, Lookup lookup, ValueFailure value, std::string& out) const;
    // Sets the storage target to the memory card; R6 and RP do it once at start.
    int InitRecord();

    int m_cameraType;
    const CanonEosBody m_body;

  private:
    int WriteCaptureTarget(Lookup lookup) const;
};
