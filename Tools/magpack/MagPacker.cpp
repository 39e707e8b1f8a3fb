#include "Tools/magpack/MagPacker.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <fnmatch.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClCrypto.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolText.h"

namespace fs = std::filesystem;

namespace {

u32 alignUp(u32 uiValue, u32 uiAlignment) { return (uiValue + uiAlignment - 1) / uiAlignment * uiAlignment; }

bool readWholeFile(const std::string& path, std::vector<u8>* pBytes, std::string* pError) {
  std::string bytes;
  std::string why;
  if (!ToolReadFile(path, &bytes, &why)) {
    *pError = "cannot read [" + path + "]: it " + why;
    return false;
  }
  pBytes->assign(bytes.begin(), bytes.end());
  return true;
}

std::string toArchivePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string lowerExtension(const std::string& path) {
  const size_t uiDot = path.find_last_of('.');
  const size_t uiSeparator = path.find_last_of("\\/");
  if (uiDot == std::string::npos || (uiSeparator != std::string::npos && uiDot < uiSeparator)) {
    return "";
  }
  std::string extension = path.substr(uiDot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// Parses the flags from words[uiFirst] on; false with the index of the offending word.
bool parseFlags(const std::vector<SToolWord>& words, size_t uiFirst, SMagPackRule* pRule, size_t* puiBad) {
  for (size_t i = uiFirst; i < words.size(); ++i) {
    const std::string& word = words[i].text;
    if (word == "plain") {
      pRule->bCompress = false;
      pRule->bEncrypt = false;
    } else if (word == "compress") {
      pRule->bCompress = true;
    } else if (word == "encrypt") {
      pRule->bEncrypt = true;
    } else if (word == "skip") {
      pRule->bSkip = true;
    } else {
      *puiBad = i;
      return false;
    }
  }
  return true;
}

void writeU32(std::vector<u8>* pOut, u32 uiOffset, u32 uiValue) {
  for (i32 i = 0; i < 4; ++i) {
    (*pOut)[uiOffset + static_cast<u32>(i)] = static_cast<u8>(uiValue >> (8 * i));
  }
}

// Encodes one entry as asked and allowed; appends the stored bytes to the data image.
bool storeEntry(const SMagPackInput& input, i32 iNameHash, const u8* pucKey, std::vector<u8>* pData,
                SMagPackedEntry* pPacked, std::string* pError) {
  const u32 uiFinalSize = static_cast<u32>(input.bytes.size());
  const bool bAsync = MagIsAsyncLoaded(input.archivePath);
  const bool bEncrypt = input.bEncrypt && !bAsync;
  bool bCompress = input.bCompress && !bAsync;
  std::vector<u8> stored;

  if (bCompress) {
    uLongf uiStreamSize = compressBound(uiFinalSize);
    stored.resize(uiStreamSize);
    if (compress2(stored.data(), &uiStreamSize, input.bytes.data(), uiFinalSize, Z_BEST_COMPRESSION) != Z_OK) {
      *pError = "zlib could not compress [" + input.sourcePath + "]";
      return false;
    }
    const u32 uiLimit = bEncrypt ? alignUp(static_cast<u32>(uiStreamSize), gc_iCRYPTO_BLOCK_SIZE) : uiStreamSize;
    if (uiStreamSize < uiFinalSize && uiLimit <= uiFinalSize) {
      stored.resize(uiStreamSize);
      pPacked->uiCompressedSize = static_cast<u32>(uiStreamSize);
    } else {
      bCompress = false;
    }
  }
  if (!bCompress) {
    stored = input.bytes;
  }
  if (bEncrypt) {
    if (!bCompress && uiFinalSize % gc_iCRYPTO_BLOCK_SIZE != 0) {
      *pError = "[" + input.archivePath + "] cannot be encrypted: " + std::to_string(uiFinalSize) +
                " bytes is not a whole number of 16-byte blocks, and it does not compress to fit";
      return false;
    }
    if (uiFinalSize == 0) {
      *pError = "[" + input.archivePath + "] cannot be encrypted: it is empty";
      return false;
    }
    stored.resize(alignUp(static_cast<u32>(stored.size()), gc_iCRYPTO_BLOCK_SIZE), 0);
    u8 aucIV[gc_iCRYPTO_BLOCK_SIZE];
    ClCrypto::buildIV(pucKey, iNameHash, aucIV);
    CryptoPP::CBC_Mode<CryptoPP::Rijndael>::Encryption encryption(pucKey, gc_iCRYPTO_KEY_SIZE, aucIV);
    encryption.ProcessData(stored.data(), stored.data(), stored.size());
    pPacked->uiEncryptedSize = static_cast<u32>(stored.size());
  }
  const u32 uiOffset = alignUp(static_cast<u32>(pData->size()), gc_uiMAG_ALIGNMENT);
  if (static_cast<u64>(uiOffset) + stored.size() > 0xFFFFFFFFull) {
    *pError = "the data file would pass 4 GiB at [" + input.archivePath + "]";
    return false;
  }
  pData->resize(uiOffset, 0);
  pData->insert(pData->end(), stored.begin(), stored.end());
  pPacked->archivePath = input.archivePath;
  pPacked->iNameHash = iNameHash;
  pPacked->bCompressed = bCompress;
  pPacked->bEncrypted = bEncrypt;
  pPacked->uiDataOffset = uiOffset;
  pPacked->uiFinalSize = uiFinalSize;
  return true;
}

}  // namespace

bool MagIsAsyncLoaded(const std::string& archivePath) { return lowerExtension(archivePath) == ".fxo"; }

std::string MagTOCFileName(const std::string& outDir, const std::string& archiveName) {
  return (fs::path(outDir) / (archiveName + gc_pMAG_PLATFORM_SUFFIX + gc_pMAG_TOC_EXTENSION)).string();
}

std::string MagDataFileName(const std::string& outDir, const std::string& archiveName) {
  return (fs::path(outDir) / (archiveName + gc_pMAG_PLATFORM_SUFFIX + gc_pMAG_DATA_EXTENSION)).string();
}

bool MagReadManifest(const std::string& manifestPath, SMagManifest* pManifest, std::string* pError) {
  std::string contents;
  if (!ToolReadTextSource(manifestPath, &contents, pError)) {
    return false;
  }
  const fs::path baseDir = fs::path(manifestPath).parent_path();
  std::istringstream lines(contents);
  std::string line;
  int iLine = 0;
  while (std::getline(lines, line)) {
    ++iLine;
    const auto fail = [&](int iColumn, const std::string& what) {
      *pError = ToolErrorAt(manifestPath, iLine, iColumn, what);
      return false;
    };
    std::vector<SToolWord> words;
    int iBadColumn = 0;
    if (!ToolSplitWords(line, &words, &iBadColumn)) {
      return fail(iBadColumn, "a quoted word has no closing double quote");
    }
    if (words.empty() || words[0].text.rfind('#', 0) == 0) {
      continue;
    }
    SMagPackRule rule;
    size_t uiBad = 0;
    if (words[0].text == "file") {
      if (words.size() < 3) {
        return fail(static_cast<int>(line.size()) + 1, "a file line needs an archive path and a source file");
      }
      if (!parseFlags(words, 3, &rule, &uiBad)) {
        return fail(words[uiBad].iColumn, "unknown flag [" + words[uiBad].text + "]");
      }
      if (rule.bSkip) {
        continue;
      }
      SMagPackInput input;
      input.archivePath = toArchivePath(words[1].text);
      input.sourcePath = (baseDir / words[2].text).string();
      input.bCompress = rule.bCompress;
      input.bEncrypt = rule.bEncrypt;
      std::string readError;
      if (!readWholeFile(input.sourcePath, &input.bytes, &readError)) {
        return fail(words[2].iColumn, readError);
      }
      pManifest->files.push_back(std::move(input));
    } else {
      rule.pattern = words[0].text;
      if (!parseFlags(words, 1, &rule, &uiBad)) {
        return fail(words[uiBad].iColumn, "unknown flag [" + words[uiBad].text + "]");
      }
      pManifest->rules.push_back(rule);
    }
  }
  return true;
}

bool MagGatherInputs(const std::string& rootDir, const SMagManifest& manifest, std::vector<SMagPackInput>* pInputs,
                     std::string* pError) {
  if (!rootDir.empty()) {
    std::error_code error;
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator it(rootDir, error), end; !error && it != end; it.increment(error)) {
      if (it->is_regular_file()) {
        found.push_back(it->path());
      }
    }
    if (error) {
      *pError = "cannot list [" + rootDir + "]: " + error.message();
      return false;
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& path : found) {
      const std::string relative = fs::relative(path, rootDir).generic_string();
      SMagPackRule chosen;
      for (const SMagPackRule& rule : manifest.rules) {
        if (fnmatch(rule.pattern.c_str(), relative.c_str(), FNM_CASEFOLD) == 0) {
          chosen = rule;
          break;
        }
      }
      if (chosen.bSkip) {
        continue;
      }
      SMagPackInput input;
      input.archivePath = toArchivePath(relative);
      input.sourcePath = path.string();
      input.bCompress = chosen.bCompress;
      input.bEncrypt = chosen.bEncrypt;
      if (!readWholeFile(input.sourcePath, &input.bytes, pError)) {
        return false;
      }
      pInputs->push_back(std::move(input));
    }
  }
  pInputs->insert(pInputs->end(), manifest.files.begin(), manifest.files.end());
  return true;
}

bool MagBuildArchive(const std::string& archiveName, const std::string& keyText,
                     const std::vector<SMagPackInput>& inputs, std::vector<SMagPackedEntry>* pPacked,
                     std::vector<u8>* pTOC, std::vector<u8>* pData, std::string* pError) {
  if (archiveName.empty()) {
    *pError = "the archive has no name";
    return false;
  }
  if (inputs.size() > 0x7FFFFFF) {
    *pError = "too many entries";
    return false;
  }
  u8 aucKey[gc_iCRYPTO_KEY_SIZE] = {};
  const bool bHaveKey = ClCrypto::makeKey(keyText.c_str(), aucKey);
  if (!keyText.empty() && !bHaveKey) {
    *pError = "the key must be 1 to 15 characters";
    return false;
  }

  // Signed order of the name hashes: the reader's binary search compares them as i32.
  std::vector<std::pair<i32, const SMagPackInput*>> sorted;
  std::map<i32, const SMagPackInput*> byHash;
  for (const SMagPackInput& input : inputs) {
    const i32 iHash = static_cast<i32>(KvStrHash(input.archivePath.c_str()));
    const auto [it, bInserted] = byHash.emplace(iHash, &input);
    if (!bInserted) {
      *pError = "[" + input.archivePath + "] and [" + it->second->archivePath + "] have the same name hash";
      return false;
    }
    if (input.bEncrypt && !MagIsAsyncLoaded(input.archivePath) && !bHaveKey) {
      *pError = "[" + input.archivePath + "] is to be encrypted but the archive has no key";
      return false;
    }
    sorted.emplace_back(iHash, &input);
  }
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

  const u32 uiCount = static_cast<u32>(sorted.size());
  const u32 uiTableOffset = alignUp(sizeof(SMagTOCHeader), gc_uiMAG_ALIGNMENT);
  const u32 uiRecordsOffset = alignUp(uiTableOffset + 4 * uiCount, gc_uiMAG_ALIGNMENT);
  const u32 uiInfosOffset = alignUp(uiRecordsOffset + sizeof(SMagTOCRecord) * uiCount, gc_uiMAG_ALIGNMENT);
  std::vector<u8>& toc = *pTOC;
  toc.assign(uiInfosOffset + sizeof(ClMagDataInfo) * uiCount, 0);
  writeU32(&toc, 0, uiTableOffset);
  writeU32(&toc, 8, uiCount);

  std::vector<u8>& data = *pData;
  data.clear();
  pPacked->clear();
  for (u32 i = 0; i < uiCount; ++i) {
    SMagPackedEntry packed;
    if (!storeEntry(*sorted[i].second, sorted[i].first, aucKey, &data, &packed, pError)) {
      return false;
    }
    const u32 uiRecord = uiRecordsOffset + sizeof(SMagTOCRecord) * i;
    const u32 uiInfo = uiInfosOffset + sizeof(ClMagDataInfo) * i;
    writeU32(&toc, uiTableOffset + 4 * i, uiRecord);
    writeU32(&toc, uiRecord, uiInfo);
    writeU32(&toc, uiRecord + 8, static_cast<u32>(packed.iNameHash));
    writeU32(&toc, uiInfo + offsetof(ClMagDataInfo, mp_uiCompressed), packed.bCompressed ? 1 : 0);
    writeU32(&toc, uiInfo + offsetof(ClMagDataInfo, mp_uiEncrypted), packed.bEncrypted ? 1 : 0);
    writeU32(&toc, uiInfo + offsetof(ClMagDataInfo, mp_uiDataOffset), packed.uiDataOffset);
    writeU32(&toc, uiInfo + offsetof(ClMagDataInfo, mp_uiFinalSize), packed.uiFinalSize);
    writeU32(&toc, uiInfo + offsetof(ClMagDataInfo, mp_uiCompressedSize), packed.uiCompressedSize);
    writeU32(&toc, uiInfo + offsetof(ClMagDataInfo, mp_uiEncryptedSize), packed.uiEncryptedSize);
    pPacked->push_back(packed);
  }
  // The reader refuses an empty data file; an archive with nothing stored keeps one block of padding.
  if (data.empty()) {
    data.resize(gc_uiMAG_ALIGNMENT, 0);
  }
  return true;
}

bool MagWriteArchiveFiles(const std::string& outDir, const std::string& archiveName, const std::vector<u8>& toc,
                          const std::vector<u8>& data, std::string* pError) {
  std::error_code error;
  fs::create_directories(outDir, error);
  if (error) {
    *pError = outDir + ": error: cannot make the folder: " + error.message();
    return false;
  }
  // Nothing is touched until both new files are whole: a failure leaves the old pair as it was, and loadable.
  const std::string dataPath = MagDataFileName(outDir, archiveName);
  const std::string tocPath = MagTOCFileName(outDir, archiveName);
  std::string why;
  for (const std::string* pPath : {&dataPath, &tocPath}) {
    why = ToolWhyNotReplaceable(*pPath);
    if (!why.empty()) {
      *pError = *pPath + ": error: " + why;
      return false;
    }
  }
  std::string newData;
  std::string newTOC;
  if (!ToolMakeNewFile(dataPath, data.data(), data.size(), &newData, &why)) {
    *pError = dataPath + ": error: " + why;
    return false;
  }
  if (!ToolMakeNewFile(tocPath, toc.data(), toc.size(), &newTOC, &why)) {
    std::remove(newData.c_str());
    *pError = tocPath + ": error: " + why;
    return false;
  }
  // The data file goes in first, so that its old bytes are the ones kept while the table follows.
  std::string failed;
  if (!ToolPutPairInPlace(newData, dataPath, newTOC, tocPath, &failed, &why)) {
    *pError = failed + ": error: " + why;
    return false;
  }
  return true;
}

bool MagWriteArchive(const std::string& outDir, const std::string& archiveName, const std::string& keyText,
                     const std::vector<SMagPackInput>& inputs, std::vector<SMagPackedEntry>* pPacked,
                     std::string* pError) {
  std::vector<u8> toc;
  std::vector<u8> data;
  return MagBuildArchive(archiveName, keyText, inputs, pPacked, &toc, &data, pError) &&
         MagWriteArchiveFiles(outDir, archiveName, toc, data, pError);
}
