#include "CaptureImporter.h"

#include <gphoto2/gphoto2-port-result.h>
#include <gphoto2/gphoto2-result.h>
#include <strings.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "Models.h"
#include "NumberText.h"
#include "ProfileLoader.h"
#include "StateJson.h"

namespace camsim {

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

// What a capture says about a widget; everything else comes from the base profile.
const char* const kCapturedKeys[] = {"name",  "label",   "section", "type", "readonly",
                                     "value", "choices", "min",     "max",  "step"};

struct TypeName {
    const char* text;  // as gphoto2 prints it
    Kind kind;
};
const TypeName kTypes[] = {{"TEXT", Kind::Text},   {"RANGE", Kind::Range}, {"TOGGLE", Kind::Toggle},
                           {"RADIO", Kind::Radio}, {"MENU", Kind::Menu},   {"DATE", Kind::Date}};

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string TrimLeft(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return text.substr(i);
}

std::string Trim(const std::string& text) {
    std::string out = TrimLeft(text);
    while (!out.empty() && IsBlank(out.back()))
        out.pop_back();
    return out;
}

// Cuts text to at most max bytes without splitting a UTF-8 sequence.
std::string Cut(const std::string& text, size_t max) {
    if (text.size() <= max)
        return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// A line as quoted in a message.
std::string Quote(const std::string& text) {
    const size_t kShown = 60;
    return "\"" + (text.size() > kShown ? Cut(text, kShown) + "..." : text) + "\"";
}

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t more = 0;
    unsigned min = 0, code = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0)
        more = 1, min = 0x80, code = c & 0x1F;
    else if ((c & 0xF0) == 0xE0)
        more = 2, min = 0x800, code = c & 0x0F;
    else if ((c & 0xF8) == 0xF0)
        more = 3, min = 0x10000, code = c & 0x07;
    else
        return 0;
    if (i + more >= text.size())
        return 0;
    for (size_t k = 1; k <= more; ++k) {
        unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return more + 1;
}

// Replaces each byte that is no part of valid UTF-8 with U+FFFD, as JSON needs; false when
// nothing had to change.
bool RepairUtf8(std::string* text) {
    std::string out;
    bool changed = false;
    for (size_t i = 0; i < text->size();) {
        size_t n = Utf8Length(*text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            changed = true;
            ++i;
        } else {
            out.append(*text, i, n);
            i += n;
        }
    }
    if (changed)
        *text = std::move(out);
    return changed;
}

// A float as gphoto2 prints it.
std::string FloatText(float f) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(f));
    return buf;
}

// The double of that text, so that the profile holds 0.1 rather than 0.100000001490116.
double Decimal(float f) {
    return std::strtod(FloatText(f).c_str(), nullptr);
}

bool ParseFloat(const std::string& text, float* out) {
    double v = 0;
    if (!numtext::WholeDouble(Trim(text), v) || std::fabs(v) > FLT_MAX)
        return false;
    *out = static_cast<float>(v);
    return true;
}

bool ParseInt(const std::string& text, int* out) {
    return numtext::WholeInt(Trim(text), *out);
}

ordered_json CapturedJson(const Widget& w) {
    ordered_json j = {{"name", w.name},           {"label", w.label},       {"section", w.section},
                      {"type", KindName(w.kind)}, {"readonly", w.readonly}, {"value", w.value}};
    if (w.kind == Kind::Radio || w.kind == Kind::Menu)
        j["choices"] = w.choices;
    if (w.kind == Kind::Range) {
        j["min"] = Decimal(w.min);
        j["max"] = Decimal(w.max);
        j["step"] = Decimal(w.step);
    }
    return j;
}

}  // namespace

// One widget's lines as found, read once its END (or the next widget) is reached.
struct CaptureImporter::Block {
    struct Field {
        std::string text;
        int line = 0;  // 0: absent
    };
    std::string path;
    int line = 0;
    Field label, readonly, type, current, bottom, top, step;
    std::vector<Field> choices;  // text after "Choice:"
};

namespace {

// The single-valued lines of a widget block.
struct KeyField {
    const char* key;
    CaptureImporter::Block::Field CaptureImporter::Block::*field;
};
const KeyField kKeyFields[] = {
    {"Label", &CaptureImporter::Block::label},   {"Readonly", &CaptureImporter::Block::readonly},
    {"Type", &CaptureImporter::Block::type},     {"Current", &CaptureImporter::Block::current},
    {"Bottom", &CaptureImporter::Block::bottom}, {"Top", &CaptureImporter::Block::top},
    {"Step", &CaptureImporter::Block::step}};

// Lines of a widget block; before the first path they mean a paste that lost its start.
bool LooksLikeWidgetLine(const std::string& line) {
    if (line == "END" || StartsWith(line, "Choice:"))
        return true;
    for (const KeyField& k : kKeyFields) {
        if (StartsWith(line, (std::string(k.key) + ":").c_str()))
            return true;
    }
    return false;
}

}  // namespace

CaptureImporter::CaptureImporter(std::string source) : m_source(std::move(source)) {}

std::string CaptureImporter::At(int line) const {
    return m_source + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": ";
}

void CaptureImporter::Warn(int line, const std::string& text) {
    if (m_warnings++ >= kMaxWarnings)
        return;  // a file that is no capture would otherwise flood the terminal
    m_messages.push_back(At(line) + "warning: " + text);
}

void CaptureImporter::Fail(int line, const std::string& text) {
    m_error = At(line) + "error: " + text;
}

int CaptureImporter::Parse(const std::string& text) {
    m_widgets.clear();
    m_lineOf.clear();
    m_summaryModel.clear();
    m_summaryLine = 0;
    m_messages.clear();
    m_warnings = 0;
    m_error.clear();
    int rc = ParseLines(text);
    if (rc != GP_OK)
        m_widgets.clear();  // a refused capture builds nothing
    if (m_warnings > kMaxWarnings) {
        m_messages.push_back(At(0) + std::to_string(m_warnings - kMaxWarnings) + " more warnings not shown");
    }
    return rc;
}

int CaptureImporter::ParseLines(const std::string& text) {
    if (text.size() > kMaxCaptureBytes) {
        Fail(0, "larger than " + std::to_string(kMaxCaptureBytes >> 20) + " MiB: not a capture");
        return GP_ERROR_CORRUPTED_DATA;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        Fail(0, "the capture is empty");
        return GP_ERROR_CORRUPTED_DATA;
    }
    bool summary = true;  // before the first widget, or after "Camera summary:"
    bool inBlock = false;
    bool warnedCr = false, warnedIndent = false;
    int paths = 0, number = 0, firstText = 0;
    std::string firstTextLine;
    Block block;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        ++number;
        if (number == 1 && StartsWith(line, "\xEF\xBB\xBF"))
            line.erase(0, 3);  // byte-order mark of Windows editors
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            if (!warnedCr)
                Warn(number, "Windows line endings (CR LF); the CRs are dropped");
            warnedCr = true;
        }
        if (line.find('\0') != std::string::npos) {
            Fail(number, "holds a NUL byte: this is no text capture");
            return GP_ERROR_CORRUPTED_DATA;
        }
        if (RepairUtf8(&line))
            Warn(number, "not valid UTF-8; the bad bytes become U+FFFD");
        std::string trimmed = TrimLeft(line);
        if (!firstText && !trimmed.empty()) {
            firstText = number;
            firstTextLine = line;
        }
        bool isPath = StartsWith(trimmed, "/");
        if (summary && !isPath) {
            if (LooksLikeWidgetLine(line)) {
                Warn(number, "widget line before any widget path, ignored: " + Quote(line));
                continue;
            }
            // Only the model is taken from the summary.
            if (m_summaryModel.empty() && StartsWith(line, "Model: ") && !Trim(line.substr(7)).empty()) {
                m_summaryModel = Trim(line.substr(7));
                m_summaryLine = number;
            }
            continue;
        }
        if (trimmed.size() != line.size() && !trimmed.empty() && !warnedIndent) {
            Warn(number, "indented line; the indentation is dropped");
            warnedIndent = true;
        }
        if (isPath) {
            if (inBlock) {
                Warn(number, "widget " + Quote(block.path) + " (line " + std::to_string(block.line) +
                                 ") has no END before the next widget");
                Finish(block);
            }
            block = Block();
            block.path = Trim(trimmed);
            block.line = number;
            inBlock = true;
            summary = false;
            ++paths;
            continue;
        }
        if (!inBlock) {
            if (trimmed.empty())
                continue;
            if (Trim(trimmed) == "Camera summary:") {
                summary = true;
                continue;
            }
            Warn(number, "not part of a widget, ignored: " + Quote(line));
            continue;
        }
        if (Trim(trimmed) == "END") {
            Finish(block);
            inBlock = false;
            continue;
        }
        if (trimmed.empty())
            continue;
        size_t colon = trimmed.find(':');
        std::string key = colon == std::string::npos ? std::string() : trimmed.substr(0, colon);
        std::string value = colon == std::string::npos ? std::string() : trimmed.substr(colon + 1);
        if (!value.empty() && value[0] == ' ')
            value.erase(0, 1);
        Block::Field* field = nullptr;
        for (const KeyField& k : kKeyFields) {
            if (key == k.key)
                field = &(block.*k.field);
        }
        if (field) {
            if (field->line) {
                Warn(number, "a second " + key + " line for widget " + Quote(block.path) +
                                 " (first at line " + std::to_string(field->line) + "), ignored");
            } else {
                *field = {value, number};
            }
        } else if (key == "Choice") {
            block.choices.push_back({value, number});
        } else if (key != "Printable" && key != "Help" && key != "Info") {
            Warn(number, "not a line of widget " + Quote(block.path) + ", ignored: " + Quote(line));
        }
    }
    if (inBlock) {
        Warn(number, "the capture ends inside widget " + Quote(block.path) + " (line " +
                         std::to_string(block.line) + ") without its END");
        Finish(block);
    }
    if (paths == 0) {
        Fail(firstText,
             "not a capture of gphoto2 --list-all-config: no widget path (such as "
             "/main/imgsettings/iso) in it; the first line reads " +
                 Quote(firstTextLine));
        return GP_ERROR_CORRUPTED_DATA;
    }
    if (m_widgets.empty()) {
        Fail(0, "none of the " + std::to_string(paths) + " widgets can be used (see the warnings)");
        return GP_ERROR_CORRUPTED_DATA;
    }
    return GP_OK;
}

void CaptureImporter::Finish(const Block& block) {
    Widget w;
    std::string name = block.path.substr(block.path.rfind('/') + 1);
    if (!block.type.line) {
        Warn(block.line,
             "widget \"" + name + "\" has no Type line (a button, or its value could not be read); skipped");
        return;
    }
    bool known = false;
    for (const TypeName& t : kTypes) {
        if (strcasecmp(Trim(block.type.text).c_str(), t.text) == 0) {
            w.kind = t.kind;
            known = true;
        }
    }
    if (!known) {
        Warn(block.type.line, "widget \"" + name + "\" has type " + Quote(block.type.text) +
                                  ", which the simulator cannot serve; skipped");
        return;
    }
    if (!PlaceWidget(block, &w))
        return;
    auto first = m_lineOf.find(w.name);
    if (first != m_lineOf.end()) {
        Warn(block.line, "widget \"" + w.name + "\" again (first at line " + std::to_string(first->second) +
                             "); this one is skipped");
        return;
    }
    if (!block.label.line) {
        Warn(block.line, "widget \"" + w.name + "\" has no Label line; its name is the label");
        w.label = w.name;
    } else if (block.label.text.size() > kMaxWidgetText) {
        Warn(block.label.line, "label of widget \"" + w.name + "\" is longer than " +
                                   std::to_string(kMaxWidgetText) + " bytes; cut");
        w.label = Cut(block.label.text, kMaxWidgetText);
    } else {
        w.label = block.label.text;
    }
    std::string readonly = Trim(block.readonly.text);
    if (!block.readonly.line) {
        Warn(block.line, "widget \"" + w.name + "\" has no Readonly line; taken as writable");
    } else if (readonly != "0" && readonly != "1") {
        Warn(block.readonly.line, "Readonly " + Quote(block.readonly.text) + " of widget \"" + w.name +
                                      "\" is not 0 or 1; taken as 0");
    }
    w.readonly = readonly == "1";
    ReadChoices(block, &w);
    ReadValue(block, &w);
    m_lineOf[w.name] = block.line;
    m_widgets.push_back(std::move(w));
}

// Name and section from the path "/main/<section>/<name>".
bool CaptureImporter::PlaceWidget(const Block& block, Widget* w) {
    std::vector<std::string> parts;
    for (size_t pos = 1;;) {
        size_t slash = block.path.find('/', pos);
        parts.push_back(block.path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos));
        if (slash == std::string::npos)
            break;
        pos = slash + 1;
    }
    for (const std::string& p : parts) {
        if (p.empty()) {
            Warn(block.line, "widget path " + Quote(block.path) + " has an empty part; skipped");
            return false;
        }
    }
    w->name = parts.back();
    if (parts.size() < 3) {
        Warn(block.line, "widget \"" + w->name + "\" is in no section; it goes to \"other\"");
        w->section = "other";
    } else {
        w->section = parts[parts.size() - 2];
        if (parts.size() > 3) {
            Warn(block.line, "widget \"" + w->name +
                                 "\" is in nested sections; the simulator has one level, it "
                                 "goes to \"" +
                                 w->section + "\"");
        }
    }
    for (const std::string* text : {&w->name, &w->section}) {
        if (text->size() > kMaxWidgetText) {
            Warn(block.line, "widget path " + Quote(block.path) + " has a part longer than " +
                                 std::to_string(kMaxWidgetText) + " bytes; skipped");
            return false;
        }
    }
    return true;
}

void CaptureImporter::ReadChoices(const Block& block, Widget* w) {
    bool listed = w->kind == Kind::Radio || w->kind == Kind::Menu;
    if (!listed) {
        if (!block.choices.empty()) {
            Warn(block.choices.front().line,
                 "widget \"" + w->name + "\" is " + KindName(w->kind) + ", its Choice lines are ignored");
        }
        return;
    }
    for (const Block::Field& c : block.choices) {
        size_t digits = 0;
        while (digits < c.text.size() && c.text[digits] >= '0' && c.text[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 9 || (digits < c.text.size() && c.text[digits] != ' ')) {
            Warn(c.line, "choice of widget \"" + w->name + "\" without its number (Choice: N text), ignored");
            continue;
        }
        int index = std::atoi(c.text.substr(0, digits).c_str());
        std::string place = std::to_string(w->choices.size());
        std::string choice = digits < c.text.size() ? c.text.substr(digits + 1) : std::string();
        if (index != static_cast<int>(w->choices.size())) {
            Warn(c.line, "choice " + std::to_string(index) + " of widget \"" + w->name + "\" where " + place +
                             " was expected; kept as choice " + place);
        }
        if (choice.empty())
            Warn(c.line, "choice " + place + " of widget \"" + w->name + "\" is empty; kept in its place");
        w->choices.push_back(choice);
    }
}

void CaptureImporter::ReadValue(const Block& block, Widget* w) {
    const std::string& name = w->name;
    bool range = w->kind == Kind::Range;
    for (const Block::Field* f : {&block.bottom, &block.top, &block.step}) {
        if (!range && f->line) {
            Warn(f->line,
                 "widget \"" + name + "\" is " + KindName(w->kind) + ", its range lines are ignored");
            break;
        }
    }
    if (!block.current.line) {
        Warn(block.line, "widget \"" + name + "\" has no Current line; its value is " +
                             (w->kind == Kind::Text || w->kind == Kind::Radio || w->kind == Kind::Menu
                                  ? std::string("empty")
                                  : std::string("0")));
    }
    switch (w->kind) {
        case Kind::Text:
        case Kind::Radio:
        case Kind::Menu:
            w->value = block.current.text;
            return;
        case Kind::Toggle:
        case Kind::Date: {
            int v = 0;
            if (block.current.line && !ParseInt(block.current.text, &v)) {
                Warn(block.current.line, "value " + Quote(block.current.text) + " of widget \"" + name +
                                             "\" is not an integer; taken as 0");
            }
            w->value = std::to_string(v);
            return;
        }
        case Kind::Range:
            break;
    }
    float v = 0;
    if (block.current.line && !ParseFloat(block.current.text, &v)) {
        Warn(block.current.line, "value " + Quote(block.current.text) + " of widget \"" + name +
                                     "\" is not a number; taken as 0");
    }
    w->value = FloatText(v);
    struct Bound {
        const Block::Field& field;
        const char* key;
        float* out;
        float fallback;
    };
    const Bound bounds[] = {{block.bottom, "Bottom", &w->min, 0},
                            {block.top, "Top", &w->max, 0},
                            {block.step, "Step", &w->step, 1}};
    for (const Bound& b : bounds) {
        *b.out = b.fallback;
        if (!b.field.line) {
            Warn(block.line, "range widget \"" + name + "\" has no " + b.key + " line; taken as " +
                                 FloatText(b.fallback));
        } else if (!ParseFloat(b.field.text, b.out)) {
            *b.out = b.fallback;
            Warn(b.field.line, std::string(b.key) + " " + Quote(b.field.text) + " of widget \"" + name +
                                   "\" is not a number; taken as " + FloatText(b.fallback));
        }
    }
}

int CaptureImporter::Build(const std::string& model, const std::string& basePath, ordered_json* out) {
    m_error.clear();
    if (m_widgets.empty()) {
        Fail(0, "no widgets read");
        return GP_ERROR_CORRUPTED_DATA;
    }
    json base = json::object();
    std::string baseName;
    if (!basePath.empty()) {
        std::string problem;
        int rc = LoadProfileJson(basePath, &base, &problem);
        if (rc != GP_OK) {
            Fail(0, "base profile " + problem);
            return rc;
        }
        baseName = ProfileStem(basePath);
    }
    auto baseModel = base.find("model");
    std::string inherited =
        baseModel != base.end() && baseModel->is_string() ? baseModel->get<std::string>() : "";
    std::string chosen;
    if (!model.empty()) {
        if (!FindModel(model)) {
            Fail(0, "model \"" + model + "\" is not one of the simulated models (camsim models lists them)");
            return GP_ERROR_MODEL_NOT_FOUND;
        }
        chosen = model;
    } else if (!m_summaryModel.empty() && FindModel(m_summaryModel)) {
        chosen = m_summaryModel;
    } else if (FindModel(inherited)) {
        chosen = inherited;
        if (!m_summaryModel.empty()) {
            m_messages.push_back(At(m_summaryLine) + "warning: the summary's model \"" + m_summaryModel +
                                 "\" is not one of the simulated models; the model of " + baseName + ", \"" +
                                 chosen + "\", is used");
        }
    } else if (!m_summaryModel.empty()) {
        Fail(m_summaryLine, "the summary's model \"" + m_summaryModel +
                                "\" is not one of the simulated models: give --model with the model string "
                                "the camera driver reports (camsim models lists them)");
        return GP_ERROR_MODEL_NOT_FOUND;
    } else {
        Fail(0,
             "no model: the capture has no summary with a \"Model:\" line; give --model (camsim models "
             "lists them)");
        return GP_ERROR_MODEL_NOT_FOUND;
    }

    ordered_json profile = ordered_json::object();
    profile["_comment"] =
        "Imported by camsim import from " + m_source +
        (baseName.empty() ? std::string() : "; what a capture cannot hold comes from " + baseName);
    profile["model"] = chosen;
    // The latency model: the camera's timing, not something a capture shows.
    for (const char* key : {"latency", "transaction_ms", "open_ms", "settle_ms"}) {
        auto figure = base.find(key);
        if (figure != base.end())
            profile[key] = ordered_json(*figure);
    }
    auto found = base.find("widgets");
    const json none = json::array();
    const json& inheritedWidgets = found != base.end() && found->is_array() ? *found : none;
    std::map<std::string, const json*> inheritedByName;
    for (const json& b : inheritedWidgets)
        inheritedByName[WidgetName(b)] = &b;
    ordered_json widgets = ordered_json::array();
    for (const Widget& w : m_widgets) {
        ordered_json j = CapturedJson(w);
        auto b = inheritedByName.find(w.name);
        if (b != inheritedByName.end()) {
            for (auto it = b->second->begin(); it != b->second->end(); ++it) {
                bool own = false;
                for (const char* key : kCapturedKeys)
                    own = own || it.key() == key;
                if (!own)
                    j[it.key()] = ordered_json(it.value());
            }
        }
        widgets.push_back(std::move(j));
    }
    std::string onlyInBase;
    size_t kept = 0;
    for (const json& b : inheritedWidgets) {
        if (m_lineOf.count(WidgetName(b)))
            continue;
        widgets.push_back(ordered_json(b));
        onlyInBase += (kept++ ? ", " : "") + WidgetName(b);
    }
    if (kept) {
        m_messages.push_back(At(0) + "note: " + std::to_string(kept) + " widget" + (kept > 1 ? "s" : "") +
                             " not in the capture kept from " + baseName + ": " + onlyInBase);
    }
    profile["widgets"] = std::move(widgets);

    // Checked as it will be read back from the file.
    json written;
    CameraState check;
    std::string problem;
    if (!ParseJsonText(DumpJson(profile), &written, &problem) ||
        ProfileFromJson(written, m_source, &check, &problem) != GP_OK) {
        Fail(0, "the simulator would refuse the imported profile: " + problem);
        return GP_ERROR_CORRUPTED_DATA;
    }
    *out = std::move(profile);
    return GP_OK;
}

}  // namespace camsim
