// The joystick's shape and values in, a kernel input device and its events out.
#include "joystick/uinput_joystick.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr const char* UinputNode = "/dev/uinput";
constexpr const char* UdevRule = "70-morvantis-uinput.rules";

}  // namespace

std::string UinputAdvice(int error) {
  const std::string reloadRule =
      std::string("install the udev rule ") + UdevRule +
      " (make install puts it in /etc/udev/rules.d; the package in /usr/lib/udev/rules.d) and "
      "reload udev ('sudo udevadm control --reload && sudo udevadm trigger'), or add yourself "
      "to the group input ('sudo usermod -aG input $USER', then log in again)";
  const std::string more = ". See 'MorvantisCapture joystick --help'.";
  if (error == ENOENT || error == ENODEV || error == ENXIO) {
    return std::string(UinputNode) +
           " is missing: load the uinput module ('sudo modprobe uinput'; to load it at every "
           "boot, 'echo uinput | sudo tee /etc/modules-load.d/uinput.conf'), then " +
           reloadRule + more;
  }
  if (error == EACCES || error == EPERM) {
    return std::string("no permission to write ") + UinputNode + ": " + reloadRule + more;
  }
  return std::string("cannot make the joystick through ") + UinputNode + ": " +
         std::strerror(error) + more;
}

UinputJoystick::~UinputJoystick() {
  Remove();
  if (description_ != nullptr) libevdev_free(description_);
}

UinputJoystick::Value* UinputJoystick::Find(int type, int code) {
  for (Value& value : values_) {
    if (value.Type == type && value.Code == code) return &value;
  }
  return nullptr;
}

std::string UinputJoystick::Create(const JoystickShape& shape) {
  if (description_ == nullptr) {
    shape_ = shape;
    description_ = libevdev_new();
    libevdev_set_name(description_, shape.Name.c_str());
    libevdev_set_id_bustype(description_, JoystickBus);
    libevdev_set_id_vendor(description_, JoystickVendor);
    libevdev_set_id_product(description_, JoystickProduct);
    libevdev_set_id_version(description_, JoystickVersion);
    for (const AxisShape& axis : shape.Axes) {
      input_absinfo info{};
      info.value = axis.Value;
      info.minimum = axis.Minimum;
      info.maximum = axis.Maximum;
      libevdev_enable_event_code(description_, EV_ABS, static_cast<unsigned>(axis.Code), &info);
      values_.push_back({EV_ABS, axis.Code, axis.Value, axis.Value});
    }
    for (int button : shape.Buttons) {
      libevdev_enable_event_code(description_, EV_KEY, static_cast<unsigned>(button), nullptr);
      values_.push_back({EV_KEY, button, 0, 0});
    }
  }
  // The device starts from the values it should show now.
  for (const Value& value : values_) {
    if (value.Type == EV_ABS)
      libevdev_set_event_value(description_, EV_ABS, static_cast<unsigned>(value.Code), value.Now);
  }
  const int result =
      libevdev_uinput_create_from_device(description_, LIBEVDEV_UINPUT_OPEN_MANAGED, &device_);
  if (result != 0) {
    device_ = nullptr;
    return UinputAdvice(-result);
  }
  for (Value& value : values_) {
    value.Sent = value.Type == EV_ABS ? value.Now : 0;
  }
  return Report();
}

void UinputJoystick::Remove() {
  if (device_ == nullptr) return;
  libevdev_uinput_destroy(device_);
  device_ = nullptr;
}

std::string UinputJoystick::Node() const {
  const char* node = device_ != nullptr ? libevdev_uinput_get_devnode(device_) : nullptr;
  return node != nullptr ? node : "";
}

void UinputJoystick::SetAxis(int code, int value) {
  if (Value* v = Find(EV_ABS, code)) v->Now = value;
}

void UinputJoystick::SetButton(int code, bool pressed) {
  if (Value* v = Find(EV_KEY, code)) v->Now = pressed ? 1 : 0;
}

std::string UinputJoystick::Report() {
  if (device_ == nullptr) return "";
  bool any = false;
  for (Value& value : values_) {
    if (value.Now == value.Sent) continue;
    const int result = libevdev_uinput_write_event(device_, static_cast<unsigned>(value.Type),
                                                   static_cast<unsigned>(value.Code), value.Now);
    if (result != 0) return std::string("cannot write to the joystick: ") + std::strerror(-result);
    value.Sent = value.Now;
    any = true;
  }
  if (!any) return "";
  const int result = libevdev_uinput_write_event(device_, EV_SYN, SYN_REPORT, 0);
  return result == 0 ? "" : std::string("cannot write to the joystick: ") + std::strerror(-result);
}
