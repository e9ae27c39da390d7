// Nikon Z8 and Z9: photo and movie mode with their own ISO and iris widgets,
// numeric event codes, and an immediate notification after each accepted set.
#pragma once

#include "AbstructCamera.h"
#include "XPointRangeMap.h"

class NikonZ8Camera : public AbstructCamera {
  public:
    NikonZ8Camera(_Camera* camera, _GPContext* context, CameraType type);
    ~NikonZ8Camera() override;

    using AbstructCamera::TouchFocus;

    int GetFocusModeParam(CameraParams& params) override;
    std::string GetFocusModeParamByValue(int value) override;
    int SetFocusModeParam(std::string value) override;
    int GetIsoParam(CameraParams& params) override;
    int SetIsoParam(std::string value) override;
    int GetIrisParam(CameraParams& params) override;
    int SetIrisParam(std::string value) override;
    int GetShutterSpeedParam(CameraParams& params) override;
    int GetShutterSpeedParamByValue(int numerator, int denominator, std::string& out) override;
    int SetShutterSpeedParam(std::string value) override;
    int GetCurrentModeByValue(int value, std::string& out) override;
    int GetWhiteBalanceParam(CameraParams& params) override;
    int GetWhiteBalanceParamByValue(int value, std::string& out) override;
    int SetWhiteBalanceParam(std::string value) override;
    int EnableRecord(bool on) override;
    int GetRecordEnable(CameraParams& params, const char* name) override;
    int QueryCameraDispMode(CameraParams& params) override;
    int TouchFocus(int point) override;

    // Puts the camera into the application mode that remote recording needs.
    int InitRecord();

  private:
    // Mode query, then the write of whichever widget of the pair is live in that mode.
    int SetModeDependent(const char* photo, const char* movie, const std::string& value);
    // Stores an accepted value in the plug-in's record and hands the record over.
    template <typename T>
    void Notify(T CameraParams::*field, const T& value);

    int32_t m_touchScaleX = 850;
    int32_t m_touchScaleY = 545;
    XPointRangeMap m_touchRangesX;
    XPointRangeMap m_touchRangesY;
    bool m_recordModeActive = false;
    bool m_recordInitDone = false;
};
