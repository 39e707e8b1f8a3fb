// sbankc: builds sound banks and music-track data from JSON, dumps both as JSON through the engine's checks,
// and synthesizes sample sounds. What it writes it reads back and checks as the engine would load it.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "Corvane/Audio/ClAudioTrackData.h"
#include "Tools/Common/ClTool.h"
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

const ClTool gc_tool("sbankc", gc_pszUSAGE);

// The options of a command: --in, --out, --manifest, --audio-dir.
struct SOptions {
  std::string in;
  std::string out;
  std::string manifest;
  std::string audioDir;
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
    return gc_tool.usageError("build needs --in and --out, and --manifest with --audio-dir");
  }
  nlohmann::json cues;
  std::string problem;
  std::vector<unsigned char> bank;
  std::vector<SSoundBankSourceFile> sources;
  if (!readJson(in, &cues, &problem) || !SoundBankCompile(cues, in, &bank, &sources, &problem)) {
    return ClTool::fail(problem);
  }
  if (!manifest.empty()) {
    std::string lines;
    std::set<std::string> written;
    for (const SSoundBankSourceFile& source : sources) {
      const std::string path = audioDir + "/" + source.file;
      if (!std::filesystem::exists(path)) {
        return ClTool::fail(in + ": source [" + source.file + "] is not in " + audioDir);
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
        return ClTool::fail(in + ": the track data [" + trackFile + "] of source [" + source.file + "] is not in " +
                       audioDir);
      }
      if (written.insert(trackFile).second) {
        lines += "file " + ToolQuoteWord("Audio/" + trackFile) + " " + ToolQuoteWord(trackPath) + " compress encrypt\n";
      }
    }
    if (std::string why; !ToolWriteFile(manifest, lines.data(), lines.size(), &why)) {
      return ClTool::fail(manifest + ": error: " + why);
    }
  }
  if (!ToolWriteChecked(out, bank, checkedBy(SoundBankDump), &problem)) {
    return ClTool::fail(problem);
  }
  return 0;
}

int track(const SOptions& options) {
  const std::string& in = options.in;
  const std::string& out = options.out;
  if (in.empty() || out.empty()) {
    return gc_tool.usageError("track needs --in and --out");
  }
  nlohmann::json tracks;
  std::string problem;
  std::vector<unsigned char> trackData;
  if (!readJson(in, &tracks, &problem) || !TrackDataCompile(tracks, in, &trackData, &problem) ||
      !ToolWriteChecked(out, trackData, checkedBy(TrackDataDump), &problem)) {
    return ClTool::fail(problem);
  }
  return 0;
}

int synth(const SOptions& options) {
  if (options.in.empty() || options.out.empty()) {
    return gc_tool.usageError("synth needs --in and --out");
  }
  nlohmann::json sounds;
  std::string problem;
  if (!readJson(options.in, &sounds, &problem)) {
    return ClTool::fail(problem);
  }
  std::error_code error;
  std::filesystem::create_directories(options.out, error);
  if (error) {
    return ClTool::fail(options.out + ": cannot make the folder (" + error.message() + ")");
  }
  if (!SoundBankSynthesize(sounds, options.in, options.out, &problem)) {
    return ClTool::fail(problem);
  }
  return 0;
}

// Prints a file as JSON through one of the dumps.
template <typename Dump>
int dumpFile(const std::string& path, Dump dump) {
  std::string bytes;
  if (std::string refused; !ToolReadInput(path, &bytes, &refused)) return ClTool::fail(refused);
  nlohmann::json json;
  std::string problem;
  if (!dump(std::vector<unsigned char>(bytes.begin(), bytes.end()), &json, &problem)) {
    return ClTool::fail(path + ": " + problem);
  }
  return ClTool::writeOutput("", ToolJsonDump(json));
}

}  // namespace

int main(int argc, char** argv) {
  SOptions options;
  const std::vector<SToolOption> accepted = {{"--in", &options.in, nullptr},
                                             {"--out", &options.out, nullptr},
                                             {"--manifest", &options.manifest, nullptr},
                                             {"--audio-dir", &options.audioDir, nullptr}};
  const std::vector<SToolCommand> commands = {
      {"build", accepted, 1}, {"track", accepted, 1}, {"dump", accepted, 1}, {"dump-track", accepted, 1},
      {"synth", accepted, 1}};
  return gc_tool.main(argc, argv, commands, [&](const SToolCommandLine& line) {
    const std::string& command = line.command;
    const std::string& file = line.input();
    const bool bDump = command == "dump" || command == "dump-track";
    if (bDump && (file.empty() || !options.in.empty() || !options.out.empty() || !options.manifest.empty() ||
                  !options.audioDir.empty())) {
      return gc_tool.usageError(command + " takes one file and no options");
    }
    if (!bDump && !file.empty()) return gc_tool.usageError(command + " reads --in, not [" + file + "]");
    if (command == "dump") return dumpFile(file, SoundBankDump);
    if (command == "dump-track") return dumpFile(file, TrackDataDump);
    if (command == "build") return build(options);
    if (command == "track") return track(options);
    return synth(options);
  });
}
