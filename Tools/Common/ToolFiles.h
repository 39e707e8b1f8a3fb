// Whole-file reads and writes of the offline tools.
//
// A read goes through the platform's file door: only a regular file is read, never waited on, and never more than
// the caller's bound; what is there instead is said ("is a pipe").
//
// A write is whole or not at all. Every output is made as a new file beside its target, in the same folder under a
// name no file has (created exclusively: nothing already there is opened, no link is followed, no pipe is waited
// on); every write, the flush to disk and the close are checked; only then is it renamed over the target. A target
// that is there must be a regular file (not a link to one): anything else is left as it is and the write refused.
// After a failure the target is as it was and the new file is gone. Reasons read after the file's name
// ("cannot write the file: No space left on device", "cannot be replaced: it is a pipe").
//
// Main thread of a tool; nothing is shared.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The most a tool reads of one input: the largest entry an archive holds.
inline constexpr size_t gc_uiTOOL_MAX_INPUT_BYTES = 0xFFFFFFF0u;

// The file's bytes; false when it cannot be read, with why in *pWhy when given, as it reads after the file's name
// ("does not exist", "is a pipe", "is a symlink loop", "is larger than N bytes").
bool ToolReadFile(const std::string& path, std::string* pBytes, std::string* pWhy = nullptr,
                  size_t uiMaxBytes = gc_uiTOOL_MAX_INPUT_BYTES);

// ToolReadFile for a tool's input; false with "<path>: error: cannot open the file (it <why>)".
bool ToolReadInput(const std::string& path, std::string* pBytes, std::string* pError);

// Why a new file cannot be put where target is, or "" when it can: nothing is there, or a regular file.
std::string ToolWhyNotReplaceable(const std::string& target);

// A name beside target that no file had when asked (the caller still creates it exclusively).
std::string ToolNameBeside(const std::string& target);

// Creates a new, empty file beside target for writing (close-on-exec). The descriptor, with the file's name in
// *pNewPath; -1 with why when it cannot be made.
int ToolCreateNewFile(const std::string& target, std::string* pNewPath, std::string* pWhy);

// Writes all the bytes to the descriptor of a new file; false with why ("cannot write the file: <system text>").
bool ToolWriteAll(int iFd, const void* pData, size_t uiSize, std::string* pWhy);

// Flushes a new file to disk and closes its descriptor; false with why. The file is removed when anything failed
// (bWritten false: an earlier write failed and *pWhy already says why).
bool ToolFinishNewFile(int iFd, const std::string& newPath, bool bWritten, std::string* pWhy);

// A new file beside target holding the bytes, written, flushed and closed; its name in *pNewPath. False with why
// and nothing left behind.
bool ToolMakeNewFile(const std::string& target, const void* pData, size_t uiSize, std::string* pNewPath,
                     std::string* pWhy);

// Renames a finished new file over target. False with why, the new file removed and target as it was.
bool ToolPutInPlace(const std::string& newPath, const std::string& target, std::string* pWhy);

// Puts two finished new files over their targets, both or neither: the first target's old file is kept under a
// second name (a hard link) until the second rename has worked, and put back when it fails. False with the target
// that could not be replaced in *pFailed, why in *pWhy, and both new files removed.
bool ToolPutPairInPlace(const std::string& firstNew, const std::string& firstTarget, const std::string& secondNew,
                        const std::string& secondTarget, std::string* pFailed, std::string* pWhy);

// Writes the bytes to path whole or not at all. False with why (when given) as it reads after path.
bool ToolWriteFile(const std::string& path, const void* pData, size_t uiSize, std::string* pWhy = nullptr);

// Writes bytes that check (const std::vector<unsigned char>&, std::string* pProblem) -> bool accepts: the new file
// is read back and checked again before it replaces the target, so what is on disk is what the engine will load.
// False with "<path>: error: <problem>"; a refused file is not left behind and the old target stays.
template <typename Check>
bool ToolWriteChecked(const std::string& path, const std::vector<unsigned char>& bytes, Check check,
                      std::string* pProblem) {
  std::string problem;
  if (!check(bytes, &problem)) {
    *pProblem = path + ": the engine would refuse what was built, so nothing is written: " + problem;
    return false;
  }
  std::string newPath;
  std::string why = ToolWhyNotReplaceable(path);
  if (!why.empty() || !ToolMakeNewFile(path, bytes.data(), bytes.size(), &newPath, &why)) {
    *pProblem = path + ": error: " + why;
    return false;
  }
  std::string written;
  const bool bSame = ToolReadFile(newPath, &written, &why) && written.size() == bytes.size() &&
                     std::equal(bytes.begin(), bytes.end(), written.begin(),
                                [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
  if (!bSame) {
    std::remove(newPath.c_str());
    *pProblem = path + ": error: what was written does not read back" + (why.empty() ? "" : " (it " + why + ")");
    return false;
  }
  if (!check(std::vector<unsigned char>(written.begin(), written.end()), &problem)) {
    std::remove(newPath.c_str());
    *pProblem = path + ": the engine refuses what was written: " + problem;
    return false;
  }
  if (!ToolPutInPlace(newPath, path, &why)) {
    *pProblem = path + ": error: " + why;
    return false;
  }
  return true;
}
