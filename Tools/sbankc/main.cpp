// sbankc: builds sound banks and music-track data from JSON, dumps both as JSON through the engine's checks,
// and synthesizes sample sounds. What it writes it reads back and checks as the engine would load it.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "Corvane/Audio/ClAudioTrackData.h"
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

int usageError(const std::string& problem) {
  std::fprintf(stderr, "sbankc: %s\n%s", problem.c_str(), gc_pszUSAGE);
  return 2;
}

int failure(const std::string& problem) {
  std::fprintf(stderr, "%s\n", problem.c_str());
  return 1;
}

bool readText(const std::string& path, std::string* pText) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  pText->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool writeBytes(const std::string& path, const void* pData, size_t uiSize) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(pData), static_cast<std::streamsize>(uiSize));
  return static_cast<bool>(out);
}

// --name value pairs after the command word.
bool options(int argc, char** argv, std::vector<std::pair<std::string, std::string>>* pValues, std::string* pProblem) {
  for (int i = 2; i < argc; i += 2) {
    if (std::strncmp(argv[i], "--", 2) != 0 || i + 1 >= argc) {
      *pProblem = std::string("bad argument [") + argv[i] + "]";
      return false;
    }
    pValues->push_back({argv[i] + 2, argv[i + 1]});
  }
  return true;
}

std::string value(const std::vector<std::pair<std::string, std::string>>& values, const char* pName) {
  for (const auto& [name, text] : values) {
    if (name == pName) {
      return text;
    }
  }
  return std::string();
}

bool readBytes(const std::string& path, std::vector<unsigned char>* pBytes) {
  std::string text;
  if (!readText(path, &text)) {
    return false;
  }
  pBytes->assign(text.begin(), text.end());
  return true;
}

// Writes the bytes, then reads the file back and dumps it through the engine's checks: what was written is
// what the engine will load.
template <typename Dump>
bool writeChecked(const std::string& path, const std::vector<unsigned char>& bytes, Dump dump, std::string* pProblem) {
  std::vector<unsigned char> written;
  nlohmann::json json;
  std::string problem;
  if (!writeBytes(path, bytes.data(), bytes.size()) || !readBytes(path, &written) || written != bytes) {
    *pProblem = path + ": cannot be written";
    return false;
  }
  if (!dump(written, &json, &problem)) {
    *pProblem = path + ": the engine refuses what was written: " + problem;
    return false;
  }
  return true;
}

bool readJson(const std::string& path, nlohmann::json* pJson, std::string* pProblem) {
  std::string text;
  if (!ToolReadTextSource(path, &text, pProblem)) {
    return false;
  }
  return SoundBankParseJson(text, path, pJson, pProblem);
}

int build(const std::vector<std::pair<std::string, std::string>>& values) {
  const std::string in = value(values, "in");
  const std::string out = value(values, "out");
  const std::string manifest = value(values, "manifest");
  const std::string audioDir = value(values, "audio-dir");
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
    if (!writeBytes(manifest, lines.data(), lines.size())) {
      return failure(manifest + ": cannot be written");
    }
  }
  if (!writeChecked(out, bank, SoundBankDump, &problem)) {
    return failure(problem);
  }
  return 0;
}

int track(const std::vector<std::pair<std::string, std::string>>& values) {
  const std::string in = value(values, "in");
  const std::string out = value(values, "out");
  if (in.empty() || out.empty()) {
    return usageError("track needs --in and --out");
  }
  nlohmann::json tracks;
  std::string problem;
  std::vector<unsigned char> trackData;
  if (!readJson(in, &tracks, &problem) || !TrackDataCompile(tracks, in, &trackData, &problem) ||
      !writeChecked(out, trackData, TrackDataDump, &problem)) {
    return failure(problem);
  }
  return 0;
}

// Prints a file as JSON through one of the dumps.
template <typename Dump>
int dumpFile(int argc, char** argv, Dump dump) {
  if (argc != 3) {
    return usageError(std::string(argv[1]) + " takes one file");
  }
  std::vector<unsigned char> bytes;
  if (!readBytes(argv[2], &bytes)) {
    return failure(std::string(argv[2]) + ": cannot be read");
  }
  nlohmann::json json;
  std::string problem;
  if (!dump(bytes, &json, &problem)) {
    return failure(std::string(argv[2]) + ": " + problem);
  }
  std::printf("%s\n", json.dump(2).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return usageError("no command");
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h") {
    std::fputs(gc_pszUSAGE, stdout);
    return 0;
  }
  if (command == "dump") {
    return dumpFile(argc, argv, SoundBankDump);
  }
  if (command == "dump-track") {
    return dumpFile(argc, argv, TrackDataDump);
  }
  std::vector<std::pair<std::string, std::string>> values;
  std::string problem;
  if (!options(argc, argv, &values, &problem)) {
    return usageError(problem);
  }
  if (command == "build") {
    return build(values);
  }
  if (command == "track") {
    return track(values);
  }
  if (command == "synth") {
    const std::string in = value(values, "in");
    const std::string out = value(values, "out");
    if (in.empty() || out.empty()) {
      return usageError("synth needs --in and --out");
    }
    nlohmann::json sounds;
    std::filesystem::create_directories(out);
    if (!readJson(in, &sounds, &problem) || !SoundBankSynthesize(sounds, in, out, &problem)) {
      return failure(problem);
    }
    return 0;
  }
  return usageError("unknown command [" + command + "]");
}
