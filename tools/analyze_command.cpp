// MorvantisCapture analyze: options in, the diagnosis on standard output (and the ecc code found,
// to a file).
#include "tools/analyze_command.h"

#include <cstdio>
#include <memory>

#include "ecc/affine_code.h"
#include "files/file_name_check.h"
#include "files/output_file.h"
#include "sources/signal_source.h"
#include "study/capture_analysis.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "analyze";

struct AnalyzeOptions {
  SourceOptions source;
  bool json = false;
  std::string eccFile;  // a known code to check the groups against
  std::string saveEcc;  // where to write the code found
};

// Writes the code the groups fit to `path`; refuses when no code fits them.
std::string SaveEcc(const EccSearchResult& ecc, const std::string& path) {
  if (ecc.Groups == 0) return "no groups to find an ecc code from; " + path + " not written";
  if (ecc.Varied() && !ecc.Found()) {
    return "the ecc fields fit no affine code; " + path + " not written";
  }
  if (!ecc.Found()) {
    std::fprintf(stderr,
                 "MorvantisCapture analyze: note: the groups vary too little to pin the ecc "
                 "code; %s holds one that fits the groups seen\n",
                 path.c_str());
  }
  OutputFile file;
  if (std::string error = file.Open(path); !error.empty()) return error;
  std::string text = EccCodeText(ecc.Code);
  if (std::fputs(text.c_str(), file.Stream()) < 0) return "cannot write " + file.Name();
  return file.Commit();
}

int RunAnalyze(const AnalyzeOptions& options) {
  // The report goes to standard output, the code (if asked for) to its own file.
  if (options.saveEcc == "-")
    return Usage(Command, "--save-ecc - would mix the code into the report on standard output");
  std::vector<std::string> outputs = {"-"};
  if (!options.saveEcc.empty()) outputs.push_back(options.saveEcc);
  if (std::string error = RefuseWritingOverInputs(options.source, {options.eccFile}, outputs);
      !error.empty())
    return Fail(Command, error);
  CaptureAnalysis analysis;
  if (std::string error = CheckSource(Command, options.source); !error.empty()) {
    return Usage(Command, error);
  }
  if (!options.eccFile.empty()) {
    EccCode code;
    if (std::string error = LoadEccCode(options.eccFile, code); !error.empty())
      return Fail(Command, error);
    analysis.CheckEcc(code);
  }
  SourceReport source;
  if (std::string error = PlaySource(options.source, analysis, source); !error.empty()) {
    return Fail(Command, error);
  }
  std::string report = options.json ? analysis.Json(SourceName(options.source)) : analysis.Text();
  std::fputs(report.c_str(), stdout);
  int exitCode = ExitOk;
  if (!options.saveEcc.empty()) {
    if (std::string error = SaveEcc(analysis.Ecc(), options.saveEcc); !error.empty())
      exitCode = Fail(Command, error);
  }
  return FinishStandardOutput(Command, exitCode);
}

}  // namespace

void AddAnalyzeCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<AnalyzeOptions>();
  CLI::App* command = app.add_subcommand(
      "analyze", "Diagnose a capture: run lengths, timing, decoding counts, verdict");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture analyze recording.cap\n"
      "  MorvantisCapture analyze recording.cap --json\n"
      "\n"
      "Prints a histogram of run lengths in cells, how far durations fall from whole cells, the\n"
      "cell length measured from the data (a least-squares fit) against the nominal 6.623 units\n"
      "with the --scale to import with when it is more than 1 percent off, the decoder's counts\n"
      "(syncs, frames complete and cut short, invalid code words, unknown frame types, aux\n"
      "mismatches, frame rate), the ecc code the groups fit and a closing verdict.\n"
      "\n"
      "The code of real transmitters' ecc fields is not known; analyze looks for an affine code\n"
      "(each ecc bit a constant XOR the parity of some of the group's 16 other bits) that the\n"
      "groups fit, robustly (a few damaged groups do not spoil it), says how many fit, or that\n"
      "no such code fits. --save-ecc FILE writes the code found; --ecc FILE counts the groups\n"
      "that fail a known code.");
  AddSourceOptions(command, options->source);
  command->add_flag("--json", options->json, "Print one JSON object instead of text");
  AddEccCodeOption(command, options->eccFile);
  command
      ->add_option("--save-ecc", options->saveEcc, "Write the ecc code the groups fit to this file")
      ->check(FileName());
  command->callback([options, &exitCode] { exitCode = RunAnalyze(*options); });
}
