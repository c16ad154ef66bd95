// Where the signal of every reader of channel values comes from (monitor, export, plot,
// analyze, the joystick). In: what the user named: a capture file, "-" (a capture stream, or raw
// samples with --raw), an audio file, or a sound card (--device), with the receiver's options.
// Out: runs and the time that passes, handed to one decode session in this process, whose
// observer hears what was decoded.
//
//   capture file, capture stream  --------------------------------> decode session -> observer
//   audio file, raw samples, sound card -> receiver -> edge timeline -^
//
// Audio never goes through a capture file or a pipe on its way: the receiver hands its runs
// straight to the session, which also learns how much signal time has passed without an edge
// (so a silent transmitter shows as a lost signal) and when the input delivers nothing at all.
#pragma once

#include <optional>
#include <string>

#include "import/import_request.h"
#include "study/decode_session.h"

struct SourceOptions {
  std::string Input;                // a file, or - for standard input; empty with --device
  ImportRequest Request;            // the receiver's and the sound card's options (Input unused)
  std::optional<double> Threshold;  // a fixed decision threshold instead of the tracked one
  SessionSettings Session;
};

struct SourceReport {
  LevelReport Levels;     // set by the caller: told after each block of audio
  bool Received = false;  // the signal came as samples, through the receiver
  ImportSummary Import;   // the receiver's summary, when it did
};

// A usage error in the options (no source, or two), empty when they make sense.
std::string CheckSourceOptions(const SourceOptions& options);

// The receiver's options given for a capture, whose runs were received already, so that they
// change nothing ("--seconds, --min-run"); empty when none were or the source is received.
std::string UnusedReceiverOptions(const SourceOptions& options);

// The source's name in messages and titles.
std::string SourceName(const SourceOptions& options);

// Whether the source is a regular file (a capture or audio file, which can be played at its own
// pace), rather than a stream or a sound card.
bool SourceIsFile(const SourceOptions& options);

// The receiver's closing summary (lines the command prefixes with its name) after a source that
// came as samples.
std::string ReceivedSummary(const SourceOptions& options, const SourceReport& report);

// Decodes the source to its end (or until the observer wants no more, or a stop signal ends a
// live input). Returns an error text, empty on success.
std::string PlaySource(const SourceOptions& options, DecodeObserver& observer,
                       SourceReport& report);
