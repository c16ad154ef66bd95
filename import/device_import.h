// A sound card to captures, live. In: an ALSA capture device (hw:1, plughw:1,0, default, or any
// device an ALSA configuration defines), opened as interleaved S16_LE at the request's rate and
// channels (the plug and default devices convert where the hardware differs). Out: capture
// records, handed on block by block (10 ms of audio or less) while the recording goes on, until
// SIGINT or SIGTERM, --seconds, or the end of the device's data.
#pragma once

#include <string>

#include "import/import_request.h"

// Records from the request's device. Returns an error text naming the device and ALSA's reason.
std::string ImportDevice(const ImportRequest& request, ImportSummary& summary);

// Every capture device ALSA knows, a line each: its name, then what it is.
std::string CaptureDeviceList();
