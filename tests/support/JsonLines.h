#pragma once
#include "HostRecords.h"  // JsonLines() lives with the other helpers for camera-host's records
