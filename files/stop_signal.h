// What SIGINT, SIGTERM, SIGHUP and SIGPIPE do to a companion command. In: the signal. Out: one
// of two endings, chosen by the command.
//
//   over files (the default)  the command dies by the signal; its temporary files are removed
//                             first, so every output keeps its old contents
//   on a stream               the signal is the user's way to end the input: reading stops,
//                             and the command finishes normally, keeping everything whole so far
//
// SIGPIPE (whoever read an output has gone, as `| head` does) always takes the first ending:
// it says nothing about the input, and an output cut off is not whole. Dying by it, rather than
// ignoring it and failing on the write error, keeps a pipeline's usual quiet end and stops a
// command reading a live input at once, whatever its writing loop checks.
//
// The handlers are installed without SA_RESTART, so a read blocked on a stream returns at once
// when the signal arrives.
#pragma once

// Installs the handlers; call once at start.
void InstallStopHandlers();

// From now on a signal ends the input instead of the command.
void EndInputOnSignal();

// Whether a signal has asked the input to end.
bool StopRequested();
