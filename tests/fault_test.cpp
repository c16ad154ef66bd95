// The companion commands against what users (and root, as CI runs) do to them: outputs that are
// devices, FIFOs, links or the inputs themselves, interrupted runs, damaged and endless inputs.
// Each case runs in a fresh folder of its own, with device nodes and FIFOs made there; after it
// the old outputs are intact, no temporary file is left and no node or link was replaced.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/test_support.h"

namespace {

const std::string Tool = MORVANTIS_CAPTURE_BINARY;
const std::string Decoder = MORVANTIS_BINARY;

struct FaultCase {
  const char* Name;
  std::string Setup;    // shell lines run in the case's folder first
  std::string Command;  // the command under test, run there
  int ExitCode;
  std::string Message;  // a text standard error must hold ("" for none)
  std::string Check;    // shell lines that must succeed afterwards
  bool NeedsRoot = false;
};

// Shell variables every case may use: $T the companion, $M the decoder, and a capture, a
// channel CSV and a WAV recording in the folder.
std::string Prelude() {
  return "set -e; T=" + Tool + "; M=" + Decoder +
         "; $T synth --pattern steps --frames 40 -o x.cap --wav a.wav 2>/dev/null;"
         " printf 'ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\\n1,2,3,4,5,6,7,8\\n' > v.csv;"
         " cp x.cap old.cap; chmod 600 old.cap; md5sum x.cap a.wav v.csv old.cap > sums;";
}

// Inputs and kept outputs unchanged, and no temporary file anywhere in the folder.
const std::string Untouched = "md5sum -c --quiet sums && ! find . -name '.?*' -type f | grep -q .";

void RunCases(const std::vector<FaultCase>& cases) {
  for (const FaultCase& c : cases) {
    if (c.NeedsRoot && geteuid() != 0) continue;
    std::string folder = TemporaryPath(".faults");
    ASSERT_EQ(RunCommand("mkdir -p " + folder).exitCode, 0);
    ASSERT_EQ(RunCommand("cd " + folder + " && " + Prelude() + c.Setup).exitCode, 0) << c.Name;
    ProgramResult r = RunCommand("cd " + folder + "; export T=" + Tool + " M=" + Decoder + "; " +
                                 "exec timeout 60 " + c.Command);
    EXPECT_EQ(r.exitCode, c.ExitCode) << c.Name << "\n" << r.err;
    EXPECT_NE(r.err.find(c.Message), std::string::npos) << c.Name << ": " << r.err;
    EXPECT_LE(r.err.size(), 2000u) << c.Name << ": messages stay short";
    ProgramResult check =
        RunCommand("cd " + folder + " && export T=" + Tool + " M=" + Decoder + " && " + c.Check);
    EXPECT_EQ(check.exitCode, 0) << c.Name << ": " << check.out << check.err;
    RunCommand("rm -rf " + folder);
  }
}

TEST(Faults, OutputsThatAreNotRegularFilesAreWrittenInPlace) {
  RunCases({
      {"a device node stays a device", "mknod full c 1 7;", "$T export x.cap -o full", 1,
       "cannot write", "test -c full && " + Untouched, true},
      {"a null device stays a device", "mknod null c 1 3;", "$T synth v.csv -o null", 0, "",
       "test -c null && " + Untouched, true},
      {"a FIFO is written, not replaced", "mkfifo pipe; (cat pipe > got &);",
       "$T export x.cap -o pipe", 0, "40 frames written",
       "sleep 0.2; test -p pipe && grep -q '^end_ms' got && " + Untouched},
      {"a symbolic link keeps pointing at its file", "ln -s old.cap link.cap;",
       "$T synth --frames 5 -o link.cap", 0, "",
       "test -L link.cap && ! cmp -s link.cap x.cap && test $(stat -c %a old.cap) = 600"},
      {"a hard-linked file stays linked", "ln old.cap twin.cap;", "$T synth --frames 5 -o old.cap",
       0, "", "test $(stat -c %h old.cap) = 2 && cmp old.cap twin.cap && ! cmp -s old.cap x.cap"},
      {"a replaced file keeps its mode", "", "$T synth --frames 5 -o old.cap", 0, "",
       "test $(stat -c %a old.cap) = 600"},
      {"- is standard output", "", "$T export x.cap -o - --format jsonl", 0, "",
       "test ! -e ./- && " + Untouched},
      // A link to standard output, as /dev/stdout is, made here so no real node is named.
      {"a link to standard output is standard output", "ln -s /proc/self/fd/1 stdout;",
       "$T synth --frames 3 -o stdout > out.cap", 0, "",
       "test -L stdout && test $(stat -c %s out.cap) -gt 100 && $M out.cap 0 | grep -q Done"},
      {"a long name fits its temporary", "", "$T synth --frames 3 -o $(printf 'n%.0s' $(seq 250))",
       0, "", "test -s $(printf 'n%.0s' $(seq 250)) && " + Untouched},
      {"a directory is refused", "mkdir d;", "$T export x.cap -o d", 1, "is a directory",
       "test -d d && " + Untouched},
  });
}

TEST(Faults, AnOutputThatIsAnInputIsRefused) {
  RunCases({
      {"import", "", "$T import a.wav -o a.wav", 1, "is the input", Untouched},
      {"synth", "", "$T synth v.csv -o v.csv", 1, "is the input", Untouched},
      {"export", "", "$T export x.cap -o x.cap", 1, "is the input", Untouched},
      {"export through a link", "ln -s x.cap y.cap;", "$T export x.cap -o y.cap", 1, "is the input",
       Untouched},
      {"plot", "", "sh -c '$T plot x.cap -o x.svg && $T plot x.svg -o x.svg'", 1, "is the input",
       Untouched},
      {"synth's two outputs", "", "$T synth v.csv -o a.wav --wav a.wav", 1, "the same file",
       Untouched},
      {"standard output is the input", "", "$T export x.cap -o - >> x.cap", 1, "is the input",
       Untouched},
      {"calibrate", "", "$T calibrate x.cap -o x.cap", 1, "is the input", Untouched},
      {"the calibration export reads", "printf '1 0 512 1023\\n' > c.txt; md5sum c.txt >> sums;",
       "$T export x.cap --units percent --calibration c.txt -o c.txt", 1, "is the input",
       Untouched},
  });
}

TEST(Faults, FailuresAndInterruptionsLeaveOldOutputsAsTheyWere) {
  RunCases({
      {"an audio name synth cannot write", "", "$T synth v.csv -o old.cap --wav x.mp3", 1,
       "cannot write pcm16 samples to x.mp3", Untouched},
      {"an audio folder that does not exist", "", "$T synth v.csv -o old.cap --wav nowhere/x.wav",
       1, "nowhere/x.wav", Untouched},
      {"a bad row after good ones",
       "printf '9,9,9,9,9,9,9,x\\n' >> v2.csv; cat v.csv v2.csv > v3.csv;",
       "$T synth v3.csv -o old.cap", 1, "v3.csv:3:15: \"x\" is not a whole number", Untouched},
      {"SIGTERM while rendering audio", "",
       "sh -c '$T synth --frames 200000 -o old.cap --wav a.wav & sleep 0.5; kill -TERM $!; wait "
       "$!'",
       143, "", Untouched},
      {"an export that cannot read its input", "mkdir d;", "sh -c '$T export d > out'", 1,
       "cannot read", "test ! -s out && " + Untouched},
      {"an export to a full device", "mknod full c 1 7;", "$T export x.cap -o full", 1,
       "cannot write", Untouched, true},
  });
}

// A limit on file size makes writes fail as a full disk does (EFBIG rather than ENOSPC), here
// at 20002 bytes: 5000 whole records and half of the next.
TEST(Faults, AFullDiskKeepsTheWholeRecordsOfALiveRecordingOnly) {
  const std::string recording =
      "$T synth --pattern steps --frames 400 -o big.cap --wav big.wav 2>/dev/null;"
      " $T import big.wav -o whole.cap 2>/dev/null;";
  const std::string limited = "sh -c \"trap '' XFSZ; ";
  const std::string full = " prlimit --fsize=20002 $T import ";
  RunCases({
      {"a recording from a pipe keeps 5000 runs", recording,
       limited + "cat big.wav |" + full + "- -o live.cap\"", 1,
       "cannot write to live.cap: File too large; the whole runs written before are kept",
       "test $(stat -c %s live.cap) = 20000 && cmp -n 20000 live.cap whole.cap && " + Untouched},
      {"a file, which can be imported again, keeps the old output", recording,
       limited + "exec" + full + "big.wav -o old.cap\"", 1,
       "cannot write to old.cap: File too large", Untouched},
  });
}

TEST(Faults, BadAndEndlessInputsGetClearErrorsInBoundedMemory) {
  // Peak memory of the command under test, in KB, must stay below the bound.
  auto bounded = [](const std::string& command) {
    return "/usr/bin/time -f %M -o peak " + command;
  };
  // Generous for a sanitized build; the faults these cases guard against took gigabytes.
  const std::string small = "test $(tail -1 peak) -lt 150000 && " + Untouched;
  RunCases({
      {"an endless VCD token", "", bounded("$T import /dev/zero --format vcd -o out.cap"), 1,
       "longer than 65536 characters", small},
      {"an endless CSV line", "", bounded("$T import /dev/zero --format csv -o out.cap"), 1,
       "longer than 4096 characters", small},
      {"an endless channel row", "", bounded("sh -c '$T synth - -o out.cap < /dev/zero'"), 1,
       "longer than 4096 characters", small},
      {"deeply nested VCD scopes",
       "for i in $(seq 20000); do echo '$scope module m $end'; done > deep.vcd;",
       bounded("$T import deep.vcd -o out.cap"), 1, "scopes nest deeper than 64", small},
      {"a VCD comment without an end", "(echo '$comment'; seq 300000) > open.vcd;",
       bounded("$T import open.vcd -o out.cap"), 1, "$comment has no $end", small},
      {"a VCD timescale too large for a number",
       "(printf '$timescale 1%0400d s $end\\n' 0; echo '$var wire 1 ! a $end $enddefinitions "
       "$end #0 0! #5 1!') > big.vcd;",
       "$T import big.vcd -o out.cap", 1, "is not a positive number", Untouched},
      {"a VCD timescale of zero",
       "echo '$timescale 0ns $end $var wire 1 ! a $end $enddefinitions $end #0 0! #5 1!' > "
       "zero.vcd;",
       "$T import zero.vcd -o out.cap", 1, "timescale \"0ns\" is not a positive number", Untouched},
      {"a WAV announcing 1024 channels",
       "python3 -c \"import wave; w = wave.open('wide.wav', 'wb'); w.setnchannels(1024); "
       "w.setsampwidth(2); w.setframerate(44100); w.writeframes(bytes(2048 * 4000)); w.close()\";",
       bounded("$T import wide.wav -o out.cap"), 1, "silent", small},
      {"synth streams its frames", "", bounded("$T synth --frames 300000 -o big.cap"), 0, "",
       small},
      {"a long bad value is quoted short",
       "(head -1 v.csv; printf '1,2,3,4,5,6,7,'; head -c 20000000 /dev/zero | tr '\\0' 7; "
       "echo) > long.csv;",
       "$T synth long.csv -o out.cap", 1, "longer than 4096 characters", Untouched},
  });
}

TEST(Faults, SamplesThatAreNotNumbersAreCountedNotFatal) {
  // A float recording with a NaN, infinities and an absurd sample early on.
  const std::string spoil =
      "$T synth --pattern sweep --frames 200 -o f.cap --wav f.wav --sample-format float "
      "2>/dev/null; python3 -c \"import struct; d = bytearray(open('f.wav','rb').read()); "
      "at = d.find(b'data') + 8 + 4 * 3000; "
      "d[at:at+16] = struct.pack('<4f', float('nan'), float('inf'), -float('inf'), 1e30); "
      "open('f.wav','wb').write(d)\";";
  RunCases({
      {"import counts and carries on", spoil, "$T import f.wav -o out.cap", 0,
       "1 samples were not numbers",
       "test $($M out.cap 2 | grep -c Time=) -ge 197 && " + Untouched},
  });
}

TEST(Faults, InputsAreRecognisedAndNamesOfAnyBytesGiveValidText) {
  // A name with a byte that is not UTF-8, a control character and XML's special characters.
  const std::string makeOddName = "cp x.cap \"$(printf 'bad\\377\\001<&>name.cap')\";";
  const std::string oddName = "\"$(printf \"bad\\377\\001<&>name.cap\")\"";
  RunCases({
      {"analyze a recording as a capture stream", "", "cat a.wav | $T analyze -", 1,
       "looks like an audio recording: pipe it through MorvantisCapture import - -o - first",
       Untouched},
      {"export a text file", "", "sh -c '$T export v.csv > out'", 1, "looks like text",
       "test ! -s out"},
      {"plot a VCD", "echo '$timescale 1us $end' > t.vcd;", "$T plot t.vcd -o t.svg", 1,
       "logic-analyzer trace", "test ! -e t.svg"},
      {"JSON of a name that is not UTF-8", makeOddName,
       "sh -c '$T analyze --json " + oddName + " > j.json'", 0, "",
       "python3 -c 'import json; json.load(open(\"j.json\"))'"},
      {"SVG of a name that is not UTF-8", makeOddName, "sh -c '$T plot " + oddName + " -o p.svg'",
       0, "", "python3 -c 'import xml.etree.ElementTree as t; t.parse(\"p.svg\")'"},
      {"plot from a FIFO", "mkfifo in; (cat x.cap > in &);", "$T plot in -o p.svg", 0, "",
       "grep -q '40 frames' p.svg"},
      {"plot from a pipe", "", "sh -c 'cat x.cap | $T plot /dev/stdin -o p.png'", 0, "",
       "test $(head -c 4 p.png | tail -c 3) = PNG"},
      {"a picture name of no known kind", "", "$T plot x.cap -o p.jpg", 2, "name it .svg or .png",
       "test ! -e p.jpg"},
  });
}

TEST(Faults, FriendlierCsvAndCommandLine) {
  RunCases({
      {"a spreadsheet's channel CSV",
       "printf '\\357\\273\\277Time,CH2,ch1,Ch3,ch4,CH5,ch6,ch7,ch8,note\\n0,2,1,3,4,5,6,7,8,x\\n' "
       "> s.csv;",
       "$T synth s.csv -o s.cap", 0, "ignoring columns \"Time\", \"note\"",
       "$M s.cap 3 | grep -q 'A1=   1 D2'"},
      {"an export feeds back into synth", "",
       "sh -c '$T export x.cap 2>/dev/null | $T synth - -o back.cap'", 0, "",
       "test \"$($M back.cap 2)\" = \"$($M x.cap 2)\""},
      {"level CSV with a pre-trigger and comments",
       "printf '; exported\\ntime,level\\n# start\\n-0.0027,0\\n0,1\\n0.0003,0\\n' > l.csv;",
       "$T import l.csv -o l.cap", 0, "2 runs", "test $(stat -c %s l.cap) = 8"},
      {"an unknown command", "", "$T frobnicate", 2, "unknown command \"frobnicate\"", Untouched},
      {"a number that is not one", "", "$T synth --frames abc -o o.cap", 2,
       "abc is not a whole number", "test ! -e o.cap"},
      {"a number out of range", "", "$T synth --jitter 500 -o o.cap", 2, "500 is outside 0 to 100",
       "test ! -e o.cap"},
      {"the receiver's options with a capture", "",
       "$T export x.cap --seconds 1 --min-run 2 -o y.csv", 0,
       "warning: --seconds, --min-run describe audio to receive; x.cap is a capture",
       "test $(wc -l < y.csv) = 41"},
      {"the version", "", "sh -c '$T --version | grep -q \"^MorvantisCapture [0-9]\"'", 0, "",
       Untouched},
  });
}

TEST(Faults, ClosedStandardStreamsAreNeitherReadNorTakenByFiles) {
  // An export kept beside the sums, which a failed command must leave as it was.
  const std::string keep = "$T export x.cap -o good.csv 2>/dev/null; md5sum good.csv >> sums;";
  RunCases({
      {"export of - with standard input closed", keep, "sh -c '$T export - -o good.csv <&-'", 1,
       "standard input is closed", Untouched},
      {"synth of - with standard input closed", keep, "sh -c '$T synth - -o good.csv <&-'", 1,
       "standard input is closed", Untouched},
      {"export to - with standard output closed", "", "sh -c '$T export x.cap >&-'", 1,
       "standard output is closed", Untouched},
      {"monitor with standard output closed", "", "sh -c '$T monitor x.cap --speed 0 >&-'", 1,
       "standard output is closed", Untouched},
      {"files in and out with standard input and output closed", "",
       "sh -c '$T export x.cap -o y.csv <&- >&-'", 0, "40 frames written",
       "test $(wc -l < y.csv) = 41"},
      {"a file out with standard error closed holds no message", "",
       "sh -c '$T export x.cap -o y.csv 2>&-'", 0, "",
       "test $(wc -l < y.csv) = 41 && ! grep -q Morvantis y.csv"},
      // Standard input left non-blocking by whoever started the command, and empty at first.
      {"standard input that does not block", "",
       "sh -c '(sleep 0.3; cat x.cap) | python3 -c \"import os, fcntl, sys; "
       "fcntl.fcntl(0, fcntl.F_SETFL, os.O_NONBLOCK); os.execvp(sys.argv[1], sys.argv[1:])\" "
       "$T export - -o y.csv'",
       0, "40 frames written", "test $(wc -l < y.csv) = 41"},
  });
}

TEST(Faults, AReaderThatGoesAwayLeavesNoTemporaryFile) {
  RunCases({
      {"synth to a pipe that head closes", "",
       "sh -c '$T synth --frames 20000 -o - --wav a.wav | head -c 10 > got'", 0, "",
       "test $(stat -c %s got) = 10 && " + Untouched},
  });
}

// The first bytes of a file, as the commands that read captures look at them: an MPEG audio
// frame header is four bytes of fields (sync, version, layer, bit rate, sample rate, padding),
// and a capture's first record may hold any four bytes.
std::string MpegHeader(int version, int layer, int bitRateIndex, int rateIndex, int padding) {
  std::string header(4, '\0');
  header[0] = '\xFF';
  header[1] = static_cast<char>(0xE0 | version << 3 | layer << 1 | 1);
  header[2] = static_cast<char>(bitRateIndex << 4 | rateIndex << 2 | padding << 1);
  header[3] = '\x44';  // joint stereo, original
  return header;
}

std::string Record(std::uint32_t duration) {
  std::string bytes;
  for (int b = 0; b < 4; ++b) bytes += static_cast<char>(duration >> (8 * b) & 0xFF);
  return bytes;
}

TEST(Faults, AudioIsRecognisedByWholeHeadersNotByAFirstRun) {
  constexpr int Mpeg2 = 2, Mpeg1 = 3, LayerIII = 1;
  // MPEG 2 layer III at 8 kbit/s and 24000 Hz: 72 * 8000 / 24000 = 24 bytes a frame (25 padded).
  const std::string small = MpegHeader(Mpeg2, LayerIII, 1, 1, 0);
  const std::string padded = MpegHeader(Mpeg2, LayerIII, 1, 1, 1);
  // Frames of a capture: short runs, as a real one has after its first.
  std::string runs;
  for (int i = 0; i < 15; ++i) runs += Record(i % 2 ? 7 : 20);
  struct Case {
    const char* Name;
    std::string Bytes;
    bool Audio;
  } cases[] = {
      {"two headers 24 bytes apart", small + std::string(20, '\0') + small + std::string(36, '\0'),
       true},
      {"a padded header and the next 25 bytes on",
       padded + std::string(21, '\0') + small + std::string(35, '\0'), true},
      {"a header whose next frame is not where it says", small + std::string(60, '\0'), false},
      // MPEG 1 layer III, 128 kbit/s, 44100 Hz: the next frame is 417 bytes on, beyond reach.
      {"one header and no room for the next", MpegHeader(Mpeg1, LayerIII, 9, 0, 0) + runs, false},
      {"a reserved version", MpegHeader(1, LayerIII, 1, 1, 0) + std::string(20, '\0') + small,
       false},
      {"a bad bit rate", MpegHeader(Mpeg2, LayerIII, 15, 1, 0) + std::string(20, '\0') + small,
       false},
      {"an ID3 tag", std::string("ID3\x04\0\0\0\0\x02\x01", 10) + runs, true},
      {"ID3 with a size that is not syncsafe", std::string("ID3\x04\0\0\0\x80\x02\x01", 10) + runs,
       false},
      {"a first duration of -1", Record(0xFFFFFFFF) + runs, false},
      // FF E3 12 00: MPEG 2.5 layer III, 8 kbit/s at 11025 Hz, padded: a whole header, whose
      // next frame (53 bytes on) is not there. About 28 s of idle signal.
      {"a long idle first run", Record(0x0012E3FF) + runs, false},
      {"an idle first run of a free bit rate", Record(0x0000E3FF) + runs, false},
  };
  for (const Case& c : cases) {
    std::string bytes = c.Bytes.substr(0, 64);
    std::string said =
        RecognizeNonCapture(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    EXPECT_EQ(said.find("audio") != std::string::npos, c.Audio) << c.Name << ": " << said;
  }
  // The commands decode such a capture.
  RunCases({
      {"export of a capture opening with a long idle run",
       "printf '\\377\\343\\022\\000' | cat - x.cap > idle.cap;",
       "sh -c '$T export idle.cap > out'", 0, "40 frames written", Untouched},
  });
}

TEST(Faults, UsageErrorsExitTwoInEveryCommand) {
  const std::string none = "test ! -e o.cap && test ! -e o.svg && " + Untouched;
  RunCases({
      {"synth: an input and a pattern", "", "$T synth v.csv --pattern sweep -o o.cap", 2,
       "not both", none},
      {"synth: a hexadecimal number", "", "$T synth --jitter 0x1 -o o.cap", 2,
       "0x1 is not a number", none},
      {"synth: infinity", "", "$T synth --gap-ms inf -o o.cap", 2, "inf is not a number", none},
      {"synth: not a number", "", "$T synth --noise nan -o o.cap --wav o.wav", 2,
       "nan is not a number", none},
      {"synth: a hexadecimal whole number", "", "$T synth --frames 0x10 -o o.cap", 2,
       "0x10 is not a whole number", none},
      {"plot: --to before --from", "", "$T plot x.cap --from 2 --to 1 -o o.svg", 2,
       "--to must come after --from", none},
      {"plot: a channel that does not exist", "", "$T plot x.cap --lanes 9 -o o.svg", 2,
       "not \"9\"", none},
      {"plot: a hexadecimal time", "", "$T plot x.cap --from 0x1 -o o.svg", 2,
       "0x1 is not a number", none},
      {"export: an unknown format", "", "$T export x.cap --format xml -o o.cap", 2,
       "MorvantisCapture export: --format: xml", none},
      {"export: an empty output name", "", "$T export x.cap -o ''", 2,
       "MorvantisCapture export: --output: an empty file name", none},
      {"calibrate: an empty output name", "",
       "env HOME=$PWD XDG_CONFIG_HOME= $T calibrate x.cap -o ''", 2, "an empty file name",
       none + " && test ! -e .config"},
      {"synth: two codes", "", "$T synth --ecc v.csv --ecc-seed 1 -o o.cap", 2, "not both", none},
      {"synth: a seed beyond the range", "", "$T synth --ecc-seed 9223372036854775808 -o o.cap", 2,
       "9223372036854775808 is outside 0 to 9223372036854775807", none},
      {"export: a channel raw samples lack", "", "$T export - --raw s16le --channel 2 < x.cap", 2,
       "channel 2 does not exist: the raw input has 1 channel", none},
      {"analyze: the code into its own report", "", "$T analyze x.cap --save-ecc -", 2,
       "would mix the code into the report", none},
      {"analyze: no capture", "", "$T analyze", 2, "capture", none},
      {"import: no output", "", "$T import a.wav", 2, "give the capture to write with -o", none},
      {"import: hexadecimal seconds", "", "$T import a.wav --seconds 0x10 -o o.cap", 2,
       "0x10 is not a number", none},
      {"import: a rate no recording is received at", "",
       "$T import - --raw s16le --rate 4000 -o o.cap", 2, "4000 is outside 8000 to 768000", none},
  });
}

TEST(Faults, MessagesCountInTheSingularAndNameTheirCommand) {
  // Three frames, the middle one with one group off its expected aux.
  CellRuns cells;
  FrameFields even = MakeFrame(EvenFrame, 300, 8);
  even.Groups[1].Aux = 3;
  AppendSyncedFrame(cells, MakeFrame(OddFrame, 500, 8));
  AppendSyncedFrame(cells, even);
  AppendSyncedFrame(cells, MakeFrame(OddFrame, 500, 8));
  const std::string capture = TemporaryPath(".cap");
  ASSERT_EQ(WriteCaptureFile(capture, Durations(cells)), "");
  ProgramResult analyzed = RunCommand(Tool + " analyze " + capture);
  EXPECT_NE(analyzed.out.find("aux mismatches: 1\n"), std::string::npos) << analyzed.out;
  EXPECT_NE(analyzed.out.find(" 1 group fails the aux check."), std::string::npos) << analyzed.out;

  // Every line a command writes on standard error starts with its name.
  const std::string prefixed = "! grep -v '^MorvantisCapture [a-z]*: ' err";
  RunCases({
      {"synth of one row", "", "sh -c '$T synth v.csv -o o.cap 2>err'", 0, "",
       "grep -q '^MorvantisCapture synth: 1 frame (0 glitched), [0-9]* runs' err && " + prefixed},
      {"synth's note", "", "sh -c '$T synth --frames 2 --jitter 2 -o o.cap 2>err'", 0, "",
       "grep -q 'synth: 2 frames' err && grep -q 'note: a jitter' err && " + prefixed},
      {"the title of a plot of one frame", "$T synth v.csv -o one.cap 2>/dev/null;",
       "$T plot one.cap -o one.svg", 0, "", "grep -q ' - 1 frame, 0 lost' one.svg"},
      {"an input that cannot be opened says why", "", "$T synth v.csv/rows -o o.cap", 1,
       "cannot open v.csv/rows: Not a directory", Untouched},
      {"import's summary", "", "sh -c '$T import a.wav -o o.cap 2>err'", 0, "",
       "grep -q '^MorvantisCapture import: 40 frames decoded from it$' err && " + prefixed},
      {"the receiver's summary in export", "", "sh -c '$T export a.wav -o o.csv 2>err'", 0, "",
       "grep -q '^MorvantisCapture export: a.wav: WAV' err && " + prefixed},
  });
}

// A recording in which the receiver finds no signal: the message says what it holds instead,
// or that its sample rate is one no recording is received at (whatever libsndfile makes of it).
TEST(Faults, ARecordingWithoutTheSignalSaysWhatItHolds) {
  const std::string noPulses = "holds no pulse signal with cells of 0.15 ms; its peak level is ";
  const std::string outOfRange =
      " Hz, is out of range: recordings are received at 8000 to 768000 Hz";
  const std::string none = "test ! -e o.cap && " + Untouched;
  // WAV headers of 16-bit mono samples, the rate as given, and a second of a full-scale square.
  const std::string wavs =
      "python3 -c \"import struct\nfor rate in (1, 2000000000, 4000000000):\n"
      "  data = struct.pack('<2h', 32767, -32767) * 22050\n"
      "  open('r%d.wav' % rate, 'wb').write(b'RIFF' + struct.pack('<I', 36 + len(data)) + "
      "b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, 1, 1, rate, rate * 2 % 2**32, 2, 16) + b'data' + "
      "struct.pack('<I', len(data)) + data)\";";
  RunCases({
      // (Seeded: now and then noise this loud starts the receiver on a chance jump, and the
      // import ends with no frame decoded rather than no pulse signal found.)
      {"full-scale random samples",
       "python3 -c \"import random; random.seed(1); open('n.raw', 'wb').write(random.randbytes("
       "200000))\";",
       "$T import n.raw --raw s16le -o o.cap", 1, noPulses + "1 of full scale", none},
      {"infinite floats", "python3 -c \"open('i.raw', 'wb').write(b'\\0\\0\\x80\\x7f' * 50000)\";",
       "$T import i.raw --raw f32le -o o.cap", 1, noPulses + "1 of full scale", none},
      {"the signal under noise as loud",
       "$T synth --pattern steps --frames 40 -o n.cap --wav n.wav --noise 0.8 2>/dev/null;",
       "$T import n.wav -o o.cap", 1, noPulses + "1 of full scale", none},
      {"a steady level",
       "$T synth --frames 1 -o f.cap --wav f.wav --amplitude 0 --dc-offset 0.25 2>/dev/null;",
       "$T import f.wav -o o.cap", 1, noPulses + "0.25 of full scale", none},
      {"nothing at all", "head -c 50000 /dev/zero > z.raw;", "$T import z.raw --raw s16le -o o.cap",
       1, "z.raw is silent: every sample is 0", none},
      {"a WAV header of 1 Hz", wavs, "$T import r1.wav -o o.cap", 1,
       "r1.wav's sample rate, 1" + outOfRange, none},
      {"a WAV header of 2e9 Hz", wavs, "$T import r2000000000.wav -o o.cap", 1,
       "r2000000000.wav's sample rate, 2000000000" + outOfRange, none},
      {"a WAV header of 4e9 Hz, beyond libsndfile's numbers", wavs,
       "$T import r4000000000.wav -o o.cap", 1,
       "r4000000000.wav's sample rate, 4000000000" + outOfRange, none},
      {"the same on standard input", wavs, "sh -c 'cat r4000000000.wav | $T import - -o o.cap'", 1,
       "standard input's sample rate, 4000000000" + outOfRange, none},
  });
}

TEST(Faults, APlotSaysWhereTheCaptureEndsAndCountsWhatItDraws) {
  // x.cap is 40 frames: 1.110 s. The frames a window shows are those export lists ending in it.
  const std::string inWindow =
      "n=$($T export x.cap 2>/dev/null | awk -F, 'NR > 1 && $1 >= 500' | wc -l);"
      " test $n -gt 10 && test $n -lt 30 && grep -q \" - $n frames, 0 lost\" w.svg";
  RunCases({
      {"--from past the end", "", "$T plot x.cap --from 100 -o w.svg", 1,
       "x.cap ends at 1.1 s; --from 100 is past it", "test ! -e w.svg && " + Untouched},
      {"--from within the capture", "", "$T plot x.cap --from 0.5 -o w.svg", 0, "", inWindow},
  });
}

TEST(Faults, AnExportIsMadeAgainFrameByFrame) {
  // A sweep moves every channel, so most deltas are not 8; ecc0 and ecc2 are made 129 and 77.
  const std::string exported =
      "$T synth --pattern sweep --frames 60 --start-parity even -o s.cap 2>/dev/null;"
      " $T export s.cap 2>/dev/null | awk -F, -v OFS=, 'NR > 1 { $23 = 129; $25 = 77 } { print }'"
      " > a.csv;";
  RunCases({
      {"export, synth, export", exported,
       "sh -c '$T synth a.csv -o - 2>err | $T export - -o b.csv'", 0, "60 frames written",
       "cmp a.csv b.csv && ! grep -q ignoring err && test $(grep -c ',even,.*,129,0,77,0,' b.csv) "
       "= 30"},
      {"a column of no known kind beside them",
       exported + " sed '1s/$/,note/; 2,$s/$/,x/' a.csv > n.csv;", "$T synth n.csv -o n.cap", 0,
       "n.csv:1: ignoring column \"note\" (only", Untouched},
  });
}

TEST(Faults, AudioStreamsToStandardOutput) {
  RunCases({
      {"synth --wav - into import -", "",
       "sh -c '$T synth --pattern steps --frames 40 -o c.cap --wav - --channels 2 | tee s.wav |"
       " $T import - -o back.cap'",
       0, "runs -> back.cap",
       "test \"$(head -c 4 s.wav)\" = RIFF && test $($M back.cap 2 | grep -c Time=) = 40 && " +
           Untouched},
  });
}

}  // namespace
