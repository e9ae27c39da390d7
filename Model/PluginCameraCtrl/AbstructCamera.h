// Base class of every camera model: generic behaviour on libgphoto2 widgets.
#pragma once

#include <gphoto2/gphoto2-camera.h>
#include <gphoto2/gphoto2-context.h>
#include <gphoto2/gphoto2-widget.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CameraParams.h"
#include "zrlog.h"

// Releases a widget fetched with gp_camera_get_single_config.
struct WidgetUnref {
    void operator()(CameraWidget* widget) const { gp_widget_unref(widget); }
};
using WidgetPtr = std::unique_ptr<CameraWidget, WidgetUnref>;

// A widget's current value as text: `status` is gp_widget_get_value's result;
// `has` is true only when that succeeded with a non-null text. Ranges, toggles and
// dates hold a number: `numeric` is then true and `number` is the value itself,
// which the text (as libgphoto2's tools print it) may round.
struct WidgetText {
    int status = 0;
    bool has = false;
    std::string text;
    CameraWidgetType type = GP_WIDGET_TEXT;
    bool numeric = false;
    double number = 0;
};

class AbstructCamera {
  public:
    using NotifyCallback = std::function<int(CameraParams*)>;

    AbstructCamera(_Camera* camera, _GPContext* context, CameraType type);
    virtual ~AbstructCamera();

    AbstructCamera(const AbstructCamera&) = delete;
    AbstructCamera& operator=(const AbstructCamera&) = delete;

    CameraType GetCameraType() const { return m_modelType; }

    // The wordings of a failed widget lookup, logged at level 2.
    enum class Lookup {
        Named,            // "... to get %s widget"
        NamedIso,         // "... get %s widget"
        NamedWithResult,  // "... to get %s widget, ret : %#X"
        WithResult,       // "... to get widget, ret : %#X"
        Plain,            // "... to get widget"
        FocusWording,     // "... to get focusmode widget", whatever the widget
    };

    // A text the host and the driver name differently; `from` nullptr matches any text.
    struct TextRow {
        const char* from;
        const char* to;
    };
    using TextRows = std::vector<TextRow>;
    // The focus names of the generic camera, driver text to host text; Reversed() turns a
    // table around for the writes.
    static const TextRows& FocusNames();
    static TextRows Reversed(const TextRows& rows);

    virtual int GetFocusModeParam(CameraParams& params);
    virtual std::string GetFocusModeParamByValue(int value);
    virtual int SetFocusModeParam(std::string value);
    virtual int GetIsoParam(CameraParams& params);
    virtual int SetIsoParam(std::string value);
    virtual int GetIrisParam(CameraParams& params);
    virtual int SetIrisParam(std::string value);
    virtual int GetShutterSpeedParam(CameraParams& params);
    virtual int GetShutterSpeedParamByValue(int numerator, int denominator, std::string& out);
    virtual int SetShutterSpeedParam(std::string value);
    virtual int GetCurrentMode(CameraParams& params);
    virtual int GetCurrentModeByValue(int value, std::string& out);
    virtual int GetWhiteBalanceParam(CameraParams& params);
    virtual int GetWhiteBalanceParamByValue(int value, std::string& out);
    virtual int SetWhiteBalanceParam(std::string value);
    virtual int EnableRecord(bool on);
    virtual int GetRecordEnable(CameraParams& params, const char* name);
    virtual int GetBatteryLevel();
    virtual int QueryCameraDispMode(CameraParams& params);
    virtual int TouchFocus(int a, int b);
    virtual int TouchFocus(int point);
    virtual void RegisterNotifyCallback(NotifyCallback callback, CameraParams* params);

    // A widget's current value as text, whatever its type (numbers as decimal text).
    static WidgetText ReadText(CameraWidget* widget);
    // An iris value as the host sees it: a range holds the bare f-number, which is published
    // in the form of the iris lists ("f/3.5") so that it is one of the offered entries.
    static std::string IrisText(const WidgetText& value);

    // Fallback lists for cameras that report fewer than two choices.
    static const std::vector<std::string>& FixedIsoList();
    static const std::vector<std::string>& FixedIrisList();
    static const std::vector<std::string>& FixedShutterList();

    using Strings = std::vector<std::string>;

    // Which record fields a read fills: cleared before the lookup, or only once the lookup
    // succeeded where a failed lookup must leave them as they were.
    enum class Clear { BeforeLookup, AfterLookup };
    // Where a list puts the camera's "Bulb" (any case unless told).
    enum class Bulb {
        AsListed,       // where the camera lists it
        FirstInManual,  // the first one left out; "Bulb" offered first in "M" only
        EachFirst,      // every "Bulb" spelt so moved to the front
        AutoFirst,      // shown as "Auto", each at the front, and so is the value
        LeftOut,        // never offered
    };
    // How a body reads one list: a row of its family's table for that list.
    struct ListRead {
        Lookup lookup;
        Clear clear;
        const Strings* belowTwo;  // the list when the camera offers fewer than two; nullptr: its own
        bool skipEmpty;           // choices without text are left out
        bool dropZeroOverZero;    // the camera's "0/0" is left out
        Bulb bulb;
        bool answerValueStatus;  // the read answers the value's status rather than 0
        bool irisValue;          // a range value is shown as the iris lists spell it
    };
    // Whether a rule of the body leaves out the choice at `position` with `text`.
    using LeftOutRule = std::function<bool(int position, const std::string& text)>;
    static const Strings kNothing;  // below two choices: no list at all
    // A value field of the record and its list.
    using Field = std::pair<std::string CameraParams::*, Strings CameraParams::*>;
    static constexpr Field kIsoField{&CameraParams::iso, &CameraParams::supportedIso};
    static constexpr Field kIrisField{&CameraParams::iris, &CameraParams::supportedIris};
    static constexpr Field kShutterField{&CameraParams::shutterSpeed, &CameraParams::supportedShutterSpeed};
    static constexpr Field kWhiteBalanceField{&CameraParams::whiteBalance,
                                              &CameraParams::supportedWhiteBalance};
    // The generic lists, which most bodies keep.
    static const ListRead kIsoList;
    static const ListRead kIrisList;
    static const ListRead kShutterList;
    static const ListRead kWhiteBalanceList;

  protected:
    // The one list reader: value and choices of `widget` into the record's `field` as `how` says
    // (Bulb by the record's mode), choices a rule leaves out skipped; `fellBack` tells that the
    // camera offered fewer than two.
    // `shown`, when given, turns a value read into the text the record shows.
    using Shown = std::function<std::string(const std::string& value)>;
    int ReadList(const char* widget, const ListRead& how, CameraParams& params, Field field,
                 const LeftOutRule& leftOut = nullptr, bool* fellBack = nullptr,
                 const Shown& shown = nullptr) const;

    static void LogLookupFailure(Lookup message, const char* name, int ret);

    // The row for `text`, or `otherwise` when no row names it.
    static std::string Mapped(const TextRows& rows, const std::string& text, const std::string& otherwise);
    static std::string Mapped(const TextRows& rows, const std::string& text) {
        return Mapped(rows, text, text);
    }
    // What one read of a widget found.
    struct Reading {
        WidgetText value;
        int count = 0;  // gp_widget_count_choices; negative when the widget has none to count
        std::vector<std::pair<int, std::string>> choices;  // position and text of each choice with one
        // The current value when it was read and is not empty.
        bool HasText() const { return value.has && !value.text.empty(); }
        Strings Texts() const;
        // The choices, or `fallback` when the camera reports fewer than two.
        Strings TextsOr(const Strings& fallback) const { return count < 2 ? fallback : Texts(); }
    };
    struct Fields {
        std::string* value = nullptr;
        Strings* list = nullptr;
        Clear when = Clear::BeforeLookup;
    };
    // The one read every reader builds on: the parameter guard, the fields cleared, the widget
    // fetched (a failed lookup logs `lookup` and gives -1), its value and choices read.
    int Read(const char* name, Lookup lookup, const Fields& fields, Reading& out) const;

    // Parameter guard: false (after logging) when a libgphoto2 handle is missing.
    bool CheckParams() const;
    // Widget fetch: 0 with `out` owning the widget, else the libgphoto2 result (-1 for a null
    // widget). Logs nothing: each operation has its own message.
    int FetchWidget(const char* name, WidgetPtr& out) const;
    // Puts the host's text into a fetched widget in the widget's own form: text, radio and
    // menu widgets take it as it is, a range the number it stands for ("5.6" or "f/5.6")
    // within the range's bounds, toggles and dates a whole number. A text that does not fit
    // is refused with a level-2 line naming the widget; a refusal of libgphoto2 is logged at
    // `setFailureLevel`. 0, or -1 with nothing changed in the widget.
    static int PutValue(CameraWidget* widget, const char* name, const std::string& value,
                        int setFailureLevel);
    // Where and how a value is written; `child`: into the widget's child of the same name.
    struct WriteTo {
        const char* widget;
        Lookup lookup = Lookup::NamedWithResult;
        bool child = false;
        int refusedLevel = ZR_LOG_INFO;  // a value the driver refuses
        bool sendFailureResult = false;  // the failed send logged with its result
    };
    // Called after the widget was fetched, before the value is put in: may log, may change it.
    using BeforeWrite = std::function<void(std::string& value)>;
    // The one fetch-log-write: guard, fetch (a failed lookup logged), PutValue, send.
    int SetWidget(const WriteTo& to, std::string value, const BeforeWrite& before = nullptr) const;

    // Focus-mode read of "focusmode" with the given names for value and choices; "Undefined"
    // fails with both fields left empty.
    int ReadFocusMode(CameraParams& params, const TextRows& names) const;

    _Camera* m_gpCamera;
    _GPContext* m_context;
    CameraType m_modelType;
    int32_t m_touchWidth = 640;
    int32_t m_touchHeight = 480;
    int32_t m_reserved = 0;
    NotifyCallback m_notifyCallback;
    CameraParams* m_camParam = nullptr;
};
