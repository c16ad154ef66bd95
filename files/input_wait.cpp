// A descriptor and a hook in; whether there is something to read out.
#include "files/input_wait.h"

#include <poll.h>

#include <cerrno>

#include "common/capture_records.h"

bool WaitForInput(int descriptor, const WaitHook& waiting) {
  pollfd ready{descriptor, POLLIN, 0};
  if (poll(&ready, 1, 0) != 0) return true;
  for (;;) {
    if (waiting && !waiting()) return false;
    ready.revents = 0;
    const int status = poll(&ready, 1, IdleWaitMs);
    // A failed poll (but for a signal) leaves the read to report what is wrong.
    if (status > 0 || (status < 0 && errno != EINTR)) return true;
  }
}
