// The joystick as simulators and games see it, through SDL2 (without udev, SDL scans
// /dev/input). In: the device's name. Out: one line when SDL finds it (its name, axes and
// buttons), then, when it goes away, the lowest and highest value SDL gave each axis.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: sdl_reader NAME\n");
    return 2;
  }
  setenv("SDL_JOYSTICK_DISABLE_UDEV", "1", 1);
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_Init(SDL_INIT_JOYSTICK) != 0) {
    std::fprintf(stderr, "sdl_reader: %s\n", SDL_GetError());
    return 1;
  }
  SDL_Joystick* joystick = nullptr;
  SDL_JoystickID id = -1;
  std::vector<int> lowest, highest;
  const Uint32 giveUp = SDL_GetTicks() + 60000;
  SDL_Event event;
  while (SDL_GetTicks() < giveUp || joystick != nullptr) {
    if (!SDL_WaitEventTimeout(&event, 100)) continue;
    if (event.type == SDL_JOYDEVICEADDED && joystick == nullptr) {
      SDL_Joystick* found = SDL_JoystickOpen(event.jdevice.which);
      if (found == nullptr || std::strcmp(SDL_JoystickName(found), argv[1]) != 0) {
        if (found != nullptr) SDL_JoystickClose(found);
        continue;
      }
      joystick = found;
      id = SDL_JoystickInstanceID(found);
      const int axes = SDL_JoystickNumAxes(joystick);
      std::printf("sdl \"%s\" axes %d buttons %d\n", SDL_JoystickName(joystick), axes,
                  SDL_JoystickNumButtons(joystick));
      lowest.assign(static_cast<std::size_t>(axes), 32767);
      highest.assign(static_cast<std::size_t>(axes), -32768);
    } else if (event.type == SDL_JOYAXISMOTION && event.jaxis.which == id) {
      const auto axis = static_cast<std::size_t>(event.jaxis.axis);
      if (axis < lowest.size()) {
        if (event.jaxis.value < lowest[axis]) lowest[axis] = event.jaxis.value;
        if (event.jaxis.value > highest[axis]) highest[axis] = event.jaxis.value;
      }
    } else if (event.type == SDL_JOYDEVICEREMOVED && event.jdevice.which == id) {
      break;
    }
  }
  for (std::size_t axis = 0; axis < lowest.size(); ++axis) {
    std::printf("axis %zu %d %d\n", axis, lowest[axis], highest[axis]);
  }
  if (joystick != nullptr) SDL_JoystickClose(joystick);
  SDL_Quit();
  return joystick != nullptr ? 0 : 1;
}
