// The standard descriptors 0-2 as the command was started with them. In: whatever the caller
// left open or closed. Out: each closed one held by /dev/null, so that no file a command opens
// later takes its number (an output opened as descriptor 0 would be read back as standard
// input), and a record of which were closed, so that `-` naming one of them is refused.
#pragma once

// Call once, first thing in main: occupies every closed descriptor of 0-2 with /dev/null
// (read-only for 0, write-only for 1 and 2) and remembers which were closed.
void OccupyClosedStandardDescriptors();

// Whether standard input (output) was closed when the command started.
bool StandardInputClosed();
bool StandardOutputClosed();

// `descriptor` itself when it is above 2; otherwise a copy of it above 2 (close-on-exec) and the
// original closed, so that a file never stands in for a standard stream. -1 stays -1.
int AboveStandardDescriptors(int descriptor);
