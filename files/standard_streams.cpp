// Descriptors 0-2 in; closed ones occupied by /dev/null and remembered, out.
#include "files/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool InputClosed = false;
bool OutputClosed = false;

bool IsClosed(int descriptor) {
  return fcntl(descriptor, F_GETFD) == -1 && errno == EBADF;
}

}  // namespace

void OccupyClosedStandardDescriptors() {
  InputClosed = IsClosed(STDIN_FILENO);
  OutputClosed = IsClosed(STDOUT_FILENO);
  // In order, so that open() (which takes the lowest free number) fills each gap in turn.
  for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
    if (!IsClosed(descriptor)) continue;
    int null = open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != descriptor) {
      dup2(null, descriptor);
      close(null);
    }
  }
}

bool StandardInputClosed() {
  return InputClosed;
}

bool StandardOutputClosed() {
  return OutputClosed;
}

int AboveStandardDescriptors(int descriptor) {
  if (descriptor < 0 || descriptor > STDERR_FILENO) return descriptor;
  int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  int saved = errno;
  close(descriptor);
  errno = saved;
  return moved;
}
