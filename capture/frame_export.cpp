#include "capture/frame_export.h"

namespace {

struct ChannelValues {
  int position[ChannelCount + 1];  // -1: not carried by this frame
  int delta[ChannelCount + 1];
};

ChannelValues ValuesOf(const DecodedFrame& frame) {
  ChannelValues values{};
  for (int c = 1; c <= static_cast<int>(ChannelCount); ++c)
    values.position[c] = values.delta[c] = -1;
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    GroupChannels channels = ChannelsOfGroup(frame.Parity, g);
    values.position[channels.PositionChannel] = static_cast<int>(frame.Groups[g].Position);
    values.delta[channels.DeltaChannel] = static_cast<int>(frame.Groups[g].Delta);
  }
  return values;
}

bool AuxHolds(const DecodedFrame& frame) {
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    if (frame.Groups[g].Aux != ExpectedAux[g]) return false;
  }
  return true;
}

}  // namespace

FrameExport::FrameExport(std::FILE* output, Format format) : output_(output), format_(format) {
  if (format_ == Format::Csv) {
    std::fputs(
        "end_ms,type,p1,p2,p3,p4,p5,p6,p7,p8,d1,d2,d3,d4,d5,d6,d7,d8,"
        "aux0,aux1,aux2,aux3,ecc0,ecc1,ecc2,ecc3,aux_ok\n",
        output_);
  }
}

void FrameExport::OnSync(double) {
  ++syncs_;
}

void FrameExport::OnLostFrame(double, FrameLoss) {}

void FrameExport::OnFrame(const DecodedFrame& frame) {
  ++written_;
  ChannelValues values = ValuesOf(frame);
  const char* type = frame.Parity == OddFrame ? "odd" : "even";
  const char* auxOk = AuxHolds(frame) ? "true" : "false";
  if (format_ == Format::Csv) {
    std::fprintf(output_, "%.2f,%s", frame.EndMs, type);
    for (const int* column : {values.position, values.delta}) {
      for (int c = 1; c <= static_cast<int>(ChannelCount); ++c) {
        if (column[c] >= 0) {
          std::fprintf(output_, ",%d", column[c]);
        } else {
          std::fputc(',', output_);
        }
      }
    }
    for (const auto& group : frame.Groups) std::fprintf(output_, ",%u", group.Aux);
    for (const auto& group : frame.Groups) std::fprintf(output_, ",%u", group.Ecc);
    std::fprintf(output_, ",%s\n", auxOk);
    return;
  }
  std::fprintf(output_, "{\"end_ms\":%.2f,\"type\":\"%s\"", frame.EndMs, type);
  const char* names[] = {"positions", "deltas"};
  const int* columns[] = {values.position, values.delta};
  for (int k = 0; k < 2; ++k) {
    std::fprintf(output_, ",\"%s\":{", names[k]);
    bool first = true;
    for (int c = 1; c <= static_cast<int>(ChannelCount); ++c) {
      if (columns[k][c] < 0) continue;
      std::fprintf(output_, "%s\"%d\":%d", first ? "" : ",", c, columns[k][c]);
      first = false;
    }
    std::fputc('}', output_);
  }
  std::fprintf(output_, ",\"aux\":[%u,%u,%u,%u],\"ecc\":[%u,%u,%u,%u],\"aux_ok\":%s}\n",
               frame.Groups[0].Aux, frame.Groups[1].Aux, frame.Groups[2].Aux, frame.Groups[3].Aux,
               frame.Groups[0].Ecc, frame.Groups[1].Ecc, frame.Groups[2].Ecc, frame.Groups[3].Ecc,
               auxOk);
}
