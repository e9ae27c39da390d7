// camsim import: pasted captures of gphoto2 --list-all-config become profiles that the
// simulated camera serves through libgphoto2; every oddity of the paste is named by its line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "CamSim.h"
#include "CaptureImporter.h"
#include "GpCamera.h"
#include "SimTestDir.h"
#include "StateJson.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::IsSupersetOf;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

using Lines = std::vector<std::string>;

const char kSony[] = "Sony Alpha-A7 III (PC Control)";

// Two blocks exactly as gphoto2 prints them: 8 and 6 lines.
const std::string kIso =
    "/main/imgsettings/iso\nLabel: ISO Speed\nReadonly: 0\nType: RADIO\nCurrent: 100\n"
    "Choice: 0 100\nChoice: 1 200\nEND\n";
const std::string kBattery =
    "/main/status/batterylevel\nLabel: Battery Level\nReadonly: 1\nType: TEXT\nCurrent: 50%\n";
const std::string kIsoServed = "/main/imgsettings/iso \"ISO Speed\" = \"100\" {100|200}";
const std::string kBatteryServed = "/main/status/batterylevel \"Battery Level\" ro = \"50%\"";

std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0)
        out += text;
    return out;
}

std::string Indent(const std::string& text) {
    std::string out = "    ";
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\n' && i + 1 < text.size())
            out += "    ";
    }
    return out;
}

std::string Summary(const std::string& model) {
    return "Camera summary:\nManufacturer: Sony Corporation\nModel: " + model + "\n  Version: 3.01\n\n";
}

struct Imported {
    int rc = 0;
    Lines messages;
    std::string error;
    nlohmann::ordered_json profile;
};

Imported Import(const std::string& capture, const std::string& model = "Nikon Z8",
                const std::string& base = "") {
    camsim::CaptureImporter importer("cap.txt");
    Imported r;
    r.rc = importer.Parse(capture);
    if (r.rc == GP_OK)
        r.rc = importer.Build(model, base.empty() ? "" : camsim::ProfileDir() + "/" + base + ".json",
                              &r.profile);
    r.messages = importer.Messages();
    r.error = importer.Error();
    return r;
}

Lines Warnings(const Lines& messages) {
    Lines out;
    for (const std::string& m : messages) {
        if (m.find(": warning: ") != std::string::npos)
            out.push_back(m);
    }
    return out;
}

// A widget as libgphoto2 hands it out: path "label" [ro] = "value" {choices} [range].
void Describe(CameraWidget* w, const std::string& prefix, Lines* out) {
    const char* name = "";
    const char* label = "";
    CameraWidgetType type = GP_WIDGET_WINDOW;
    gp_widget_get_name(w, &name);
    gp_widget_get_label(w, &label);
    gp_widget_get_type(w, &type);
    std::string path = prefix + "/" + name;
    if (type == GP_WIDGET_WINDOW || type == GP_WIDGET_SECTION) {
        for (int i = 0; i < gp_widget_count_children(w); ++i) {
            CameraWidget* child = nullptr;
            if (gp_widget_get_child(w, i, &child) == GP_OK)
                Describe(child, path, out);
        }
        return;
    }
    int readonly = 0;
    gp_widget_get_readonly(w, &readonly);
    std::string line = path + " \"" + label + "\"" + (readonly ? " ro" : "") + " = \"";
    if (type == GP_WIDGET_TEXT || type == GP_WIDGET_RADIO || type == GP_WIDGET_MENU) {
        char* v = nullptr;
        gp_widget_get_value(w, &v);
        line += std::string(v ? v : "(null)") + "\"";
    } else if (type == GP_WIDGET_RANGE) {
        float v = 0, lo = 0, hi = 0, step = 0;
        gp_widget_get_value(w, &v);
        gp_widget_get_range(w, &lo, &hi, &step);
        char buf[128];
        std::snprintf(buf, sizeof buf, "%g\" [%g..%g step %g]", v, lo, hi, step);
        line += buf;
    } else {
        int v = 0;
        gp_widget_get_value(w, &v);
        line += std::to_string(v) + "\"";
    }
    if (type == GP_WIDGET_RADIO || type == GP_WIDGET_MENU) {
        line += " {";
        for (int i = 0; i < gp_widget_count_choices(w); ++i) {
            const char* c = "";
            gp_widget_get_choice(w, i, &c);
            line += (i ? "|" : "") + std::string(c);
        }
        line += "}";
    }
    out->push_back(line);
}

class CaptureImport : public ::testing::Test {
  protected:
    // Plugs the profile as a user would: written to a file, then `camsim plug FILE`.
    int Plug(const nlohmann::ordered_json& profile) {
        std::string path = dir.File("imported.json");
        std::ofstream(path) << camsim::DumpJson(profile, 2);
        return sim.Plug(path);
    }
    Lines Served() {
        GpCamera cam;
        CameraWidget* root = nullptr;
        if (gp_camera_get_config(cam.Get(), &root, cam.Context()) != GP_OK)
            return {"(no configuration)"};
        Lines out;
        const char* name = "";
        gp_widget_get_name(root, &name);
        for (int i = 0; i < gp_widget_count_children(root); ++i) {
            CameraWidget* child = nullptr;
            if (gp_widget_get_child(root, i, &child) == GP_OK)
                Describe(child, std::string("/") + name, &out);
        }
        gp_widget_free(root);
        return out;
    }

    camsim::SimTestDir dir;
    camsim::Simulator sim{dir.Path()};
};

struct Pasted {
    const char* what;
    std::string capture;
    Lines messages;  // exactly, in order
    Lines served;    // what libgphoto2 then serves
};

TEST_F(CaptureImport, PasteDamageIsRepairedWithAWarningNamingTheLine) {
    const std::string lostStart = "Type: RADIO\nCurrent: 100\nEND\n";
    const std::string focus =
        "/main/capturesettings/focusmode\nLabel: Focus Mode\nReadonly: 0\nType: MENU\nCurrent: AF-S\n"
        "Choice: 0 AF-S\nChoice: 1 \nChoice: 2\nChoice: 3 MF\nEND\n";
    const std::string drive =
        "/main/capturesettings/drive\nLabel: Drive Mode\nReadonly: 0\nType: RADIO\nCurrent: a\n"
        "Choice: 0 a\nChoice: 2 b\nChoice: three c\nEND\n";
    const std::string artist =
        "/main/settings/artist\nLabel: Artist\nLabel: Artist 2\nReadonly: 0\nType: TEXT\nCurrent: Jane\nDoe\n"
        "Info: printed by newer gphoto2\nEND\n";
    const std::string text =
        "/main/settings/artist\nLabel: Artist\nReadonly: 0\nType: TEXT\nCurrent: Jane\nChoice: 0 Jane\n"
        "Bottom: 0\nEND\n";
    const std::string numbers =
        "/main/capturesettings/exposurecompensation\nLabel: Exposure Compensation\nReadonly: 0\nType: RANGE\n"
        "Current: lots\nBottom: -3\nTop: \nStep: nan\nEND\n"
        "/main/settings/beep\nLabel: Beep\nReadonly: 2\nType: TOGGLE\nCurrent: on\nEND\n";
    const std::string sections =
        "/main/owner\nLabel: Owner\nReadonly: 0\nType: TEXT\nCurrent: me\nEND\n"
        "/main/settings/more/copyright\nLabel: Copyright\nReadonly: 0\nType: TEXT\nCurrent: (c)\nEND\n";
    const std::string longLabel(300, 'L'), longName(300, 'n');
    const std::string lengths = "/main/settings/longlabel\nLabel: " + longLabel +
                                "\nReadonly: 0\nType: TEXT\nCurrent: x\nEND\n"
                                "/main/settings/" +
                                longName + "\nLabel: Long name\nReadonly: 0\nType: TEXT\nCurrent: y\nEND\n";

    const Pasted cases[] = {
        {"Windows line endings",
         Crlf(kIso + kBattery + "END\n"),
         {"cap.txt:1: warning: Windows line endings (CR LF); the CRs are dropped"},
         {kIsoServed, kBatteryServed}},
        {"no final END",
         kIso + kBattery,
         {"cap.txt:13: warning: the capture ends inside widget \"/main/status/batterylevel\" (line 9) "
          "without its "
          "END"},
         {kIsoServed, kBatteryServed}},
        {"no END before the next widget",
         kBattery + kIso,
         {"cap.txt:6: warning: widget \"/main/status/batterylevel\" (line 1) has no END before the next "
          "widget"},
         {kBatteryServed, kIsoServed}},
        {"stray lines between widgets",
         kIso + "\n*** Error (-7: 'I/O problem') ***\ngphoto2: done\n" + kBattery + "END\n",
         {"cap.txt:10: warning: not part of a widget, ignored: \"*** Error (-7: 'I/O problem') ***\"",
          "cap.txt:11: warning: not part of a widget, ignored: \"gphoto2: done\""},
         {kIsoServed, kBatteryServed}},
        {"widget without a type",
         "/main/actions/autofocusdrive\nLabel: Drive Nikon DSLR Autofocus\nReadonly: 0\nEND\n" + kIso,
         {"cap.txt:1: warning: widget \"autofocusdrive\" has no Type line (a button, or its value could not "
          "be "
          "read); skipped"},
         {kIsoServed}},
        {"type the simulator cannot serve",
         "/main/actions/shoot\nLabel: Shoot\nReadonly: 0\nType: BUTTON\nEND\n" + kIso,
         {"cap.txt:4: warning: widget \"shoot\" has type \"BUTTON\", which the simulator cannot serve; "
          "skipped"},
         {kIsoServed}},
        {"empty choices",
         focus,
         {"cap.txt:7: warning: choice 1 of widget \"focusmode\" is empty; kept in its place",
          "cap.txt:8: warning: choice 2 of widget \"focusmode\" is empty; kept in its place"},
         {"/main/capturesettings/focusmode \"Focus Mode\" = \"AF-S\" {AF-S|||MF}"}},
        {"choice numbers out of order or missing",
         drive,
         {"cap.txt:7: warning: choice 2 of widget \"drive\" where 1 was expected; kept as choice 1",
          "cap.txt:8: warning: choice of widget \"drive\" without its number (Choice: N text), ignored"},
         {"/main/capturesettings/drive \"Drive Mode\" = \"a\" {a|b}"}},
        {"duplicate names",
         kIso + "/main/other/iso\nLabel: ISO again\nReadonly: 0\nType: RADIO\nCurrent: 200\nChoice: 0 "
                "200\nEND\n",
         {"cap.txt:9: warning: widget \"iso\" again (first at line 1); this one is skipped"},
         {kIsoServed}},
        {"foreign lines inside a widget",
         artist,
         {"cap.txt:3: warning: a second Label line for widget \"/main/settings/artist\" (first at line 2), "
          "ignored",
          "cap.txt:7: warning: not a line of widget \"/main/settings/artist\", ignored: \"Doe\""},
         {"/main/settings/artist \"Artist\" = \"Jane\""}},
        {"lines that the widget's type does not use",
         text,
         {"cap.txt:6: warning: widget \"artist\" is text, its Choice lines are ignored",
          "cap.txt:7: warning: widget \"artist\" is text, its range lines are ignored"},
         {"/main/settings/artist \"Artist\" = \"Jane\""}},
        {"paste that lost the start of its first widget",
         lostStart + kIso,
         {"cap.txt:1: warning: widget line before any widget path, ignored: \"Type: RADIO\"",
          "cap.txt:2: warning: widget line before any widget path, ignored: \"Current: 100\"",
          "cap.txt:3: warning: widget line before any widget path, ignored: \"END\""},
         {kIsoServed}},
        {"no section and nested sections",
         sections,
         {"cap.txt:1: warning: widget \"owner\" is in no section; it goes to \"other\"",
          "cap.txt:7: warning: widget \"copyright\" is in nested sections; the simulator has one level, it "
          "goes "
          "to \"more\""},
         {"/main/other/owner \"Owner\" = \"me\"", "/main/more/copyright \"Copyright\" = \"(c)\""}},
        {"indented paste",
         Indent(kIso),
         {"cap.txt:1: warning: indented line; the indentation is dropped"},
         {kIsoServed}},
        {"bytes that are not UTF-8",
         "/main/settings/artist\nLabel: Artist\nReadonly: 0\nType: TEXT\nCurrent: caf\xE9\nEND\n",
         {"cap.txt:5: warning: not valid UTF-8; the bad bytes become U+FFFD"},
         {"/main/settings/artist \"Artist\" = \"caf\xEF\xBF\xBD\""}},
        {"missing Label, Readonly and Current",
         "/main/settings/owner\nType: TEXT\nEND\n",
         {"cap.txt:1: warning: widget \"owner\" has no Label line; its name is the label",
          "cap.txt:1: warning: widget \"owner\" has no Readonly line; taken as writable",
          "cap.txt:1: warning: widget \"owner\" has no Current line; its value is empty"},
         {"/main/settings/owner \"owner\" = \"\""}},
        {"numbers that are none",
         numbers,
         {"cap.txt:5: warning: value \"lots\" of widget \"exposurecompensation\" is not a number; taken as 0",
          "cap.txt:7: warning: Top \"\" of widget \"exposurecompensation\" is not a number; taken as 0",
          "cap.txt:8: warning: Step \"nan\" of widget \"exposurecompensation\" is not a number; taken as 1",
          "cap.txt:12: warning: Readonly \"2\" of widget \"beep\" is not 0 or 1; taken as 0",
          "cap.txt:14: warning: value \"on\" of widget \"beep\" is not an integer; taken as 0"},
         {"/main/capturesettings/exposurecompensation \"Exposure Compensation\" = \"0\" [-3..0 step 1]",
          "/main/settings/beep \"Beep\" = \"0\""}},
        {"texts longer than libgphoto2 holds",
         lengths,
         {"cap.txt:2: warning: label of widget \"longlabel\" is longer than 255 bytes; cut",
          "cap.txt:7: warning: widget path \"/main/settings/" + std::string(45, 'n') +
              "...\" has a part longer than 255 bytes; skipped"},
         {"/main/settings/longlabel \"" + std::string(255, 'L') + "\" = \"x\""}},
        {"a name that outgrows libgphoto2 once its bad bytes are replaced",
         "/main/settings/" + std::string(100, '\xFF') +
             "\nLabel: L\nReadonly: 0\nType: TEXT\nCurrent: x\nEND\n" + kIso,
         {"cap.txt:1: warning: not valid UTF-8; the bad bytes become U+FFFD",
          "cap.txt:1: warning: widget path \"/main/settings/" + Repeat("\xEF\xBF\xBD", 15) +
              "...\" has a part longer than 255 bytes; skipped"},
         {kIsoServed}},
        {"summary pasted after the widgets",
         kIso + "Camera summary:\nManufacturer: Sony Corporation\nModel: ILCE-7M3\n  Version: 3.01\n",
         {},
         {kIsoServed}},
    };
    for (const Pasted& c : cases) {
        SCOPED_TRACE(c.what);
        Imported r = Import(c.capture);
        ASSERT_EQ(r.rc, GP_OK) << r.error;
        EXPECT_THAT(r.messages, ElementsAreArray(c.messages));
        ASSERT_EQ(Plug(r.profile), GP_OK) << sim.LastError();
        EXPECT_THAT(Served(), ElementsAreArray(c.served));
    }
}

TEST_F(CaptureImport, WhatIsNoCaptureIsRefusedNamingTheLineAndTheProblem) {
    std::string typeless;
    for (int i = 0; i < 150; ++i)
        typeless += "/main/actions/button" + std::to_string(i) + "\nLabel: Button\nEND\n";
    struct Refused {
        const char* what;
        std::string capture;
        std::string error;
        size_t messages;
    };
    const Refused cases[] = {
        {"empty", "", "cap.txt: error: the capture is empty", 0},
        {"blank lines only", "\r\n  \n\t\n", "cap.txt: error: the capture is empty", 0},
        {"prose", "Hello,\nhere is my camera:\n",
         "cap.txt:1: error: not a capture of gphoto2 --list-all-config: no widget path (such as "
         "/main/imgsettings/iso) in it; the first line reads \"Hello,\"",
         0},
        {"a profile instead of a capture", "\n{\"model\": \"Nikon Z8\", \"widgets\": []}\n",
         "cap.txt:2: error: not a capture of gphoto2 --list-all-config: no widget path (such as "
         "/main/imgsettings/iso) in it; the first line reads \"{\"model\": \"Nikon Z8\", \"widgets\": []}\"",
         0},
        {"binary",
         kIso +
             std::string("\x7f"
                         "ELF\x02\x01\x01\0\0\0",
                         10) +
             "\n",
         "cap.txt:9: error: holds a NUL byte: this is no text capture", 0},
        {"nothing usable", "/main/actions/a\nLabel: A\nEND\n",
         "cap.txt: error: none of the 1 widgets can be used (see the warnings)", 1},
        {"a flood of warnings", typeless,
         "cap.txt: error: none of the 150 widgets can be used (see the warnings)", 101},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.what);
        camsim::CaptureImporter importer("cap.txt");
        EXPECT_EQ(importer.Parse(c.capture), GP_ERROR_CORRUPTED_DATA);
        EXPECT_EQ(importer.Error(), c.error);
        EXPECT_EQ(importer.Messages().size(), c.messages);
        nlohmann::ordered_json profile;
        EXPECT_EQ(importer.Build("Nikon Z8", "", &profile), GP_ERROR_CORRUPTED_DATA) << "nothing to build";
    }
    camsim::CaptureImporter flood("cap.txt");
    flood.Parse(typeless);
    ASSERT_EQ(flood.Messages().size(), 101u);
    EXPECT_EQ(flood.Messages().back(), "cap.txt: 50 more warnings not shown");
}

TEST_F(CaptureImport, ModelComesFromTheOptionElseTheSummaryElseTheBase) {
    struct ModelCase {
        const char* what;
        std::string capture;
        std::string model;  // --model
        std::string base;   // --inherits
        std::string expected;
        std::string warning;
        std::string error;
    };
    const std::string z9 = Summary("Nikon Z9") + kIso, a7m3 = Summary("ILCE-7M3") + kIso;
    const std::string unknown = ": the summary's model \"ILCE-7M3\" is not one of the simulated models";
    const std::string listed = "(camsim models lists them)";
    const std::string baseUsed = "cap.txt:3: warning" + unknown +
                                 "; the model of sony-a7m3, \"Sony Alpha-A7 III (PC Control)\", is used";
    const std::string noBase = "cap.txt:3: error" + unknown +
                               ": give --model with the model string the camera driver reports " + listed;
    const std::string badOption =
        "cap.txt: error: model \"Nikon Z7\" is not one of the simulated models " + listed;
    const std::string none =
        "cap.txt: error: no model: the capture has no summary with a \"Model:\" line; give --model " + listed;
    const ModelCase cases[] = {
        {"summary", z9, "", "", "Nikon Z9", "", ""},
        {"option over summary", z9, "Canon EOS RP", "", "Canon EOS RP", "", ""},
        {"base when the capture has none", kIso, "", "sony-a7m3", kSony, "", ""},
        {"base when the summary's is unknown", a7m3, "", "sony-a7m3", kSony, baseUsed, ""},
        {"unknown summary model and no base", a7m3, "", "", "", "", noBase},
        {"unknown option", kIso, "Nikon Z7", "", "", "", badOption},
        {"no model anywhere", kIso, "", "base-sony", "", "", none},
    };
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(c.what);
        Imported r = Import(c.capture, c.model, c.base);
        EXPECT_EQ(Warnings(r.messages), c.warning.empty() ? Lines{} : Lines{c.warning});
        if (!c.error.empty()) {
            EXPECT_EQ(r.rc, GP_ERROR_MODEL_NOT_FOUND);
            EXPECT_EQ(r.error, c.error);
            continue;
        }
        ASSERT_EQ(r.rc, GP_OK) << r.error;
        ASSERT_EQ(Plug(r.profile), GP_OK) << sim.LastError();
        EXPECT_EQ(sim.Model(), c.expected);
        EXPECT_THAT(Autodetect(), ElementsAre(HasSubstr(c.expected + "|usb:")));
    }
}

TEST_F(CaptureImport, TextsReachLibgphoto2ExactlyAsCaptured) {
    const std::string capture =
        "/main/capturesettings/expprogram\nLabel: Exposure Program  \nReadonly: 0\nType: RADIO\n"
        "Current: Unknown value 8085\nChoice: 0 M\nChoice: 1 Unknown value 8085\nChoice: 2 0100\n"
        "Choice: 3 1/250 \nChoice: 4  leading blank\nChoice: 5 白平衡\nChoice: 6 1e5\nChoice: 7 f/2.8\nEND\n"
        "/main/settings/note\nLabel: 备注\nReadonly: 1\nType: TEXT\nCurrent:   \nEND\n"
        "/main/settings/datetime\nLabel: Camera Date and Time\nReadonly: 0\nType: DATE\nCurrent: 1700000000\n"
        "Printable: Tue Nov 14 22:13:20 2023\nHelp: Use 'now' as the current time when setting.\n\nEND\n"
        "/main/capturesettings/zoom\nLabel: Zoom\nReadonly: 0\nType: RANGE\nCurrent: 0.1\nBottom: -3.3\n"
        "Top: 1e+06\nStep: 0.1\nEND\n";
    Imported r = Import(capture);
    ASSERT_EQ(r.rc, GP_OK) << r.error;
    EXPECT_THAT(r.messages, IsEmpty());
    ASSERT_EQ(Plug(r.profile), GP_OK) << sim.LastError();
    EXPECT_THAT(
        Served(),
        ElementsAre("/main/capturesettings/expprogram \"Exposure Program  \" = \"Unknown value 8085\" "
                    "{M|Unknown value 8085|0100|1/250 | leading blank|白平衡|1e5|f/2.8}",
                    "/main/capturesettings/zoom \"Zoom\" = \"0.1\" [-3.3..1e+06 step 0.1]",
                    "/main/settings/note \"备注\" ro = \"  \"",
                    "/main/settings/datetime \"Camera Date and Time\" = \"1700000000\""));
}

TEST_F(CaptureImport, TheBaseGivesWhatACaptureCannotHoldAndTheCaptureTheRest) {
    const std::string capture =
        Summary("ILCE-7M3") +
        "/main/imgsettings/iso\nLabel: ISO\nReadonly: 0\nType: RADIO\nCurrent: 100\n"
        "Choice: 0 100\nChoice: 1 800\nEND\n"
        "/main/status/d21d\nLabel: Recording\nReadonly: 0\nType: TEXT\nCurrent: 0\nEND\n"
        "/main/actions/movie\nLabel: Movie\nReadonly: 0\nType: RADIO\nCurrent: 0\n"
        "Choice: 0 0\nChoice: 1 1\nEND\n"
        "/main/other/d2c1\nLabel: PTP Property 0xd2c1\nReadonly: 0\nType: TEXT\n"
        "Current: 7\nEND\n";
    Imported r = Import(capture, kSony, "base-sony");
    ASSERT_EQ(r.rc, GP_OK) << r.error;
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_THAT(r.messages[0], StartsWith("cap.txt: note: "));
    EXPECT_THAT(r.messages[0],
                HasSubstr(" not in the capture kept from base-sony: batterylevel, kd_touch_focus"));
    EXPECT_THAT(r.messages[0], Not(HasSubstr("iso")));
    ASSERT_EQ(Plug(r.profile), GP_OK) << sim.LastError();

    EXPECT_THAT(Served(), IsSupersetOf({"/main/imgsettings/iso \"ISO\" = \"100\" {100|800}",
                                        "/main/status/d21d \"Recording\" = \"0\"",
                                        "/main/actions/movie \"Movie\" = \"0\" {0|1}",
                                        "/main/other/d2c1 \"PTP Property 0xd2c1\" = \"7\"",
                                        "/main/status/batterylevel \"Battery Level\" ro = \"85%\""}))
        << "the capture's labels, choices and read-only flags; the base's other widgets";

    GpCamera cam;
    ASSERT_EQ(cam.SetText("iso", "800"), GP_OK);
    GpEvent iso = cam.Wait(1000);
    EXPECT_EQ(iso.type, 13) << "the base's driver event";
    EXPECT_EQ(iso.Int32(), 800);
    ASSERT_EQ(cam.SetText("movie", "1"), GP_OK);
    EXPECT_EQ(sim.Value("d21d"), "1") << "the base's effect";
    ASSERT_EQ(cam.SetText("d21d", "0"), GP_OK) << "the capture's Readonly: 0 wins over the base";
    ASSERT_EQ(cam.SetText("d2c1", "8"), GP_OK);
    GpEvent other;
    do {
        other = cam.Wait(1000);
    } while (other.rc == GP_OK && other.type != GP_EVENT_TIMEOUT &&
             other.Text() != "PTP Property d2c1 changed");
    EXPECT_EQ(other.Text(), "PTP Property d2c1 changed")
        << "a widget only in the capture: the standard event";
}

TEST_F(CaptureImport, ProfilesWithTextsLibgphoto2CannotHoldAreRefused) {
    for (const char* key : {"name", "label", "section"}) {
        SCOPED_TRACE(key);
        nlohmann::json widget = {{"name", "w"}, {"type", "text"}};
        widget[key] = std::string(256, 'x');
        std::string path = dir.File(std::string(key) + ".json");
        std::ofstream(path) << nlohmann::json{{"model", "Nikon Z8"}, {"widgets", {widget}}}.dump();
        EXPECT_EQ(sim.Plug(path), GP_ERROR_CORRUPTED_DATA);
        EXPECT_THAT(sim.LastError(), HasSubstr(std::string("\"") + key + "\" is longer than 255 bytes"));
    }
}

}  // namespace
