// Writes Mag archive pairs (NAME_win32.mtc + NAME_win32.mdf) in the layout ClMagFileIO.h describes, and
// gathers their entries from a folder and a manifest.
//
// Entry names: an entry is found by the name hash of its path below the data root exactly as the loaders
// build it, with "\" separators ("Text\Notes.txt"); names gathered from a folder are the relative paths with
// "/" turned into "\".
//
// Manifest: one directive a line, words separated by blanks; a word in double quotes may hold blanks (\" and
// \\ inside stand for a quote and a backslash), so paths with spaces are written quoted. Blank lines and lines
// whose first word starts with "#" are ignored. The file is read as the tools read every text source (a UTF-8
// byte-order mark skipped, zero bytes refused); errors read "manifest:line:column: error: what".
//   <pattern> <flag>...                  a rule for files found under the root; the first rule whose pattern
//                                        matches the file's relative path ("/" separators, any case; "*" and
//                                        "?" also match "/") decides; files no rule matches are stored plain.
//   file <archive path> <source> <flag>...  one entry from any file (source relative to the manifest's folder).
// Flags: plain, compress, encrypt, skip (leave the file out).
//
// Storage rules, which the reader relies on:
//  - compressed only when the zlib stream is smaller than the file; otherwise the entry is stored plain;
//  - encrypted alone only when the file's size is a whole number of 16-byte blocks, and compressed and
//    encrypted only when the stream padded to whole blocks is no larger than the file: otherwise packing fails
//    (encryption that was asked for is never dropped);
//  - files that the asynchronous loader reads (".fxo") are always stored plain;
//  - stored bytes start at multiples of 16 in the .mdf, records are sorted by signed name hash, and two entries
//    with the same name hash are an error.
#pragma once

#include <string>
#include <vector>

#include "Corvane/System/KvTypes.h"

struct SMagPackInput {
  std::string archivePath;  // below the data root, "\" separators
  std::string sourcePath;   // where the bytes came from (for messages and the dependency list)
  std::vector<u8> bytes;
  bool bCompress = false;
  bool bEncrypt = false;
};

// What was stored for one entry.
struct SMagPackedEntry {
  std::string archivePath;
  i32 iNameHash = 0;
  bool bCompressed = false;
  bool bEncrypted = false;
  u32 uiDataOffset = 0;
  u32 uiFinalSize = 0;
  u32 uiCompressedSize = 0;
  u32 uiEncryptedSize = 0;
};

struct SMagPackRule {
  std::string pattern;
  bool bCompress = false;
  bool bEncrypt = false;
  bool bSkip = false;
};

struct SMagManifest {
  std::vector<SMagPackRule> rules;
  std::vector<SMagPackInput> files;  // from "file" lines, bytes already read
};

// Reads a manifest. False with a message naming the file, line and column when it cannot.
bool MagReadManifest(const std::string& manifestPath, SMagManifest* pManifest, std::string* pError);
// Every file under the root (sorted by path), with the flags of the first matching rule, plus the manifest's
// own files. False with a message when a file cannot be read.
bool MagGatherInputs(const std::string& rootDir, const SMagManifest& manifest, std::vector<SMagPackInput>* pInputs,
                     std::string* pError);
// True for files the asynchronous loader reads; they are stored plain.
bool MagIsAsyncLoaded(const std::string& archivePath);

// Builds the table of contents and the data file of an archive in memory. The key (1 to 15 characters) is needed
// when any entry is encrypted. False with a message when an entry cannot be stored as asked.
bool MagBuildArchive(const std::string& archiveName, const std::string& keyText,
                     const std::vector<SMagPackInput>& inputs, std::vector<SMagPackedEntry>* pPacked,
                     std::vector<u8>* pTOC, std::vector<u8>* pData, std::string* pError);

// Replaces outDir/NAME_win32.mtc and .mdf (creating outDir) with the built pair, both or neither: the new files are
// written whole beside the old ones, then swapped in, and a failure leaves the old pair byte for byte, with nothing
// else left in the folder. False with "<file>: error: <why>" ("S_win32.mtc: error: cannot write the file: No space
// left on device").
bool MagWriteArchiveFiles(const std::string& outDir, const std::string& archiveName, const std::vector<u8>& toc,
                          const std::vector<u8>& data, std::string* pError);

// MagBuildArchive, then MagWriteArchiveFiles.
bool MagWriteArchive(const std::string& outDir, const std::string& archiveName, const std::string& keyText,
                     const std::vector<SMagPackInput>& inputs, std::vector<SMagPackedEntry>* pPacked,
                     std::string* pError);

// The archive's two file names in a folder.
std::string MagTOCFileName(const std::string& outDir, const std::string& archiveName);
std::string MagDataFileName(const std::string& outDir, const std::string& archiveName);
