// Stop signals in; a removed temporary file and death, or a flag the reading loops watch, out.
#include "files/stop_signal.h"

#include <signal.h>

#include <csignal>

#include "files/output_file.h"

namespace {

volatile std::sig_atomic_t EndInput = 0;
volatile std::sig_atomic_t Stopped = 0;

extern "C" void OnStopSignal(int signalNumber) {
  if (EndInput && signalNumber != SIGPIPE) {
    Stopped = 1;
    return;
  }
  RemoveOpenTemporaryFiles();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: blocked reads return
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    sigaction(signalNumber, &action, nullptr);
}

void EndInputOnSignal() {
  EndInput = 1;
}

bool StopRequested() {
  return Stopped != 0;
}
