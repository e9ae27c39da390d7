// Canon EOS mirrorless bodies (R6, R6 Mark II, RP): the steps the three share.
// Each step is written once and reads its model's row of the tables in the .cpp,
// so the differences between the bodies are data, not code paths.
#pragma once

#include <string>

#include "AbstructCamera.h"

// Which row of the Canon tables a body uses.
enum class CanonEosBody { R6, R6M2, RP };

struct CanonEosModel;

class CanonEosCamera : public AbstructCamera {
  public:
    // The failure messages the Canon steps log when a widget lookup fails.
    enum class LookupFailure {
        WithName,     // "... to get %s widget"
        WithResult,   // "... to get widget, ret : %#X"
        Plain,        // "... to get widget"
        FocusWording  // "... to get focusmode widget", whatever the widget
    };
    // The failure messages when a widget's value cannot be read.
    enum class ValueFailure { WithName, WithResult };

    ~CanonEosCamera() override;

    int GetFocusModeParam(CameraParams& params) override;
    int GetIrisParam(CameraParams& params) override;
    int SetIrisParam(std::string value) override;
    // Also tells movie mode: the movie switch decides how the exposure program is named.
    int GetCurrentMode(CameraParams& params) override;
    int GetWhiteBalanceParam(CameraParams& params) override;
    // Canon records to the card while "movierecordtarget" is "Card".
    int EnableRecord(bool on) override;
    int GetRecordEnable(CameraParams& params, const char* name) override;

  protected:
    CanonEosCamera(_Camera* camera, _GPContext* context, CameraType type, CanonEosBody body);

    static void LogLookupFailure(LookupFailure message, const char* name, int ret);

    // Widget read and text read of one widget; 0, or -1 after the given message.
    int ReadWidgetText(const char* name, LookupFailure lookup, ValueFailure value, std::string& out) const;
    // Sets the storage target to the memory card; R6 and RP do it once at start.
    int InitRecord();

    int m_cameraType;

  private:
    int WriteCaptureTarget(LookupFailure lookup) const;

    const CanonEosModel& m_model;
};
