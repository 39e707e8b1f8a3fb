// Files laid out as an offset table, as the archive's table of contents and the string tables are: a u32
// offset of the record table at 0, an i32 count at 8, a table of u32 record offsets, 12-byte records whose first
// word is the offset of the record's payload. Header only.
#pragma once

#include <cstring>
#include <functional>
#include <vector>

#include "Corvane/System/KvTypes.h"
#include "Tests/Support/KvTestSupport.h"

// The same file with its record table, every record and every payload at an odd offset (the header stays at
// 0). payloadSize tells how many bytes the payload at an offset of the original takes.
inline std::vector<u8> relaidAtOddOffsets(const std::vector<u8>& image,
                                          const std::function<size_t(const std::vector<u8>&, u32)>& payloadSize) {
  const u32 uiCount = KvTestU32At(image, 8);
  const u32 uiTable = 13;
  std::vector<u8> out(uiTable + 4 * uiCount + 2, 0);
  for (u32 i = 0; i < uiCount; ++i) {
    const u32 uiOldRecord = KvTestU32At(image, KvTestU32At(image, 0) + 4 * i);
    const u32 uiOldPayload = KvTestU32At(image, uiOldRecord);
    const u32 uiPayload = static_cast<u32>(out.size()) | 1u;
    out.resize(uiPayload, 0);
    out.insert(out.end(), image.begin() + uiOldPayload,
               image.begin() + uiOldPayload + static_cast<std::ptrdiff_t>(payloadSize(image, uiOldPayload)));
    const u32 uiRecord = static_cast<u32>(out.size()) | 1u;
    out.resize(uiRecord + 12 + 1, 0);
    std::memcpy(out.data() + uiRecord, image.data() + uiOldRecord, 12);
    KvTestPutU32At(&out, uiRecord, uiPayload);
    KvTestPutU32At(&out, uiTable + 4 * i, uiRecord);
  }
  KvTestPutU32At(&out, 0, uiTable);
  KvTestPutU32At(&out, 8, uiCount);
  return out;
}
