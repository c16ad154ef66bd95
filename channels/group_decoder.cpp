// Group decoder: a complete group in, its per-group line or its display update out.
#include "channels/group_decoder.h"

#include <cstring>
#include <string_view>

#include "channels/channel_display.h"
#include "channels/channel_messages.h"
#include "channels/group_fields.h"
#include "common/text_output.h"
#include "common/verbose_level.h"

namespace {

char* Append(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// `value` as "%<width>d"; every field of the line is below 10^width, so the width holds it.
char* AppendNumber(char* out, std::uint32_t value, std::size_t width) {
  std::memcpy(out, RightAligned4[value % RightAlignedLimit].data() + 4 - width, width);
  return out + width;
}

// "   aux=%2d ecc=%3d A%d=%4d D%d=%4d", then the line end or the aux check mark, built straight
// in the output buffer (a copy from a local buffer would read back stores it cannot forward).
void PrintGroupLine(const GroupFields& fields, const GroupChannels& channels,
                    std::uint32_t groupIndex) {
  constexpr std::size_t LongestLine = 64;
  static_assert(channel_text::AuxLabel.size() + 2 + channel_text::EccLabel.size() + 3 +
                    channel_text::PositionLabel.size() + 1 + 1 + 4 +
                    channel_text::DeltaLabel.size() + 1 + 1 + 4 +
                    channel_text::AuxMismatch.size() <=
                LongestLine);
  char* const line = ReserveOutput(LongestLine);
  char* out = Append(line, channel_text::AuxLabel);
  out = AppendNumber(out, fields.Aux, 2);
  out = Append(out, channel_text::EccLabel);
  out = AppendNumber(out, fields.Ecc, 3);
  out = Append(out, channel_text::PositionLabel);
  out = AppendNumber(out, static_cast<std::uint32_t>(channels.PositionChannel), 1);
  *out++ = '=';
  out = AppendNumber(out, fields.Position, 4);
  out = Append(out, channel_text::DeltaLabel);
  out = AppendNumber(out, static_cast<std::uint32_t>(channels.DeltaChannel), 1);
  *out++ = '=';
  out = AppendNumber(out, fields.Delta, 4);
  out = Append(out, fields.Aux == ExpectedAux[groupIndex] ? channel_text::AuxExpected
                                                          : channel_text::AuxMismatch);
  CommitOutput(static_cast<std::size_t>(out - line));
}

}  // namespace

void DecodeGroup(const PcmGroupSymbols& group, int parity, std::uint32_t groupIndex) {
  GroupFields fields = SplitGroup(group);
  GroupChannels channels = ChannelsOfGroup(parity, groupIndex);
  if (VerboseLevel > 2) {
    PrintGroupLine(fields, channels, groupIndex);
    return;
  }
  ShowOnDisplay(channels, fields);
}
