// Morvantis: decodes a capture of an eight-channel PCM signal and prints what it finds.
//
//   Morvantis FileName VerboseLevel
//
// Every run duration of the capture goes, in file order and with its alternating polarity, to
// the run decoder; the group decoder listens for its complete groups. Exit code 0 after a complete
// pass; 1 on a usage, open, read or output error.
#include <cstdint>
#include <cstdio>

#include "app/verbose_level_argument.h"
#include "channels/group_decoder.h"
#include "common/capture_records.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/run_decoder.h"

namespace {

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;

// Standard output itself failed, so the complaint goes to standard error.
int ReportOutputFailure() {
  std::fputs("Morvantis: cannot write to standard output\n", stderr);
  return ExitFailure;
}

int Finish(int exitCode) {
  if (!FinishOutput()) return ReportOutputFailure();
  return exitCode;
}

void WriteFileMessage(const char* opening, const char* fileName) {
  WriteText(opening);
  WriteText(fileName);
  WriteText("\"\n");
}

// Complete groups go to the channel stage, which prints them.
void ShowGroup(void*, std::uint32_t, const PcmGroupSymbols& group, int parity,
               std::uint32_t groupIndex) {
  DecodeGroup(group, parity, groupIndex);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    WriteText("Usage:\n");
    WriteText(" Morvantis FileName VerboseLevel(0-5)\n");
    return Finish(ExitFailure);
  }
  const char* fileName = argv[1];
  VerboseLevel = ParseVerboseLevel(argv[2]);
  DecoderListeners.GroupComplete = ShowGroup;

  std::FILE* file = std::fopen(fileName, "rb");
  if (file == nullptr) {
    WriteFileMessage("ERROR opening file \"", fileName);
    return Finish(ExitFailure);
  }

  // Runs are decoded as they are read; reading a stream, whatever was decoded is handed on
  // before waiting for more.
  Polarity polarity = 0;
  CaptureReadResult result = ReadCaptureBlocks(
      file,
      [&polarity](const std::int32_t* runs, std::size_t count) {
        polarity = DecodeRunBlock(runs, count, polarity);
        return !TextOutput.Failed;  // no one reads the rest
      },
      HandOutputOn);

  if (result == CaptureReadResult::ReadError) {
    WriteFileMessage("ERROR reading file \"", fileName);
    return Finish(ExitFailure);
  }
  if (result == CaptureReadResult::Stopped) return Finish(ExitFailure);
  WriteText("Done\n");
  return Finish(ExitSuccess);
}
