#include "channels/group_decoder.h"

#include "channels/channel_display.h"
#include "channels/channel_messages.h"
#include "channels/group_fields.h"
#include "common/text_output.h"
#include "common/verbose_level.h"

namespace {

void PrintGroupLine(const GroupFields& fields, const GroupChannels& channels,
                    std::uint32_t groupIndex) {
  WriteText(channel_text::AuxLabel);
  WriteInt(fields.Aux, 2, ' ');
  WriteText(channel_text::EccLabel);
  WriteInt(fields.Ecc, 3, ' ');
  WriteText(channel_text::PositionLabel);
  WriteInt(channels.PositionChannel, 0, ' ');
  WriteChar('=');
  WriteInt(fields.Position, 4, ' ');
  WriteText(channel_text::DeltaLabel);
  WriteInt(channels.DeltaChannel, 0, ' ');
  WriteChar('=');
  WriteInt(fields.Delta, 4, ' ');
  WriteText(fields.Aux == ExpectedAux[groupIndex] ? channel_text::AuxExpected
                                                  : channel_text::AuxMismatch);
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
