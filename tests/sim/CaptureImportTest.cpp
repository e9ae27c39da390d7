// camsim import: pasted captures of gphoto2 --list-all-config become profiles that the simulated
// camera serves through libgphoto2; every oddity of the paste is named by its line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "CamSim.h"
#include "CaptureImporter.h"
#include "GpCamera.h"
#include "SimTestDir.h"
#include "StateJson.h"

using ::testing::HasSubstr;

namespace {

using Lines = std::vector<std::string>;

// A writable widget's block as gphoto2 prints it: five lines, then more and END.
std::string B(const std::string& path, const std::string& label, const std::string& type,
              const std::string& current, const std::string& more = "") {
    return path + "\nLabel: " + label + "\nReadonly: 0\nType: " + type + "\nCurrent: " + current + "\n" +
           more + "END\n";
}

// Two blocks (8 and 5 lines, the second without its END), and as the simulator then serves them.
const std::string kIso =
    B("/main/imgsettings/iso", "ISO Speed", "RADIO", "100", "Choice: 0 100\nChoice: 1 200\n");
const std::string kBattery =
    "/main/status/batterylevel\nLabel: Battery Level\nReadonly: 1\nType: TEXT\nCurrent: 50%\n";
const std::string kIsoServed = "/main/imgsettings/iso \"ISO Speed\" = \"100\" {100|200}";
const std::string kBatteryServed = "/main/status/batterylevel \"Battery Level\" ro = \"50%\"";

// A widget as libgphoto2 hands it out: path "label" [ro] = "value" {choices} [range].
void Describe(CameraWidget* w, const std::string& prefix, Lines* out) {
    const char *name = "", *label = "";
    CameraWidgetType type = GP_WIDGET_WINDOW;
    int readonly = 0, number = 0;
    gp_widget_get_name(w, &name);
    gp_widget_get_label(w, &label);
    gp_widget_get_type(w, &type);
    gp_widget_get_readonly(w, &readonly);
    const std::string path = prefix + "/" + name;
    std::string line = path + " \"" + label + "\"" + (readonly ? " ro" : "") + " = \"";
    char* text = nullptr;
    float v = 0, lo = 0, hi = 0, step = 0;
    char range[128];
    switch (type) {
        case GP_WIDGET_WINDOW:
        case GP_WIDGET_SECTION:
            for (int i = 0; i < gp_widget_count_children(w); ++i) {
                CameraWidget* child = nullptr;
                if (gp_widget_get_child(w, i, &child) == GP_OK)
                    Describe(child, path, out);
            }
            return;
        case GP_WIDGET_RANGE:
            gp_widget_get_value(w, &v);
            gp_widget_get_range(w, &lo, &hi, &step);
            std::snprintf(range, sizeof range, "%g\" [%g..%g step %g]", v, lo, hi, step);
            out->push_back(line + range);
            return;
        case GP_WIDGET_TOGGLE:
        case GP_WIDGET_DATE:
            gp_widget_get_value(w, &number);
            out->push_back(line + std::to_string(number) + "\"");
            return;
        default:
            gp_widget_get_value(w, &text);
            line += std::string(text ? text : "(null)") + "\"";
    }
    const char* choice = "";
    for (int i = 0; i < gp_widget_count_choices(w); ++i)
        line += (i ? "|" : " {") + std::string(gp_widget_get_choice(w, i, &choice) == GP_OK ? choice : "?");
    out->push_back(line + (gp_widget_count_choices(w) > 0 ? "}" : type == GP_WIDGET_TEXT ? "" : " {}"));
}

class CaptureImport : public ::testing::Test {
  protected:
    struct Result {
        int rc = 0;
        Lines messages;
        std::string error;
        Lines served;  // what libgphoto2 serves once the profile is plugged
    };
    // Imports the capture, named cap.txt, and plugs the profile as a user would: written to a file.
    Result Import(const std::string& capture, const std::string& model = "Nikon Z8",
                  const std::string& base = "") {
        camsim::CaptureImporter importer("cap.txt");
        nlohmann::ordered_json profile;
        Result r;
        r.rc = importer.Parse(capture);
        if (r.rc == GP_OK)
            r.rc = importer.Build(model, base.empty() ? "" : camsim::ProfileDir() + "/" + base + ".json",
                                  &profile);
        r.messages = importer.Messages();
        r.error = importer.Error();
        if (r.rc == GP_OK) {
            std::ofstream(dir.File("imported.json")) << camsim::DumpJson(profile, 2);
            EXPECT_EQ(sim.Plug(dir.File("imported.json")), GP_OK) << sim.LastError();
            GpCamera cam;
            CameraWidget* root = nullptr;
            if (gp_camera_get_config(cam.Get(), &root, cam.Context()) == GP_OK)
                Describe(root, "", &r.served);
            gp_widget_free(root);
        }
        return r;
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
};

// Warnings are written here as "LINE: TEXT" for "cap.txt:LINE: warning: TEXT".
Lines Warnings(Lines lines) {
    for (std::string& l : lines)
        l = std::regex_replace(l, std::regex("^([0-9]+): "), "cap.txt:$1: warning: ");
    return lines;
}

TEST_F(CaptureImport, PasteDamageIsRepairedWithAWarningNamingTheLine) {
    std::string crlf = kIso + kBattery + "END\n", indented = "    " + kIso;
    crlf = std::regex_replace(crlf, std::regex("\n"), "\r\n");
    indented = std::regex_replace(indented, std::regex("\n(.)"), "\n    $1");
    const struct {
        std::string capture;
        Lines warnings;
        Lines served;
    } cases[] = {
        {crlf, {"1: Windows line endings (CR LF); the CRs are dropped"}, {kIsoServed, kBatteryServed}},
        {kIso + kBattery,
         {"13: the capture ends inside widget \"/main/status/batterylevel\" (line 9) without its END"},
         {kIsoServed, kBatteryServed}},
        {kBattery + kIso,
         {"6: widget \"/main/status/batterylevel\" (line 1) has no END before the next widget"},
         {kBatteryServed, kIsoServed}},
        {kIso + "\n*** Error (-7: 'I/O problem') ***\ngphoto2: done\n" + kBattery + "END\n",
         {"10: not part of a widget, ignored: \"*** Error (-7: 'I/O problem') ***\"",
          "11: not part of a widget, ignored: \"gphoto2: done\""},
         {kIsoServed, kBatteryServed}},
        {"/main/actions/autofocusdrive\nLabel: Drive Nikon DSLR Autofocus\nReadonly: 0\nEND\n" + kIso,
         {"1: widget \"autofocusdrive\" has no Type line (a button, or its value could not be read); "
          "skipped"},
         {kIsoServed}},
        {"/main/actions/shoot\nLabel: Shoot\nReadonly: 0\nType: BUTTON\nEND\n" + kIso,
         {"4: widget \"shoot\" has type \"BUTTON\", which the simulator cannot serve; skipped"},
         {kIsoServed}},
        {B("/main/capturesettings/focusmode", "Focus Mode", "MENU", "AF-S",
           "Choice: 0 AF-S\nChoice: 1 \nChoice: 2\nChoice: 3 MF\n"),
         {"7: choice 1 of widget \"focusmode\" is empty; kept in its place",
          "8: choice 2 of widget \"focusmode\" is empty; kept in its place"},
         {"/main/capturesettings/focusmode \"Focus Mode\" = \"AF-S\" {AF-S|||MF}"}},
        {B("/main/capturesettings/drive", "Drive Mode", "RADIO", "a",
           "Choice: 0 a\nChoice: 2 b\nChoice: three c\n"),
         {"7: choice 2 of widget \"drive\" where 1 was expected; kept as choice 1",
          "8: choice of widget \"drive\" without its number (Choice: N text), ignored"},
         {"/main/capturesettings/drive \"Drive Mode\" = \"a\" {a|b}"}},
        {kIso + B("/main/other/iso", "ISO again", "RADIO", "200"),
         {"9: widget \"iso\" again (first at line 1); this one is skipped"},
         {kIsoServed}},
        {"/main/settings/artist\nLabel: Artist\nLabel: Artist 2\nReadonly: 0\nType: TEXT\nCurrent: "
         "Jane\nDoe\n"
         "Info: printed by newer gphoto2\nEND\n",
         {"3: a second Label line for widget \"/main/settings/artist\" (first at line 2), ignored",
          "7: not a line of widget \"/main/settings/artist\", ignored: \"Doe\""},
         {"/main/settings/artist \"Artist\" = \"Jane\""}},
        {B("/main/settings/artist", "Artist", "TEXT", "Jane", "Choice: 0 Jane\nBottom: 0\n"),
         {"6: widget \"artist\" is text, its Choice lines are ignored",
          "7: widget \"artist\" is text, its range lines are ignored"},
         {"/main/settings/artist \"Artist\" = \"Jane\""}},
        {"Type: RADIO\nCurrent: 100\nEND\n" + kIso,
         {"1: widget line before any widget path, ignored: \"Type: RADIO\"",
          "2: widget line before any widget path, ignored: \"Current: 100\"",
          "3: widget line before any widget path, ignored: \"END\""},
         {kIsoServed}},
        {B("/main/owner", "Owner", "TEXT", "me") +
             B("/main/settings/more/copyright", "Copyright", "TEXT", "© 白"),
         {"1: widget \"owner\" is in no section; it goes to \"other\"",
          "7: widget \"copyright\" is in nested sections; the simulator has one level, it goes to \"more\""},
         {"/main/other/owner \"Owner\" = \"me\"", "/main/more/copyright \"Copyright\" = \"© 白\""}},
        {indented, {"1: indented line; the indentation is dropped"}, {kIsoServed}},
        {B("/main/settings/artist", "Artist", "TEXT", "caf\xE9"),
         {"5: not valid UTF-8; the bad bytes become U+FFFD"},
         {"/main/settings/artist \"Artist\" = \"caf\xEF\xBF\xBD\""}},
        {"/main/settings/owner\nType: TEXT\nEND\n",
         {"1: widget \"owner\" has no Label line; its name is the label",
          "1: widget \"owner\" has no Readonly line; taken as writable",
          "1: widget \"owner\" has no Current line; its value is empty"},
         {"/main/settings/owner \"owner\" = \"\""}},
        {B("/main/capturesettings/exposurecompensation", "Exposure Compensation", "RANGE", "lots",
           "Bottom: -3\nTop: \nStep: nan\n") +
             "/main/settings/beep\nLabel: Beep\nReadonly: 2\nType: TOGGLE\nCurrent: on\nEND\n",
         {"5: value \"lots\" of widget \"exposurecompensation\" is not a number; taken as 0",
          "7: Top \"\" of widget \"exposurecompensation\" is not a number; taken as 0",
          "8: Step \"nan\" of widget \"exposurecompensation\" is not a number; taken as 1",
          "12: Readonly \"2\" of widget \"beep\" is not 0 or 1; taken as 0",
          "14: value \"on\" of widget \"beep\" is not an integer; taken as 0"},
         {"/main/capturesettings/exposurecompensation \"Exposure Compensation\" = \"0\" [-3..0 step 1]",
          "/main/settings/beep \"Beep\" = \"0\""}},
        {B("/main/settings/longlabel", std::string(300, 'L'), "TEXT", "x") +
             B("/main/settings/" + std::string(300, 'n'), "Long name", "TEXT", "y"),
         {"2: label of widget \"longlabel\" is longer than 255 bytes; cut",
          "7: widget path \"/main/settings/" + std::string(45, 'n') +
              "...\" has a part longer than 255 bytes; skipped"},
         {"/main/settings/longlabel \"" + std::string(255, 'L') + "\" = \"x\""}},
        {B("/main/settings/" + std::string(100, '\xFF'), "L", "TEXT", "x") + kIso,
         {"1: not valid UTF-8; the bad bytes become U+FFFD",
          "1: widget path \"/main/settings/" +
              std::regex_replace(std::string(15, '.'), std::regex("."), "\xEF\xBF\xBD") +
              "...\" has a part longer than 255 bytes; skipped"},
         {kIsoServed}},
        {kIso + "Camera summary:\nManufacturer: Sony Corporation\nModel: ILCE-7M3\n  Version: 3.01\n",
         {},
         {kIsoServed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capture.substr(0, 60));
        const Result r = Import(c.capture);
        ASSERT_EQ(r.rc, GP_OK) << r.error;
        EXPECT_EQ(r.messages, Warnings(c.warnings));
        EXPECT_EQ(r.served, c.served);
    }
}

TEST_F(CaptureImport, WhatIsNoCaptureIsRefusedNamingTheLineAndTheProblem) {
    std::string typeless;
    for (int i = 0; i < 150; ++i)
        typeless += "/main/actions/button" + std::to_string(i) + "\nLabel: Button\nEND\n";
    const std::string noPath =
        "cap.txt:%d: error: not a capture of gphoto2 --list-all-config: no widget path (such "
        "as /main/imgsettings/iso) in it; the first line reads \"%s\"";
    auto notCapture = [&](int line, const char* first) {
        char text[256];
        std::snprintf(text, sizeof text, noPath.c_str(), line, first);
        return std::string(text);
    };
    const std::tuple<std::string, std::string, size_t> cases[] = {
        {"", "cap.txt: error: the capture is empty", 0},
        {"\r\n  \n\t\n", "cap.txt: error: the capture is empty", 0},
        {"Hello,\nhere is my camera:\n", notCapture(1, "Hello,"), 0},
        {"\n{\"model\": \"Nikon Z8\", \"widgets\": []}\n",
         notCapture(2, "{\"model\": \"Nikon Z8\", \"widgets\": []}"), 0},
        {kIso + std::string("\x7f"
                            "ELF\x02\x01\x01\0\0\0\n",
                            11),
         "cap.txt:9: error: holds a NUL byte: this is no text capture", 0},
        {"/main/actions/a\nLabel: A\nEND\n",
         "cap.txt: error: none of the 1 widgets can be used (see the warnings)", 1},
        {typeless, "cap.txt: error: none of the 150 widgets can be used (see the warnings)", 101},
    };
    for (const auto& [capture, error, messages] : cases) {
        camsim::CaptureImporter importer("cap.txt");
        nlohmann::ordered_json profile;
        EXPECT_EQ(importer.Parse(capture), GP_ERROR_CORRUPTED_DATA) << error;
        EXPECT_EQ(importer.Error(), error);
        EXPECT_EQ(importer.Messages().size(), messages);
        EXPECT_EQ(importer.Build("Nikon Z8", "", &profile), GP_ERROR_CORRUPTED_DATA) << "nothing to build";
        if (messages == 101) {
            EXPECT_EQ(importer.Messages().back(), "cap.txt: 50 more warnings not shown");
        }
    }
    for (const char* key : {"name", "label", "section"}) {  // profiles with texts libgphoto2 cannot hold
        nlohmann::json widget = {{"name", "w"}, {"type", "text"}};
        widget[key] = std::string(256, 'x');
        std::ofstream(dir.File("long.json"))
            << nlohmann::json{{"model", "Nikon Z8"}, {"widgets", {widget}}}.dump();
        EXPECT_EQ(sim.Plug(dir.File("long.json")), GP_ERROR_CORRUPTED_DATA);
        EXPECT_THAT(sim.LastError(), HasSubstr(std::string("\"") + key + "\" is longer than 255 bytes"));
    }
}

// The model comes from the option, else the summary, else the base, whose other widgets are kept.
TEST_F(CaptureImport, ModelComesFromTheOptionElseTheSummaryElseTheBase) {
    const std::string a7m3 = "Camera summary:\nModel: ILCE-7M3\n\n" + kIso,
                      sony = "Sony Alpha-A7 III (PC Control)";
    const std::string unknown = "the summary's model \"ILCE-7M3\" is not one of the simulated models";
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        // capture, --model, --inherits: the model plugged or the error, then the messages
        {kIso, "Canon EOS RP", "", "Canon EOS RP"},
        {"Camera summary:\nModel: Nikon Z9\n\n" + kIso, "", "", "Nikon Z9"},
        {a7m3, "", "sony-a7m3",
         sony + " cap.txt:2: warning: " + unknown + "; the model of sony-a7m3, \"" + sony},
        {a7m3, "", "", "cap.txt:2: error: " + unknown + ": give --model with the model string"},
        {kIso, "Nikon Z7", "", "cap.txt: error: model \"Nikon Z7\" is not one of the simulated models"},
        {kIso, "", "base-sony",
         "cap.txt: error: no model: the capture has no summary with a \"Model:\" line"},
    };
    for (const auto& [capture, model, base, expected] : cases) {
        const Result r = Import(capture, model, base);
        std::string got = r.rc == GP_OK ? sim.Model() : r.error + " " + std::to_string(r.rc);
        for (const std::string& m : r.messages)
            got += " " + m;
        EXPECT_THAT(got, ::testing::StartsWith(expected));
        EXPECT_EQ(
            got.find(" widgets not in the capture kept from sony-a7m3: batterylevel") != std::string::npos,
            base == "sony-a7m3");
    }
}

}  // namespace
