// The web remote's log lines: module "camera.web", the caller's file and line; outside text
// in them is escaped.
#pragma once

#include "zrlog.h"

#define WEB_LOG(level, ...) ZR_LOG_TEXT_AT("camera.web", level, __VA_ARGS__)
