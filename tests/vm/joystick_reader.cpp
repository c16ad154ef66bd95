// The joystick as its users' programs see it, through libevdev as a client. In: a device name.
// Out, on standard output, one line each: the device's identity, its axes (code, range, value)
// and buttons, "ready" once it is open, then its full state after every SYN_REPORT; "gone"
// when the device goes away, and its description again if it comes back. It ends when no
// device of that name has been there for IDLE_MS (after the first, which it waits a minute for).
// With --times, each state is preceded by "at SECONDS", the report's time on CLOCK_MONOTONIC.
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <poll.h>
#include <unistd.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

libevdev* OpenByName(const std::string& name, int& fd) {
  for (int n = 0; n < 64; ++n) {
    const std::string node = "/dev/input/event" + std::to_string(n);
    fd = open(node.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) continue;
    libevdev* device = nullptr;
    if (libevdev_new_from_fd(fd, &device) == 0) {
      if (name == libevdev_get_name(device)) {
        std::printf("node %s\n", node.c_str());
        return device;
      }
      libevdev_free(device);
    }
    close(fd);
  }
  return nullptr;
}

void Describe(libevdev* device) {
  std::printf("device \"%s\" bus 0x%x vendor 0x%x product 0x%x\n", libevdev_get_name(device),
              libevdev_get_id_bustype(device), libevdev_get_id_vendor(device),
              libevdev_get_id_product(device));
  for (unsigned code = 0; code <= ABS_MAX; ++code) {
    if (!libevdev_has_event_code(device, EV_ABS, code)) continue;
    std::printf("axis %s %d %d %d\n", libevdev_event_code_get_name(EV_ABS, code),
                libevdev_get_abs_minimum(device, code), libevdev_get_abs_maximum(device, code),
                libevdev_get_event_value(device, EV_ABS, code));
  }
  for (unsigned code = 0; code <= KEY_MAX; ++code) {
    if (libevdev_has_event_code(device, EV_KEY, code)) {
      std::printf("button %s %d\n", libevdev_event_code_get_name(EV_KEY, code),
                  libevdev_get_event_value(device, EV_KEY, code));
    }
  }
}

void PrintState(libevdev* device) {
  std::string line = "state";
  for (unsigned code = 0; code <= ABS_MAX; ++code) {
    if (libevdev_has_event_code(device, EV_ABS, code)) {
      line += " " + std::string(libevdev_event_code_get_name(EV_ABS, code)) + "=" +
              std::to_string(libevdev_get_event_value(device, EV_ABS, code));
    }
  }
  for (unsigned code = 0; code <= KEY_MAX; ++code) {
    if (libevdev_has_event_code(device, EV_KEY, code)) {
      line += " " + std::string(libevdev_event_code_get_name(EV_KEY, code)) + "=" +
              std::to_string(libevdev_get_event_value(device, EV_KEY, code));
    }
  }
  // Kept in the buffer: a reader that writes each line out falls behind on a slow machine.
  std::printf("%s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: joystick_reader NAME [IDLE_MS [--times]]\n");
    return 2;
  }
  const std::string name = argv[1];
  const int idleMs = argc > 2 ? std::atoi(argv[2]) : 2000;
  const bool times = argc > 3 && std::strcmp(argv[3], "--times") == 0;
  // The first time, the device may take a while to come (a slow emulated machine).
  auto lastSeen = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() - lastSeen < std::chrono::milliseconds(idleMs)) {
    int fd = -1;
    libevdev* device = OpenByName(name, fd);
    if (device == nullptr) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (times) libevdev_set_clock_id(device, CLOCK_MONOTONIC);
    Describe(device);
    std::printf("ready\n");
    PrintState(device);
    while (true) {
      pollfd waiting{fd, POLLIN, 0};
      poll(&waiting, 1, 100);
      input_event event;
      int result = 0;
      while ((result = libevdev_next_event(device, LIBEVDEV_READ_FLAG_NORMAL, &event)) ==
             LIBEVDEV_READ_STATUS_SUCCESS) {
        if (event.type != EV_SYN || event.code != SYN_REPORT) continue;
        if (times) {
          std::printf("at %lld.%06ld\n", static_cast<long long>(event.input_event_sec),
                      static_cast<long>(event.input_event_usec));
        }
        PrintState(device);
      }
      if (result == LIBEVDEV_READ_STATUS_SYNC) {
        std::printf("dropped\n");
        while (libevdev_next_event(device, LIBEVDEV_READ_FLAG_SYNC, &event) ==
               LIBEVDEV_READ_STATUS_SYNC) {
        }
        PrintState(device);
      } else if (result != -EAGAIN) {
        break;
      }
    }
    std::printf("gone\n");
    std::fflush(stdout);
    libevdev_free(device);
    close(fd);
    lastSeen = std::chrono::steady_clock::now();
  }
  return 0;
}
