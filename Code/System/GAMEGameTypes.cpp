#include "Code/System/GAMEGameTypes.h"

namespace {

struct SGameTypeRow {
  E_GAME_FAMILY m_eFamily;
  i32 m_iBoard;
  const char* mp_pModeTextID;
};

constexpr SGameTypeRow gc_aGAME_TYPES[] = {
#define GAME_TYPE_ROW(name, value, family, board, text) {family, board, text},
    GAME_TYPE_LIST(GAME_TYPE_ROW)
#undef GAME_TYPE_ROW
};

// The rows are looked up by type: the list's values must run 0, 1, 2, ... in its order.
constexpr bool valuesRunInOrder() {
  i32 iRow = 0;
#define GAME_TYPE_AT_ROW(name, value, family, board, text) \
  if (value != iRow++) return false;
  GAME_TYPE_LIST(GAME_TYPE_AT_ROW)
#undef GAME_TYPE_AT_ROW
  return iRow == NUM_E_GAME_TYPE;
}
static_assert(valuesRunInOrder());

const SGameTypeRow* row(i32 iType) {
  return iType >= 0 && iType < NUM_E_GAME_TYPE ? &gc_aGAME_TYPES[iType] : nullptr;
}

// How many boards a type's row starts: the story's one a level, every other type's one (or none).
i32 boardCount(i32 iType) {
  if (gc_aGAME_TYPES[iType].m_iBoard == gc_iNO_LEADERBOARD) return 0;
  return gc_aGAME_TYPES[iType].m_eFamily == E_GAME_FAMILY_STORY ? gc_iSTORY_LEVELS : 1;
}

}  // namespace

namespace GameTypes {

E_GAME_FAMILY family(i32 iType) {
  const SGameTypeRow* pRow = row(iType);
  return pRow != nullptr ? pRow->m_eFamily : E_GAME_FAMILY_NONE;
}

i32 board(i32 iType, i32 iChapter, i32 iLevel) {
  const SGameTypeRow* pRow = row(iType);
  if (pRow == nullptr) return gc_iNO_LEADERBOARD;
  return isStory(iType) ? pRow->m_iBoard + storyIndex(iChapter, iLevel) : pRow->m_iBoard;
}

SBoardOwner boardOwner(i32 iBoard) {
  for (i32 iType = 0; iType < NUM_E_GAME_TYPE; ++iType) {
    const i32 iFirst = gc_aGAME_TYPES[iType].m_iBoard;
    if (iBoard >= iFirst && iBoard < iFirst + boardCount(iType)) {
      const i32 iAt = iBoard - iFirst;
      return {iType, iAt / NUMBER_MAX_OF_LEVELS, iAt % NUMBER_MAX_OF_LEVELS};
    }
  }
  return {-1, 0, 0};
}

const char* modeTextID(i32 iType) {
  const SGameTypeRow* pRow = row(iType);
  return (pRow != nullptr ? pRow : &gc_aGAME_TYPES[E_GAME_TYPE_STORY])->mp_pModeTextID;
}

}  // namespace GameTypes
