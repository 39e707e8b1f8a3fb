// Archive reads through the engine against the same work done by hand, and archive look-ups against a hash map.
//
// A temp data root gets four archives of the same 64 MiB (256 entries of 256 KiB of text-like bytes):
// PLN plain, CMP compressed, ENC encrypted, BTH compressed and encrypted. BM_Engine_<Kind>Read reads every
// entry with ClMagFileIO open, allocReadBuffers, read and close, the data file on disk (warm in the page cache
// after the first round). BM_Baseline_<Kind>Read reads the same stored bytes with pread into buffers allocated
// once (on a cache line, as the engine's are) and runs Crypto++ and zlib on them directly. Each iteration goes
// through the entries from a place of its own (wrapping round), and both sides compare every entry they read with
// the bytes packed for the entry that iteration was to read at that point (one memcmp each, untimed). The aim is the
// engine at 0.9 of the baseline's throughput or better (a time ratio of 1.11 at most). GRINDLOW_BENCH_SKIP
// "<Kind>Read.engine.read" leaves out the engine's read, "<Kind>Read.baseline.read" the baseline's pread,
// ".baseline.decrypt" and ".baseline.inflate" its decryption and inflation, "<Kind>Read.<side>.everysecond" every
// second entry's read (an iteration of the compressed kinds lasts a fifth of a second: a check's short run has one).
// The steps of CBenchCheat: "partial" reads all but the last 4 KiB of every entry, "repeat" reads in every third
// read the entry the read before read, and "middle" changes one byte of the middle iteration's first entry.
//
// BM_Engine_PathLookup finds 8192 entry paths with findOwningTOC (the data root skipped, the rest hashed and looked
// up in the table of contents' index); BM_Baseline_PathLookup finds the same paths in a
// std::unordered_map<std::string_view> sized for them, skipping the root and hashing each key inside the loop. Both
// fold every answer's place in the data file into a running hash, which must be that of the entries packed under
// those paths, and keep the answers, the last iteration's of which must each be the entry packed under its path.
// Each iteration goes through the paths from a place of its own, so that its answers come in an order of their own.
// "PathLookup.<side>.lookups" leaves out every second look-up, ".everysecond" every second iteration's look-ups,
// "PathLookup.baseline.root" the cut of the root; the steps of CBenchCheat leave out the last look-up ("partial"),
// give the previous iteration's answers in every third ("repeat"), the answers of a run of the look-ups made before
// the loop ("replay"), or another entry for one look-up of the middle iteration ("middle").
#include <benchmark/benchmark.h>
#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClCrypto.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Tests/Support/KvScratchFolder.h"
#include "Tools/magpack/MagPacker.h"

namespace {

constexpr u32 gc_uiENTRY_SIZE = 256 * 1024;
constexpr i32 gc_iENTRY_COUNT = 256;
constexpr i32 gc_iLOOKUP_COUNT = 8192;
constexpr const char* gc_pKEY = "bench-key";

struct SArchive {
  const char* pName;
  const char* pCase;
  bool bCompress;
  bool bEncrypt;
  std::vector<SMagPackedEntry> packed;
};

SArchive g_archives[] = {{"PLN", "PlainRead", false, false, {}},
                         {"CMP", "CompressedRead", true, false, {}},
                         {"ENC", "EncryptedRead", false, true, {}},
                         {"BTH", "CompressedEncryptedRead", true, true, {}}};
std::vector<std::string> g_paths;        // entry paths as the loaders build them
std::vector<std::vector<u8>> g_expected;  // each entry's bytes as packed, in the order of g_paths
std::vector<std::string> g_lookupPaths;  // paths of the look-up archive
std::vector<u32> g_lookupOffsets;        // where each path's bytes lie in the look-up archive's data file
std::string g_root;

std::vector<u8> textLike(u32 uiSize, u32 uiSeed) {
  static const char* const s_apWords[] = {"lane ", "wave ", "enemy ", "combo ", "fist ", "blade ", "magic ",
                                         "timer ", "score ", "boss ", "jump ", "dash ", "hit ", "block ", "\n"};
  std::vector<u8> bytes;
  bytes.reserve(uiSize + 16);
  u32 uiState = uiSeed * 2654435761u + 1;
  while (bytes.size() < uiSize) {
    uiState = uiState * 1664525u + 1013904223u;
    const char* pWord = s_apWords[(uiState >> 16) % 15];
    bytes.insert(bytes.end(), pWord, pWord + std::strlen(pWord));
    if ((uiState & 0xFF) == 7) bytes.push_back(static_cast<u8>('0' + (uiState >> 8) % 10));
  }
  bytes.resize(uiSize);
  return bytes;
}

std::vector<SMagPackInput> entryInputs() {
  std::vector<SMagPackInput> inputs;
  for (i32 i = 0; i < gc_iENTRY_COUNT; ++i) {
    SMagPackInput input;
    input.archivePath = "Data\\Entry" + std::to_string(i) + ".bin";
    input.bytes = textLike(gc_uiENTRY_SIZE, static_cast<u32>(i));
    inputs.push_back(std::move(input));
  }
  return inputs;
}

// The temp data root with the look-up archive, and the engine's file layer; the read archives are written
// when a benchmark first needs them (compressing them takes a while).
void setUp() {
  static bool s_bDone = false;
  if (s_bDone) return;
  s_bDone = true;
  g_root = KvMakeScratchFolder("grindlow-bench-archive");
  if (g_root.empty() || chdir(g_root.c_str()) != 0) std::abort();
  std::atexit([] { std::filesystem::remove_all(g_root); });
  for (i32 i = 0; i < gc_iENTRY_COUNT; ++i) {
    g_paths.push_back(".\\Data\\Entry" + std::to_string(i) + ".bin");
  }
  std::vector<SMagPackInput> lookups;
  for (i32 i = 0; i < gc_iLOOKUP_COUNT; ++i) {
    SMagPackInput input;
    input.archivePath = "Folder" + std::to_string(i % 37) + "\\Item" + std::to_string(i) + ".kds";
    input.bytes = {static_cast<u8>(i)};
    g_lookupPaths.push_back(".\\" + input.archivePath);
    lookups.push_back(std::move(input));
  }
  std::string error;
  std::vector<SMagPackedEntry> lookupPacked;
  if (!MagWriteArchive(".", "LKP", gc_pKEY, lookups, &lookupPacked, &error)) std::abort();
  std::unordered_map<std::string, u32> offsets;
  for (const SMagPackedEntry& entry : lookupPacked) offsets[".\\" + entry.archivePath] = entry.uiDataOffset;
  for (const std::string& path : g_lookupPaths) g_lookupOffsets.push_back(offsets.at(path));

  ClMutexLock::initializePool();
  ClFileIO::initialize();
  KvInitializeDataPaths();
  ClMagFileIO::initTOCPool();
  ClMagFileIO::initRefPool();
  for (const char* pName : {"LKP", "PLN", "CMP", "ENC", "BTH"}) {
    ClMagFileIO::setArchiveKey(pName, gc_pKEY);
  }
}

SArchive& archiveOf(i32 iArchive) {
  setUp();
  SArchive& archive = g_archives[iArchive];
  if (archive.packed.empty()) {
    std::vector<SMagPackInput> inputs = entryInputs();
    if (g_expected.empty()) {
      for (const SMagPackInput& input : inputs) g_expected.push_back(input.bytes);
    }
    for (SMagPackInput& input : inputs) {
      input.bCompress = archive.bCompress;
      input.bEncrypt = archive.bEncrypt;
    }
    std::string error;
    if (!MagWriteArchive(".", archive.pName, gc_pKEY, inputs, &archive.packed, &error)) std::abort();
  }
  return archive;
}

// Loads only the archive under test, so every look-up finds its entries in the first table.
void loadOnly(const char* pName) {
  for (const char* pOther : {"LKP", "PLN", "CMP", "ENC", "BTH"}) ClMagFileIO::unloadTOC(KvStrHash(pOther));
  if (!ClMagFileIO::loadTOC(pName)) std::abort();
}

// Whether the bytes read are the bytes packed; the time the compare takes is not counted.
bool sameAsPacked(benchmark::State& state, const std::vector<u8>& packed, const u8* pBytes, u32 uiSize) {
  state.PauseTiming();
  const bool bSame = uiSize == packed.size() && std::memcmp(pBytes, packed.data(), uiSize) == 0;
  state.ResumeTiming();
  return bSame;
}

// Where iteration iIteration starts going through the entries (wrapping round): each iteration reads them in an
// order of its own.
size_t readStart(i64 iIteration) { return static_cast<size_t>(iIteration + 1) * 97u % gc_iENTRY_COUNT; }

// The entry read at place uiRead of iteration iIteration. A side that repeats (cheat) reads in every third read the
// entry the read before it read: counted over the whole run, as an iteration of the compressed kinds is long enough
// that a check's short run has only one.
size_t entryRead(const CBenchCheat& cheat, i64 iIteration, size_t uiRead) {
  i64 iRead = iIteration * gc_iENTRY_COUNT + static_cast<i64>(uiRead);
  if (cheat.repeats(iRead)) --iRead;
  return (readStart(iRead / gc_iENTRY_COUNT) + static_cast<size_t>(iRead % gc_iENTRY_COUNT)) % gc_iENTRY_COUNT;
}

// How many bytes of an entry of uiSize a side reads: all, or all but the last 4 KiB (cheat "partial").
u32 sizeRead(const CBenchCheat& cheat, u32 uiSize) { return cheat.partial() && uiSize > 4096 ? uiSize - 4096 : uiSize; }

// The one byte a side changes (cheat "middle"): the first entry's first byte in the middle iteration.
void changeInMiddle(const CBenchCheat& cheat, const benchmark::State& state, i64 iIteration, size_t uiRead,
                    u8* pBytes) {
  if (uiRead == 0 && cheat.changes(iIteration, state.max_iterations)) pBytes[0] ^= 1;
}

void engineRead(benchmark::State& state, i32 iArchive) {
  const SArchive& archive = archiveOf(iArchive);
  loadOnly(archive.pName);
  const std::string side = std::string(archive.pCase) + ".engine";
  const bool bRead = !benchSkips(side + ".read");
  const CBenchCheat cheat(side);
  CBenchEverySecond everySecond(state.max_iterations * gc_iENTRY_COUNT, side + ".everysecond");
  i64 iIteration = 0;
  for (auto _ : state) {
    for (size_t k = 0; k < g_paths.size(); ++k) {
      const size_t i = entryRead(cheat, iIteration, k);
      const std::string& path = g_paths[i];
      u32 uiSize = 0;
      SMagRef* pRef = nullptr;
      if (ClMagFileIO::open(path.c_str(), &uiSize, &pRef) != E_FILE_OK ||
          !ClMagFileIO::allocReadBuffers(pRef, uiSize, 16) ||
          (!everySecond.leavesOut() && bRead && ClMagFileIO::read(pRef, sizeRead(cheat, uiSize)) != E_FILE_OK)) {
        state.SkipWithError("read failed");
        return;
      }
      // An encrypted entry is decrypted whole whatever size is asked: its tail is cleared instead.
      if (cheat.partial()) {
        std::memset(pRef->mp_pDestinationBuffer + sizeRead(cheat, uiSize), 0, uiSize - sizeRead(cheat, uiSize));
      }
      changeInMiddle(cheat, state, iIteration, k, pRef->mp_pDestinationBuffer);
      const size_t uiWanted = (readStart(iIteration) + k) % gc_iENTRY_COUNT;
      const bool bSame = sameAsPacked(state, g_expected[uiWanted], pRef->mp_pDestinationBuffer, uiSize);
      ClMagFileIO::close(pRef);
      if (!bSame) {
        const std::string problem = "iteration " + std::to_string(iIteration) +
                                    ": the bytes read differ from the bytes packed: " + g_paths[uiWanted];
        state.SkipWithError(problem.c_str());
        return;
      }
    }
    ++iIteration;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<i64>(gc_uiENTRY_SIZE) * gc_iENTRY_COUNT);
}

// A buffer on a cache line, as the engine's read buffers are: the copy of a read runs at very different speeds
// for different alignments of its destination, so both sides use the same.
struct SCacheLineBuffer {
  explicit SCacheLineBuffer(size_t uiSize) : pBytes(static_cast<u8*>(std::aligned_alloc(64, (uiSize + 63) / 64 * 64))) {}
  ~SCacheLineBuffer() { std::free(pBytes); }
  SCacheLineBuffer(const SCacheLineBuffer&) = delete;
  SCacheLineBuffer& operator=(const SCacheLineBuffer&) = delete;
  u8* data() const { return pBytes; }
  u8* pBytes;
};

// The steps of a hand-made read a benchmark can leave out.
struct SDecodeSteps {
  bool bRead = true;
  bool bDecrypt = true;
  bool bInflate = true;
};

// Reads and decodes one entry by hand into pOut; false when a call failed.
bool decodeEntry(int iFd, const SMagPackedEntry& entry, const u8* pucKey, const SDecodeSteps& steps, u8* pStored,
                 u8* pPlain, u8* pOut) {
  const u32 uiStored =
      entry.bEncrypted ? entry.uiEncryptedSize : (entry.bCompressed ? entry.uiCompressedSize : entry.uiFinalSize);
  u8* pTarget = (entry.bCompressed || entry.bEncrypted) ? pStored : pOut;
  if (steps.bRead && pread(iFd, pTarget, uiStored, entry.uiDataOffset) != static_cast<ssize_t>(uiStored)) return false;
  const u8* pStream = pStored;
  if (entry.bEncrypted && steps.bDecrypt) {
    u8 aucIV[gc_iCRYPTO_BLOCK_SIZE];
    ClCrypto::buildIV(pucKey, entry.iNameHash, aucIV);
    CryptoPP::CBC_Mode<CryptoPP::Rijndael>::Decryption decryption(pucKey, gc_iCRYPTO_KEY_SIZE, aucIV);
    u8* pDecrypted = entry.bCompressed ? pPlain : pOut;
    decryption.ProcessData(pDecrypted, pStored, uiStored);
    pStream = pPlain;
  }
  if (entry.bCompressed && steps.bInflate) {
    uLongf uiOut = gc_uiENTRY_SIZE;
    if (uncompress(pOut, &uiOut, pStream, entry.uiCompressedSize) != Z_OK) return false;
  }
  return true;
}

void baselineRead(benchmark::State& state, i32 iArchive) {
  const SArchive& archive = archiveOf(iArchive);
  const std::string dataPath = MagDataFileName(".", archive.pName);
  u8 aucKey[gc_iCRYPTO_KEY_SIZE];
  ClCrypto::makeKey(gc_pKEY, aucKey);
  SCacheLineBuffer stored(gc_uiENTRY_SIZE + 64);
  SCacheLineBuffer plain(gc_uiENTRY_SIZE + 64);
  SCacheLineBuffer out(gc_uiENTRY_SIZE);
  // Each packed entry's expected bytes (the archive keeps its entries in name-hash order).
  std::vector<const std::vector<u8>*> expected;
  for (const SMagPackedEntry& entry : archive.packed) {
    const std::string number = entry.archivePath.substr(std::strlen("Data\\Entry"));
    expected.push_back(&g_expected[static_cast<size_t>(std::stoi(number))]);
  }
  const std::string side = std::string(archive.pCase) + ".baseline";
  const SDecodeSteps steps{!benchSkips(side + ".read"), !benchSkips(side + ".decrypt"), !benchSkips(side + ".inflate")};
  const CBenchCheat cheat(side);
  CBenchEverySecond everySecond(state.max_iterations * gc_iENTRY_COUNT, side + ".everysecond");
  i64 iIteration = 0;
  for (auto _ : state) {
    const int iFd = open(dataPath.c_str(), O_RDONLY);
    if (iFd < 0) {
      state.SkipWithError(("cannot open " + dataPath).c_str());
      return;
    }
    for (size_t k = 0; k < archive.packed.size(); ++k) {
      SMagPackedEntry entry = archive.packed[entryRead(cheat, iIteration, k)];
      const u32 uiFinalSize = entry.uiFinalSize;
      if (!entry.bCompressed && !entry.bEncrypted) entry.uiFinalSize = sizeRead(cheat, entry.uiFinalSize);
      if (entry.bCompressed && !entry.bEncrypted) entry.uiCompressedSize = sizeRead(cheat, entry.uiCompressedSize);
      if (entry.bEncrypted) entry.uiEncryptedSize = sizeRead(cheat, entry.uiEncryptedSize);
      const bool bDecoded =
          everySecond.leavesOut() || decodeEntry(iFd, entry, aucKey, steps, stored.data(), plain.data(), out.data());
      changeInMiddle(cheat, state, iIteration, k, out.data());
      const size_t uiWanted = (readStart(iIteration) + k) % gc_iENTRY_COUNT;
      const char* pProblem = nullptr;
      if (!bDecoded) {
        pProblem = "read failed";
      } else if (!sameAsPacked(state, *expected[uiWanted], out.data(), uiFinalSize)) {
        pProblem = "the bytes read differ from the bytes packed";
      }
      if (pProblem != nullptr) {
        close(iFd);
        state.SkipWithError(("iteration " + std::to_string(iIteration) + ": " + pProblem + ": " +
                             archive.packed[uiWanted].archivePath)
                                .c_str());
        return;
      }
    }
    close(iFd);
    ++iIteration;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<i64>(gc_uiENTRY_SIZE) * gc_iENTRY_COUNT);
}

void BM_Engine_PlainRead(benchmark::State& state) { engineRead(state, 0); }
void BM_Baseline_PlainRead(benchmark::State& state) { baselineRead(state, 0); }
void BM_Engine_CompressedRead(benchmark::State& state) { engineRead(state, 1); }
void BM_Baseline_CompressedRead(benchmark::State& state) { baselineRead(state, 1); }
void BM_Engine_EncryptedRead(benchmark::State& state) { engineRead(state, 2); }
void BM_Baseline_EncryptedRead(benchmark::State& state) { baselineRead(state, 2); }
void BM_Engine_CompressedEncryptedRead(benchmark::State& state) { engineRead(state, 3); }
void BM_Baseline_CompressedEncryptedRead(benchmark::State& state) { baselineRead(state, 3); }

// A look-up's answer into the running hash: the place of the entry's bytes in the data file (all ones for none).
void foldLookup(CBenchHash* pHash, const ClMagDataInfo* pFound) {
  pHash->add(pFound != nullptr ? pFound->mp_uiDataOffset : ~u64{0});
}

// Where iteration iIteration starts going through the paths (wrapping round).
size_t lookupStart(i64 iIteration) { return static_cast<size_t>(iIteration + 1) * 389u % gc_iLOOKUP_COUNT; }

// Looks every path up in each iteration (find: the entry found, or null), from the iteration's own start on, every
// uiStride-th only, and folds the answers in that order into a running hash; after the loop every answer kept must
// be the entry packed under its path, and the hash that of each iteration's answers in its order.
template <typename FFind>
void runPathLookups(benchmark::State& state, const std::string& side, size_t uiStride, FFind find) {
  const CBenchCheat cheat(side);
  CBenchEverySecond everySecond(state, side + ".everysecond");
  const size_t uiPaths = g_lookupPaths.size();
  std::vector<const ClMagDataInfo*> replayed;
  for (size_t j = 0, i = lookupStart(0); j < uiPaths; ++j, i = i + 1 == uiPaths ? 0 : i + 1) {
    replayed.push_back(find(g_lookupPaths[i]));
  }
  const size_t uiCount = uiPaths - (cheat.partial() ? 1 : 0);
  std::vector<const ClMagDataInfo*> found(uiPaths, nullptr);
  std::vector<const ClMagDataInfo*> previous;  // a repeating side's answers of the iteration before
  CBenchHash hash;
  i64 iIteration = 0;
  for (auto _ : state) {
    if (cheat.repeats(iIteration)) {
      for (const ClMagDataInfo* pFound : previous) foldLookup(&hash, pFound);
    } else {
      if (cheat.any()) previous.clear();
      size_t i = lookupStart(iIteration);
      for (size_t j = everySecond.leavesOut() ? uiCount : 0; j < uiCount; j += uiStride) {
        found[i] = cheat.replays() ? replayed[j] : find(g_lookupPaths[i]);
        if (j == 0 && cheat.changes(iIteration, state.max_iterations)) {
          found[i] = found[i] == replayed[0] ? replayed[1] : replayed[0];
        }
        foldLookup(&hash, found[i]);
        if (cheat.any()) previous.push_back(found[i]);
        i += uiStride;
        if (i >= uiPaths) i -= uiPaths;
      }
    }
    ++iIteration;
  }
  std::string problem;
  for (size_t i = 0; i < found.size() && problem.empty(); ++i) {
    if (found[i] == nullptr || found[i]->mp_uiDataOffset != g_lookupOffsets[i]) {
      problem = "the look-up of " + g_lookupPaths[i] +
                (found[i] == nullptr ? " found nothing" : " found another entry");
    }
  }
  CBenchHash record;
  for (i64 i = 0; i < state.iterations(); ++i) {
    for (size_t j = 0, k = lookupStart(i); j < uiPaths; ++j, k = k + 1 == uiPaths ? 0 : k + 1) {
      record.add(g_lookupOffsets[k]);
    }
  }
  if (problem.empty() && !(hash == record)) problem = "the look-ups of an iteration found other entries or none";
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iLOOKUP_COUNT);
}

void BM_Engine_PathLookup(benchmark::State& state) {
  setUp();
  loadOnly("LKP");
  runPathLookups(state, "PathLookup.engine", benchSkips("PathLookup.engine.lookups") ? 2 : 1,
                 [](const std::string& path) {
                   ClMagTOC* pOwner = nullptr;
                   return ClMagFileIO::findOwningTOC(&pOwner, path.c_str());
                 });
}

// The same paths in a std::unordered_map keyed by the text below the data root, filled from the engine's answers;
// each look-up cuts the root off its path (a prefix compare) and hashes the rest, as the engine must.
void BM_Baseline_PathLookup(benchmark::State& state) {
  setUp();
  loadOnly("LKP");
  std::unordered_map<std::string_view, const ClMagDataInfo*> map;
  map.reserve(g_lookupPaths.size());
  for (const std::string& path : g_lookupPaths) {
    ClMagTOC* pOwner = nullptr;
    map.emplace(std::string_view(path).substr(2), ClMagFileIO::findOwningTOC(&pOwner, path.c_str()));
  }
  const bool bCutRoot = !benchSkips("PathLookup.baseline.root");
  runPathLookups(state, "PathLookup.baseline", benchSkips("PathLookup.baseline.lookups") ? 2 : 1,
                 [&](const std::string& path) -> const ClMagDataInfo* {
                   std::string_view key = path;
                   if (bCutRoot && key.starts_with(".\\")) key.remove_prefix(2);
                   const auto entry = map.find(key);
                   return entry != map.end() ? entry->second : nullptr;
                 });
}

}  // namespace

BENCHMARK(BM_Engine_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_CompressedRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline_CompressedRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_EncryptedRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline_EncryptedRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_CompressedEncryptedRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline_CompressedEncryptedRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Engine_PathLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline_PathLookup)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
