// sbankc: builds sound banks and music-track data from JSON, dumps both as JSON through the engine's checks,
// and synthesizes sample sounds. What it writes it reads back and checks as the engine would load it.
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "Corvane/Audio/ClAudioTrackData.h"
#include "Tools/Common/ToolArgs.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolJson.h"
#include "Tools/Common/ToolText.h"
#include "Tools/sbankc/SoundBankBuilder.h"
#include "Tools/sbankc/TrackDataBuilder.h"

namespace {

const char* const gc_pszUSAGE =
    "usage: sbankc build --in <cues.json> --out <bank.iAudioSB> [--manifest <lines out> --audio-dir <dir>]\n"
    "           compiles a cue list; --manifest writes one archive line per source file found in <dir>\n"
    "           (\"file Audio/<name> <dir>/<name> <store flags>\", paths quoted as needed; streamed sources\n"
    "           are stored plain), and one for the track data <base>.iAudioTD of each source that has it\n"
    "           (compressed, encrypted)\n"
    "       sbankc track --in <tracks.json> --out <name.iAudioTD>   compiles a music-track list\n"
    "       sbankc dump <bank.iAudioSB>      prints a bank as JSON, read through the engine's checks\n"
    "       sbankc dump-track <name.iAudioTD>   prints track data as JSON, read through the engine's checks\n"
    "       sbankc synth --in <sounds.json> --out <dir>   writes the sample sounds a sound list describes\n"
    "       sbankc --help                    prints this text\n"
    "The JSON formats are described in Tools/sbankc/SoundBankBuilder.h.\n";

int usageError(const std::string& problem) { return ToolUsageError("sbankc", problem, gc_pszUSAGE); }

int failure(const std::string& problem) {
  ToolPrintError(problem);
  return 1;
}

bool readBytes(const std::string& path, std::vector<unsigned char>* pBytes) {
  std::string text;
  if (!ToolReadFile(path, &text)) {
    return false;
  }
  pBytes->assign(text.begin(), text.end());
  return true;
}

// The options of a command: --in, --out, --manifest, --audio-dir; the file of dump and dump-track.
struct SOptions {
  std::string in;
  std::string out;
  std::string manifest;
  std::string audioDir;
  std::string file;
};

// The engine's checks of a dump as a check of bytes to write.
template <typename Dump>
auto checkedBy(Dump dump) {
  return [dump](const std::vector<unsigned char>& bytes, std::string* pProblem) {
    nlohmann::json json;
    return dump(bytes, &json, pProblem);
  };
}

bool readJson(const std::string& path, nlohmann::json* pJson, std::string* pProblem) {
  std::string text;
  if (!ToolReadTextSource(path, &text, pProblem)) {
    return false;
  }
  return SoundBankParseJson(text, path, pJson, pProblem);
}

int build(const SOptions& options) {
  const std::string& in = options.in;
  const std::string& out = options.out;
  const std::string& manifest = options.manifest;
  const std::string& audioDir = options.audioDir;
  if (in.empty() || out.empty() || manifest.empty() != audioDir.empty()) {
    return usageError("build needs --in and --out, and --manifest with --audio-dir");
  }
  nlohmann::json cues;
  std::string problem;
  std::vector<unsigned char> bank;
  std::vector<SSoundBankSourceFile> sources;
  if (!readJson(in, &cues, &problem) || !SoundBankCompile(cues, in, &bank, &sources, &problem)) {
    return failure(problem);
  }
  if (!manifest.empty()) {
    std::string lines;
    std::set<std::string> written;
    for (const SSoundBankSourceFile& source : sources) {
      const std::string path = audioDir + "/" + source.file;
      if (!std::filesystem::exists(path)) {
        return failure(in + ": source [" + source.file + "] is not in " + audioDir);
      }
      if (written.insert(source.file).second) {
        lines += "file " + ToolQuoteWord("Audio/" + source.file) + " " + ToolQuoteWord(path) + " " + source.store + "\n";
      }
      if (!source.bTrackData) {
        continue;
      }
      const std::string trackFile = source.file.substr(0, source.file.find('.')) + gc_pszTRACK_DATA_EXTENSION;
      const std::string trackPath = audioDir + "/" + trackFile;
      if (!std::filesystem::exists(trackPath)) {
        return failure(in + ": the track data [" + trackFile + "] of source [" + source.file + "] is not in " +
                       audioDir);
      }
      if (written.insert(trackFile).second) {
        lines += "file " + ToolQuoteWord("Audio/" + trackFile) + " " + ToolQuoteWord(trackPath) + " compress encrypt\n";
      }
    }
    if (!ToolWriteFile(manifest, lines.data(), lines.size())) {
      return failure(manifest + ": cannot be written");
    }
  }
  if (!ToolWriteChecked(out, bank, checkedBy(SoundBankDump), &problem)) {
    return failure(problem);
  }
  return 0;
}

int track(const SOptions& options) {
  const std::string& in = options.in;
  const std::string& out = options.out;
  if (in.empty() || out.empty()) {
    return usageError("track needs --in and --out");
  }
  nlohmann::json tracks;
  std::string problem;
  std::vector<unsigned char> trackData;
  if (!readJson(in, &tracks, &problem) || !TrackDataCompile(tracks, in, &trackData, &problem) ||
      !ToolWriteChecked(out, trackData, checkedBy(TrackDataDump), &problem)) {
    return failure(problem);
  }
  return 0;
}

int synth(const SOptions& options) {
  if (options.in.empty() || options.out.empty()) {
    return usageError("synth needs --in and --out");
  }
  nlohmann::json sounds;
  std::string problem;
  if (!readJson(options.in, &sounds, &problem)) {
    return failure(problem);
  }
  std::error_code error;
  std::filesystem::create_directories(options.out, error);
  if (error) {
    return failure(options.out + ": cannot make the folder (" + error.message() + ")");
  }
  if (!SoundBankSynthesize(sounds, options.in, options.out, &problem)) {
    return failure(problem);
  }
  return 0;
}

// Prints a file as JSON through one of the dumps.
template <typename Dump>
int dumpFile(const std::string& path, Dump dump) {
  std::vector<unsigned char> bytes;
  if (!readBytes(path, &bytes)) {
    return failure(path + ": cannot be read");
  }
  nlohmann::json json;
  std::string problem;
  if (!dump(bytes, &json, &problem)) {
    return failure(path + ": " + problem);
  }
  const std::string text = ToolJsonDump(json);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) {
    return usageError("no command");
  }
  const std::string& command = args[0];
  if (command == "--help" || command == "-h") {
    std::fputs(gc_pszUSAGE, stdout);
    return 0;
  }
  SOptions options;
  std::string problem;
  const EToolArgs eParsed = ToolParseArguments(args, 1,
                                               {{"--in", &options.in, nullptr},
                                                {"--out", &options.out, nullptr},
                                                {"--manifest", &options.manifest, nullptr},
                                                {"--audio-dir", &options.audioDir, nullptr}},
                                               &options.file, &problem);
  if (const int iExit = ToolArgsExitCode(eParsed, gc_pszUSAGE, [&] { return usageError(problem); }); iExit >= 0) {
    return iExit;
  }
  const bool bDump = command == "dump" || command == "dump-track";
  if (bDump && (options.file.empty() || !options.in.empty() || !options.out.empty() || !options.manifest.empty() ||
                !options.audioDir.empty())) {
    return usageError(command + " takes one file and no options");
  }
  if (!bDump && !options.file.empty()) {
    return usageError(command + " reads --in, not [" + options.file + "]");
  }
  if (command == "dump") {
    return dumpFile(options.file, SoundBankDump);
  }
  if (command == "dump-track") {
    return dumpFile(options.file, TrackDataDump);
  }
  if (command == "build") {
    return build(options);
  }
  if (command == "track") {
    return track(options);
  }
  if (command == "synth") {
    return synth(options);
  }
  return usageError("unknown command [" + command + "]");
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return ToolRunMain("sbankc", [&] { return run(args); });
}
