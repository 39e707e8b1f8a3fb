// Atlases for flip-book tests and the flip-book fuzzer that need no device: the named images registered with the
// atlas manager under a key, with no texture pages. ClAtlasMgr::terminate frees the registration; the records
// live in the caller's STestAtlas, which must outlive it.
#pragma once

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Memory/KvAlloc.h"

struct STestAtlas {
  SAtlasFileHeader header{};  // no texture pages, so terminating the atlas unloads none
  std::vector<SAtlasTexInfo> records;
};

// Registers the images under pKey; image i is (i + 1) texels wide, so tests can tell images apart.
inline void KvTestRegisterAtlas(const char* pKey, const std::vector<std::string>& names, STestAtlas* pAtlas) {
  pAtlas->records.clear();
  for (size_t i = 0; i < names.size(); ++i) {
    SAtlasTexInfo record{};
    record.mp_uiNameHash = KvStrHash(names[i].c_str());
    record.mp_fWidth = static_cast<f32>(i + 1);
    record.mp_fHeight = 1.0f;
    pAtlas->records.push_back(record);
  }
  // The search wants the hashes in descending order, compared as signed values.
  std::sort(pAtlas->records.begin(), pAtlas->records.end(), [](const SAtlasTexInfo& a, const SAtlasTexInfo& b) {
    return static_cast<i32>(a.mp_uiNameHash) > static_cast<i32>(b.mp_uiNameHash);
  });
  ClAtlasMgr::initialize();
  SAtlasFileInfo* pInfo = new (KvAlignedAlloc(sizeof(SAtlasFileInfo), 16)) SAtlasFileInfo();
  pInfo->mp_pData = reinterpret_cast<const u8*>(&pAtlas->header);
  pInfo->mp_uiDataSize = sizeof(pAtlas->header);
  pInfo->mp_daEntries.initialize(4);
  pInfo->mp_daTextures.initialize(4);
  for (const SAtlasTexInfo& record : pAtlas->records) {
    pInfo->mp_daEntries.append(SAtlasEntry{&record, nullptr});
  }
  ClAtlasMgr::indexEntries(pInfo);
  ClAtlasMgr::mp_atlasTable.insertPtr(KvStrHash(pKey), pInfo);
}
