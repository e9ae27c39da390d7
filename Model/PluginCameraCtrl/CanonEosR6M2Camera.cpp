#include "CanonEosR6M2Camera.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "NumberText.h"
#include "SetRequests.h"
#include "zrlog.h"

namespace {

const char kMovieSwitchWidget[] = "eosmovieswitch";
const char kTouchWidget[] = "kd_touch_focus";

// On a device set up for it, a hand-tuned diff replaces the table's.
const char kDebugMarkerFile[] = "/opt/firmware/debug/test";
const char kDebugDiffFile[] = "/opt/firmware/debug/diff.txt";

const int kNoDiff = 65535;

// Stills-mode horizontal correction by target column, subtracted from x;
// strongest towards the edges, none around the centre.
struct DiffRow {
    int lower;  // inclusive
    int upper;  // exclusive
    int diff;
};
const DiffRow kTouchDiffs[] = {
    {50, 64, 42},    {64, 80, 40},    {80, 90, 40},    {90, 100, 40},   {100, 110, 34},  {110, 120, 32},
    {120, 130, 32},  {130, 140, 28},  {140, 150, 26},  {150, 160, 26},  {160, 170, 24},  {170, 180, 24},
    {180, 190, 19},  {190, 200, 17},  {200, 210, 17},  {210, 220, 14},  {220, 230, 14},  {230, 240, 12},
    {240, 250, 10},  {250, 260, 8},   {260, 270, 6},   {270, 280, 3},   {280, 290, 2},   {290, 300, 2},
    {305, 310, -2},  {310, 320, -2},  {320, 330, -3},  {330, 340, -4},  {340, 350, -6},  {350, 360, -8},
    {360, 370, -10}, {370, 380, -14}, {380, 390, -16}, {390, 400, -16}, {400, 410, -20}, {410, 420, -20},
    {420, 430, -22}, {430, 440, -24}, {440, 450, -26}, {450, 460, -28}, {460, 470, -30}, {470, 480, -32},
    {480, 490, -34}, {490, 500, -36}, {500, 510, -38}, {510, 520, -38},
};

// The text's leading decimal integer, 0 when it does not start with one; beyond int's range,
// the nearest int.
int LeadingInt(const char* text) {
    long long value = 0;
    if (!numtext::LeadingInteger(text, value)) {
        return 0;
    }
    return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, value)));
}

// Read afresh on every touch, so a changed file counts without a restart.
void ApplyDebugDiff(int& diff) {
    if (access(kDebugMarkerFile, F_OK) != 0) {
        return;
    }
    FILE* file = std::fopen(kDebugDiffFile, "r");
    if (file == nullptr) {
        return;
    }
    char line[10] = {0};
    if (std::fgets(line, sizeof(line), file) == nullptr) {
        line[0] = '\0';
    }
    diff = LeadingInt(line);
    ROOT_LOG(ZR_LOG_INFO, "==== 手动调整 diff : %d ====", diff);
    std::fclose(file);
}

}  // namespace

CanonEosR6M2Camera::CanonEosR6M2Camera(_Camera* camera, _GPContext* context, CameraType type)
    : CanonEosCamera(camera, context, type, CanonEosBody::R6M2), m_targetWidth(600), m_targetHeight(400) {
    for (const DiffRow& row : kTouchDiffs) {
        m_touchDiffMap.emplace(XPointRange(row.upper, row.lower), row.diff);
    }
}

CanonEosR6M2Camera::~CanonEosR6M2Camera() = default;

int CanonEosR6M2Camera::TouchFocus(int point) {
    int x = 0;
    int y = 0;
    UnpackTouchPoint(point, x, y);
    ROOT_LOG(ZR_LOG_INFO, "point (%d, %d)", x, y);
    if (!CheckParams()) {
        return -1;
    }
    std::string movieSwitch;
    if (ReadWidgetText(kMovieSwitchWidget, Lookup::WithResult, ValueFailure::WithResult, movieSwitch) != 0) {
        return -1;
    }
    m_isVideoMode = LeadingInt(movieSwitch.c_str());
    ROOT_LOG(ZR_LOG_INFO, "===== m_isVideoMode : %d ====", m_isVideoMode);

    float tx = static_cast<float>(static_cast<double>(x * m_targetWidth) / kTouchSurfaceWidth);
    float ty = static_cast<float>(static_cast<double>(y * m_targetHeight) / kTouchSurfaceHeight);
    int diff = kNoDiff;
    // Only stills need the horizontal correction; the vertical never does.
    if (m_isVideoMode == 0) {
        m_touchDiffMap.Lookup(static_cast<double>(tx), diff);
    }
    ROOT_LOG(ZR_LOG_INFO, "==== 微调前坐标 (%.2f, %.2f), diff : %d ====", static_cast<double>(tx),
             static_cast<double>(ty), diff);
    if (diff != kNoDiff) {
        ApplyDebugDiff(diff);
        tx -= static_cast<float>(diff);
    }
    ROOT_LOG(ZR_LOG_INFO, "转换后坐标 (%.2f, %.2f)", static_cast<double>(tx), static_cast<double>(ty));
    // The write logs its own failures; the touch itself was handled.
    TouchFocus(tx, ty);
    return 0;
}

int CanonEosR6M2Camera::TouchFocus(float x, float y) {
    char text[100] = {0};
    std::snprintf(text, sizeof(text), "(%.6f, %.6f) %d", static_cast<double>(x), static_cast<double>(y),
                  m_isVideoMode);
    return SetWidget({kTouchWidget, Lookup::WithResult}, text,
                     [](std::string& point) { ROOT_LOG(ZR_LOG_INFO, "point : %s", point.c_str()); });
}
