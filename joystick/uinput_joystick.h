// The virtual joystick in the kernel. In: its shape (name, axes with their ranges and first
// values, buttons) and then values as frames arrive. Out: an input device made through
// /dev/uinput with libevdev, which every program reads as /dev/input/eventN, and its events,
// one SYN_REPORT per batch. Only values that changed are sent; the kernel drops repeats anyway.
#pragma once

#include <string>
#include <vector>

struct libevdev;
struct libevdev_uinput;

struct AxisShape {
  int Code;
  int Minimum;
  int Maximum;
  int Value;  ///< before the first frame
};

struct JoystickShape {
  std::string Name;
  std::vector<AxisShape> Axes;
  std::vector<int> Buttons;
};

// The joystick's identity, as evtest and SDL show it.
inline constexpr int JoystickBus = 0x06;  // BUS_VIRTUAL
inline constexpr int JoystickVendor = 0x4d56;
inline constexpr int JoystickProduct = 0x0008;
inline constexpr int JoystickVersion = 1;

class UinputJoystick {
 public:
  UinputJoystick() = default;
  UinputJoystick(const UinputJoystick&) = delete;
  UinputJoystick& operator=(const UinputJoystick&) = delete;
  ~UinputJoystick();

  // Makes the device (again, after Remove) with the values last set. Returns an error text
  // that says what to do when /dev/uinput is missing or forbidden; empty on success.
  std::string Create(const JoystickShape& shape);
  void Remove();
  bool Present() const { return device_ != nullptr; }
  // /dev/input/eventN, or empty when the device is not there.
  std::string Node() const;

  // Values are kept while the device is away and sent when it is back.
  void SetAxis(int code, int value);
  void SetButton(int code, bool pressed);
  // Sends the values changed since the last report, then SYN_REPORT. Returns an error text.
  std::string Report();

 private:
  struct Value {
    int Type;
    int Code;
    int Now;
    int Sent;
  };
  Value* Find(int type, int code);

  JoystickShape shape_;
  std::vector<Value> values_;
  libevdev* description_ = nullptr;
  libevdev_uinput* device_ = nullptr;
};

// The message for a /dev/uinput that cannot be opened, by errno: what to do about it.
std::string UinputAdvice(int error);
