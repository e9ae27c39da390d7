// Turns a capture of a real camera (the text of `gphoto2 --summary` followed by `gphoto2
// --list-all-config`, as users paste it) into a profile the simulator loads. A capture is
// pasted text: each oddity is either repaired with a warning that names its line or refused
// with an error that names the line and the problem.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CameraState.h"

namespace camsim {

class CaptureImporter {
  public:
    // Captures larger than this are refused unread.
    static constexpr std::size_t kMaxCaptureBytes = 64u << 20;

    // Warnings listed one by one; more are counted.
    static constexpr std::size_t kMaxWarnings = 100;

    // source names the capture in messages ("capture.txt:12: warning: ...").
    explicit CaptureImporter(std::string source);

    // Reads the capture. GP_OK, or GP_ERROR_CORRUPTED_DATA (Error()) when it holds no usable widget.
    int Parse(const std::string& text);

    // The profile of the parsed widgets in capture order. Its model is `model` when given, else
    // the summary's when the simulator knows it, else the base profile's. With basePath every
    // imported widget keeps what a capture cannot hold (property, event, effects, reactions,
    // faults) from the base's widget of the same name, and the base's other widgets follow.
    // The result is checked as the simulator will load it.
    // GP_OK, GP_ERROR_MODEL_NOT_FOUND, GP_ERROR_FILE_NOT_FOUND or GP_ERROR_CORRUPTED_DATA.
    int Build(const std::string& model, const std::string& basePath, nlohmann::ordered_json* out);

    // Warnings and notes so far, one line each, in the order found.
    const std::vector<std::string>& Messages() const { return m_messages; }
    // Why the last Parse or Build failed.
    const std::string& Error() const { return m_error; }
    // The widgets read by Parse.
    const std::vector<Widget>& Widgets() const { return m_widgets; }

    struct Block;  // one widget's lines, as found

  private:
    int ParseLines(const std::string& text);
    std::string At(int line) const;  // "source:line: ", or "source: " for line 0
    void Warn(int line, const std::string& text);
    void Fail(int line, const std::string& text);
    void Finish(const Block& block);
    bool PlaceWidget(const Block& block, Widget* w);
    void ReadChoices(const Block& block, Widget* w);
    void ReadValue(const Block& block, Widget* w);

    std::string m_source;
    std::vector<Widget> m_widgets;
    std::map<std::string, int> m_lineOf;  // widget name -> line of its path
    std::string m_summaryModel;
    int m_summaryLine = 0;
    std::vector<std::string> m_messages;
    std::size_t m_warnings = 0;
    std::string m_error;
};

}  // namespace camsim
