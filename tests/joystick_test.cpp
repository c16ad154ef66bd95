// The joystick's parts that need no kernel: the failsafe stepped through time, channel
// positions to axis values (raw, reversed, calibrated), the calibration file's text and the
// options' checks. The device itself is tested in a real kernel (tests/vm/).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "joystick/calibration.h"
#include "joystick/failsafe.h"
#include "joystick/joystick_layout.h"
#include "joystick/joystick_options.h"

namespace {

TEST(Failsafe, StepsOnceEachAtTheirTimes) {
  using S = FailsafeStep;
  struct Event {
    char what;  // F frame, L lost, B back, T tick
    double ms;
    S step;
  };
  // Delay 250 ms: a loss at 1000 engages at 1250, not before; frames and "back" end it.
  const std::vector<Event> events = {
      {'T', 500, S::None},        {'L', 600, S::None},  // no signal yet: nothing to lose
      {'F', 700, S::SignalBack},  {'F', 730, S::None},        {'T', 900, S::None},
      {'L', 1000, S::SignalGone}, {'L', 1010, S::None},       {'T', 1249, S::None},
      {'T', 1250, S::Engage},     {'T', 1400, S::None},       {'F', 1500, S::SignalBack},
      {'L', 2000, S::SignalGone}, {'B', 2100, S::SignalBack}, {'T', 2300, S::None},
      {'L', 3000, S::SignalGone}, {'T', 9000, S::Engage},     {'B', 9100, S::SignalBack},
  };
  Failsafe failsafe;
  failsafe.DelayMs = 250;
  for (const Event& e : events) {
    const S step = e.what == 'F'   ? failsafe.Frame(e.ms)
                   : e.what == 'L' ? failsafe.Lost(e.ms)
                   : e.what == 'B' ? failsafe.Back(e.ms)
                                   : failsafe.Tick(e.ms);
    EXPECT_EQ(step, e.step) << e.what << " at " << e.ms;
  }
}

TEST(JoystickLayout, PositionsBecomeAxisValues) {
  const ChannelCalibration stick{100, 500, 900};
  const ChannelCalibration throttle{100, 120, 900};  // rests near its minimum: one straight line
  struct Case {
    int position;
    bool reversed;
    const ChannelCalibration* calibration;
    int value;
  };
  const std::vector<Case> cases = {
      {0, false, nullptr, 0},      {1023, false, nullptr, 1023},  {300, true, nullptr, 723},
      {100, false, &stick, -1000}, {500, false, &stick, 0},       {900, false, &stick, 1000},
      {300, false, &stick, -500},  {700, false, &stick, 500},     {700, true, &stick, -500},
      {50, false, &stick, -1000},  {1000, false, &stick, 1000},   {100, false, &throttle, -1000},
      {500, false, &throttle, 0},  {900, false, &throttle, 1000}, {120, false, &throttle, -950},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AxisValue(c.position, c.reversed, c.calibration), c.value)
        << c.position << (c.reversed ? " reversed" : "");
  }
  EXPECT_EQ(CentreValue(false, nullptr), 512);
  EXPECT_EQ(CentreValue(true, &stick), 0);
  EXPECT_EQ(LowestValue(true, &throttle), 1000);
  EXPECT_EQ(LowestValue(false, nullptr), 0);
  EXPECT_TRUE(ButtonPressed(513, false, 512));
  EXPECT_FALSE(ButtonPressed(512, false, 512));
  EXPECT_TRUE(ButtonPressed(100, true, 512));
}

TEST(Calibration, FileTextReadsBackAndFaultsNameTheirLine) {
  Calibration calibration;
  ASSERT_EQ(ParseCalibration("# comment\n\n3 98 511 925   # a stick\n7 0 0 1023\n", calibration),
            "");
  ASSERT_TRUE(calibration.Channels[2] && calibration.Channels[6]);
  EXPECT_EQ(calibration.Channels[2]->Centre, 511);
  EXPECT_FALSE(calibration.Channels[0]);
  Calibration again;
  ASSERT_EQ(ParseCalibration(CalibrationText(calibration), again), "");
  EXPECT_EQ(CalibrationText(again), CalibrationText(calibration));

  const std::vector<std::pair<std::string, std::string>> faults = {
      {"1 2 3", "line 1: expected CHANNEL MINIMUM CENTRE MAXIMUM"},
      {"\n9 0 1 2", "line 2: the channel must be 1 to 8"},
      {"1 0 1 1024", "line 1: positions must be 0 to 1023"},
      {"1 -1 1 2", "line 1: positions must be 0 to 1023"},
      {"1 5 4 9", "line 1: needs minimum <= centre <= maximum and minimum < maximum"},
      {"1 5 5 5", "line 1: needs minimum <= centre <= maximum and minimum < maximum"},
      {"1 0 1 2\n1 0 1 2", "line 2: channel 1 is given twice"},
  };
  for (const auto& [text, error] : faults) {
    EXPECT_EQ(ParseCalibration(text, calibration), error) << text;
  }
}

TEST(JoystickOptions, MapReverseButtonsAndFailsafe) {
  JoystickOptions options;
  options.Map = "2,1,-,4";
  options.Reverse = "2,8";
  options.Buttons = {"5", "6:700"};
  options.Failsafe = "release";
  options.FailsafeLow = "3";
  JoystickLayout layout;
  FailsafePlan plan;
  ASSERT_EQ(ReadJoystickOptions(options, layout, plan), "");
  EXPECT_EQ(layout.AxisChannel, (std::array<int, AxisCount>{2, 1, 0, 4, 0, 0, 0, 0}));
  EXPECT_TRUE(layout.Reversed[1] && layout.Reversed[7] && !layout.Reversed[0]);
  ASSERT_EQ(layout.Buttons.size(), 2u);
  EXPECT_EQ(layout.Buttons[1].Channel, 6);
  EXPECT_EQ(layout.Buttons[1].Threshold, 700);
  EXPECT_EQ(layout.Buttons[0].Threshold, 512);
  EXPECT_EQ(plan.Mode, FailsafeMode::Release);
  EXPECT_TRUE(plan.Low[2]);
  EXPECT_EQ(DescribeLayout(layout), "X=ch2 Y=ch1 RX=ch4; reversed ch2,8; buttons ch5>512 ch6>700");

  const std::vector<std::pair<void (*)(JoystickOptions&), std::string>> faults = {
      {[](JoystickOptions& o) { o.Map = "1,2,9"; }, "--map: \"9\" is not a channel 1 to 8 or -"},
      {[](JoystickOptions& o) { o.Map = "1,2,3,4,5,6,7,8,1"; }, "--map: at most 8 channels"},
      {[](JoystickOptions& o) { o.Reverse = "1,,2"; }, "--reverse: \"\" is not a channel"},
      {[](JoystickOptions& o) { o.Buttons = {"5:1024"}; }, "--button: the threshold in \"5:1024\""},
      {[](JoystickOptions& o) { o.Buttons = {"5:3:4"}; }, "--button: \"5:3:4\" is not CHANNEL"},
      {[](JoystickOptions& o) { o.Failsafe = "panic"; }, "--failsafe: \"panic\" is not hold"},
      {[](JoystickOptions& o) { o.FailsafeLow = "0"; }, "--failsafe-low: \"0\" is not a channel"},
      {[](JoystickOptions& o) { o.Name = ""; }, "--name: give 1 to 79 characters"},
      {[](JoystickOptions& o) { o.FailsafeMs = -1; }, "--failsafe-ms: give 0 to 60000"},
  };
  for (const auto& [spoil, start] : faults) {
    JoystickOptions spoilt;
    spoil(spoilt);
    const std::string error = ReadJoystickOptions(spoilt, layout, plan);
    EXPECT_EQ(error.substr(0, start.size()), start) << error;
  }
}

}  // namespace
