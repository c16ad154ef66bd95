// Run decoder: one run's duration in; report lines, events and complete groups out.
#include "decoder/run_decoder.h"

#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/decoder_messages.h"
#include "decoder/pcm_byte_table.h"
#include "decoder/pending_bits.h"
#include "decoder/symbol_output.h"

RunDecoderState RunDecoder{};
DecoderEvents DecoderListeners{};

namespace {

// At most this many bits are drained per run while waiting for a sync.
constexpr std::uint32_t SeekSyncDrainBits = 10;

bool ShowBits() {
  return VerboseLevel > 3;
}

// A sync run opens a frame: whatever was pending is dropped (shown at level 4) and counting
// starts afresh. The sync adds no bits of its own.
void OpenFrame(Polarity polarity) {
  TakeBits(PendingBits.BitCount, ShowBits(), "");
  RunDecoder.DecoderState = FrameTypeField;
  ClearBits();
  RunDecoder.SymbolIndex = 0;
  RunDecoder.GroupIndex = 0;
  if (VerboseLevel > 2) {
    WriteText(decoder_text::SyncOpen);
    WriteText(polarity == 1 ? decoder_text::PositivePolarity : decoder_text::NegativePolarity);
    WriteText(decoder_text::SyncTime);
    WriteCellTime(RunDecoder.CellTotal);
    WriteText(decoder_text::SyncFrames);
    WriteInt(RunDecoder.SyncCount, 4, '0');
    WriteText(decoder_text::SyncClose);
    RunDecoder.SyncCount =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(RunDecoder.SyncCount) + 1);
  }
  if (DecoderListeners.SyncFound != nullptr) {
    DecoderListeners.SyncFound(DecoderListeners.Context, RunDecoder.CellTotal, polarity,
                               RunDecoder.SyncsFound);
  }
  ++RunDecoder.SyncsFound;
}

void ReportFrameType(FrameTypeKind kind, std::uint32_t value) {
  if (DecoderListeners.FrameTypeRead != nullptr) {
    DecoderListeners.FrameTypeRead(DecoderListeners.Context, RunDecoder.CellTotal, kind, value);
  }
}

// Takes one code word when ten bits are pending, turns it into a symbol and completes groups
// and the frame. An invalid word drops the frame: the decoder waits for the next sync.
void TakePcmByte() {
  if (PendingBits.BitCount < CodeWordBits) return;
  std::uint32_t code = TakeBits(CodeWordBits, ShowBits(), " ");
  std::int32_t symbol = PcmByteTable[code];
  if (symbol == InvalidCodeWord) {
    WriteText(decoder_text::InvalidPcmByte);
    RunDecoder.DecoderState = SeekSync;
    if (DecoderListeners.InvalidCodeWord != nullptr) {
      DecoderListeners.InvalidCodeWord(DecoderListeners.Context, RunDecoder.CellTotal, code);
    }
    return;
  }
  if (ShowBits()) PrintSymbol(symbol);
  RunDecoder.PcmGroup[RunDecoder.SymbolIndex] = static_cast<std::uint32_t>(symbol);
  if (++RunDecoder.SymbolIndex < SymbolsPerGroup) return;

  HandOnGroup();
  RunDecoder.SymbolIndex = 0;
  if (++RunDecoder.GroupIndex < GroupsPerFrame) return;
  EndFrame();
}

}  // namespace

void EndFrame() {
  if (VerboseLevel > 1) {
    WriteText(decoder_text::FrameEndTime);
    WriteCellTime(RunDecoder.CellTotal);
    WriteChar('\n');
  }
  RunDecoder.DecoderState = SeekSync;
  if (DecoderListeners.FrameEnd != nullptr) {
    DecoderListeners.FrameEnd(DecoderListeners.Context, RunDecoder.CellTotal);
  }
}

// State            run handled                      next state
// SeekSync         exactly 18 cells                 FrameTypeField (bits and counters reset)
// SeekSync         any other length                 SeekSync (10 bits drained past 10 pending)
// FrameTypeField   fewer than 6 bits pending        FrameTypeField
// FrameTypeField   type 3 (ODD)                     PcmBytes, this call goes on
// FrameTypeField   type 0 (EVEN)                    EvenExtraBits, this call goes on
// FrameTypeField   any other type                   SeekSync
// EvenExtraBits    fewer than 2 bits pending        EvenExtraBits
// EvenExtraBits    2 bits taken                     PcmBytes, this call goes on
// PcmBytes         fewer than 10 bits pending       PcmBytes
// PcmBytes         valid word, not the 16th         PcmBytes
// PcmBytes         invalid word                     SeekSync
// PcmBytes         16th valid word                  SeekSync
void DecodeRun(std::int32_t duration, Polarity polarity) {
  std::int32_t cells = CellsFromDuration(duration);
  RunDecoder.CellTotal += static_cast<std::uint32_t>(cells);  // a negative count wraps down

  if (RunDecoder.DecoderState == SeekSync && cells == SyncCells) {
    OpenFrame(polarity);
    return;
  }

  AppendRun(cells);
  switch (RunDecoder.DecoderState) {
    case SeekSync:
      if (PendingBits.BitCount > SeekSyncDrainBits) TakeBits(SeekSyncDrainBits, ShowBits(), "");
      return;

    case FrameTypeField: {
      if (PendingBits.BitCount < FrameTypeBits) return;
      std::uint32_t frameType = TakeBits(FrameTypeBits, ShowBits(), " ");
      if (frameType == OddFrameType) {
        if (VerboseLevel > 2) WriteText(decoder_text::OddFrame);
        RunDecoder.FrameParity = OddFrame;
        RunDecoder.DecoderState = PcmBytes;
        ReportFrameType(FrameTypeKind::Odd, frameType);
        break;  // on to the first code word
      }
      if (frameType != EvenFrameType) {
        if (VerboseLevel > 1) {
          WriteText(decoder_text::UnknownFrameOpen);
          WriteInt(frameType, 0, ' ');
          WriteText(decoder_text::UnknownFrameClose);
        }
        RunDecoder.DecoderState = SeekSync;
        ReportFrameType(FrameTypeKind::Unknown, frameType);
        return;
      }
      if (VerboseLevel > 2) WriteText(decoder_text::EvenFrame);
      RunDecoder.FrameParity = EvenFrame;
      RunDecoder.DecoderState = EvenExtraBits;
      ReportFrameType(FrameTypeKind::Even, frameType);
      [[fallthrough]];  // the extra bits may already be pending
    }

    case EvenExtraBits:
      if (PendingBits.BitCount < EvenExtraBitCount) return;
      TakeBits(EvenExtraBitCount, ShowBits(), decoder_text::ExtraBitsSuffix);
      RunDecoder.DecoderState = PcmBytes;
      break;  // on to the first code word

    case PcmBytes:
      break;
  }
  TakePcmByte();
}

void ResetRunDecoder() {
  RunDecoder = {};
  ClearBits();
}
