// A sound card to runs, live. In: an ALSA capture device (hw:1, plughw:1,0, default, or any
// device an ALSA configuration defines), opened as interleaved S16_LE at the request's rate and
// channels (the plug and default devices convert where the hardware differs). Out: runs to the
// request's sink, handed on block by block (10 ms of audio or less) while the recording goes
// on, until SIGINT, SIGTERM or SIGHUP, --seconds, the sink's reader quitting, or the end of the
// device's data.
//
// The device is read by a thread of its own into a bounded queue, so a device that stalls
// never holds up the reader: it waits on the queue in short slices, noticing keys, stop
// requests and how long nothing has come.
#pragma once

#include <string>

#include "import/import_request.h"

// Records from the request's device. Returns an error text naming the device and ALSA's reason.
std::string ImportDevice(const ImportRequest& request, ImportSummary& summary);

// Every capture device ALSA knows, a line each: its name, then what it is.
std::string CaptureDeviceList();
