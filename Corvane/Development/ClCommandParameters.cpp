#include "Corvane/Development/ClCommandParameters.h"

#include <cstdlib>
#include <cstring>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Language/KvLangID.h"

namespace {

constexpr SCommandParameterDefinition gc_engineDefinitions[] = {
    {"-debug", 1, {0, 0, 0}, E_COMMAND_ARG_INT, 0},
    {"-release", 0, {0, 0, 0}, E_COMMAND_ARG_NONE, 0},
    {"-language", 1, {0, 0, 0}, E_COMMAND_ARG_TEXT, 0},
};

SCommandParameterDefinition* m_pDefinitions = nullptr;
i32 s_iNumDefinitions = 0;
i32 s_iDebugLevel = -1;
i32 s_iLanguage = -1;

const SCommandParameterDefinition* findDefinition(const char* pName) {
  for (const SCommandParameterDefinition& definition : gc_engineDefinitions) {
    if (std::strcmp(definition.m_szName, pName) == 0) {
      return &definition;
    }
  }
  for (i32 i = 0; i < s_iNumDefinitions; ++i) {
    if (std::strcmp(m_pDefinitions[i].m_szName, pName) == 0) {
      return &m_pDefinitions[i];
    }
  }
  return nullptr;
}

// An optional "-" and at least one digit, the value within 32 bits.
bool parseInteger(const char* pText, i32* piValue) {
  const bool bNegative = pText[0] == '-';
  const char* p = bNegative ? pText + 1 : pText;
  if (*p == 0) {
    return false;
  }
  i64 iValue = 0;
  for (; *p != 0; ++p) {
    if (*p < '0' || *p > '9') {
      return false;
    }
    iValue = iValue * 10 + (*p - '0');
    if (iValue > 0x80000000ll) {
      return false;
    }
  }
  iValue = bNegative ? -iValue : iValue;
  if (iValue > 0x7FFFFFFFll) {
    return false;
  }
  *piValue = static_cast<i32>(iValue);
  return true;
}

// An optional "-", digits and exactly one ".", with at least one digit.
bool parseFraction(const char* pText, f32* pfValue) {
  const char* p = pText[0] == '-' ? pText + 1 : pText;
  i32 iDots = 0;
  i32 iDigits = 0;
  for (; *p != 0; ++p) {
    if (*p == '.') {
      ++iDots;
    } else if (*p >= '0' && *p <= '9') {
      ++iDigits;
    } else {
      return false;
    }
  }
  if (iDots != 1 || iDigits == 0) {
    return false;
  }
  *pfValue = std::strtof(pText, nullptr);
  return true;
}

// Applies "-debug", "-release" and "-language" in the order given; 0 on a conflict or a bad value.
i32 applyEngineParameters() {
  for (i32 i = 0; i < ClCommandParameters::mp_parameterPool.getCount(); ++i) {
    const SCommandParameter* pParameter = ClCommandParameters::mp_parameterPool.get(i);
    const char* pName = pParameter->mp_pDefinition->m_szName;
    if (std::strcmp(pName, "-debug") == 0) {
      const i32 iValue = pParameter->m_values[0].m_iValue;
      if (s_iDebugLevel != -1 || iValue < 0 || iValue > 13) {
        return 0;
      }
      s_iDebugLevel = iValue + 1;
    } else if (std::strcmp(pName, "-release") == 0) {
      if (s_iDebugLevel != -1) {
        return 0;
      }
      s_iDebugLevel = 0;
    } else if (std::strcmp(pName, "-language") == 0) {
      const i32 iLanguage = getLangIDFromCode(pParameter->m_values[0].m_szText);
      if (s_iLanguage != -1 || iLanguage < 0) {
        return 0;
      }
      s_iLanguage = iLanguage;
    }
  }
  return 1;
}

}  // namespace

void ClCommandParameters::initialize() {
  while (ClCommandParameters::mp_parameterPool.getCount() > 0) {
    ClCommandParameters::mp_parameterPool.free(ClCommandParameters::mp_parameterPool.get(ClCommandParameters::mp_parameterPool.getCount() - 1));
  }
  s_iDebugLevel = -1;
  s_iLanguage = -1;
}

void ClCommandParameters::setDefinitions(const SCommandParameterDefinition* pTable, i32 iCount) {
  KV_ASSERT(pTable);
  KV_ASSERT(iCount >= 0 && iCount <= gc_iCOMMAND_MAX_GAME_DEFINITIONS);
  KvAlignedFree(m_pDefinitions);
  m_pDefinitions = static_cast<SCommandParameterDefinition*>(
      KvAlignedAlloc(sizeof(SCommandParameterDefinition) * gc_iCOMMAND_MAX_GAME_DEFINITIONS, 16));
  KV_ASSERT(m_pDefinitions);
  std::memcpy(m_pDefinitions, pTable, sizeof(SCommandParameterDefinition) * static_cast<size_t>(iCount));
  s_iNumDefinitions = iCount;
}

i32 ClCommandParameters::validate() {
  for (i32 i = 0; i < s_iNumDefinitions; ++i) {
    const SCommandParameterDefinition& definition = m_pDefinitions[i];
    for (const SCommandParameterDefinition& engine : gc_engineDefinitions) {
      if (std::strcmp(engine.m_szName, definition.m_szName) == 0) {
        return 0;
      }
    }
    if (definition.m_uiNumArgs > gc_iCOMMAND_MAX_ARGS ||
        (definition.m_uiNumArgs > 0 && definition.m_eArgType == E_COMMAND_ARG_NONE)) {
      return 0;
    }
  }
  return 1;
}

i32 ClCommandParameters::parse(i32 iArgCount, const char* const* ppArgs) {
  KV_ASSERT(iArgCount <= 0 || ppArgs != nullptr);
  i32 iArg = 1;
  while (iArg < iArgCount) {
    const SCommandParameterDefinition* pDefinition = findDefinition(ppArgs[iArg]);
    if (pDefinition == nullptr) {
      return 0;
    }
    if (ClCommandParameters::mp_parameterPool.isFull()) {
      return 0;  // a fifth parameter: the first four stay
    }
    ++iArg;
    SCommandParameter* pValue = ClCommandParameters::mp_parameterPool.alloc();
    std::memset(pValue, 0, sizeof(*pValue));
    pValue->mp_pDefinition = pDefinition;
    pValue->m_iPoolIndex = ClCommandParameters::mp_parameterPool.getCount() - 1;
    for (i32 i = 0; i < pDefinition->m_uiNumArgs; ++i) {
      if (iArg >= iArgCount) {
        return 0;
      }
      const char* pText = ppArgs[iArg++];
      UCommandArgValue& value = pValue->m_values[i];
      switch (pDefinition->m_eArgType) {
        case E_COMMAND_ARG_INT:
          if (!parseInteger(pText, &value.m_iValue)) {
            return 0;
          }
          break;
        case E_COMMAND_ARG_FLOAT:
          if (!parseFraction(pText, &value.m_fValue)) {
            return 0;
          }
          break;
        case E_COMMAND_ARG_TEXT: {
          const size_t uiLength = std::strlen(pText);
          const size_t uiCopy = uiLength < sizeof(value.m_szText) - 1 ? uiLength : sizeof(value.m_szText) - 1;
          std::memcpy(value.m_szText, pText, uiCopy);
          value.m_szText[uiCopy] = 0;
          break;
        }
        default:
          KV_ASSERT(0);
          return 0;
      }
      pValue->m_iNumArgsRead = i + 1;
    }
  }
  if (!applyEngineParameters()) {
    return 0;
  }
  for (const SCommandParameterDefinition& definition : gc_engineDefinitions) {
    if (definition.m_bRequired && findParameter(definition.m_szName) == nullptr) {
      return 0;
    }
  }
  for (i32 i = 0; i < s_iNumDefinitions; ++i) {
    if (m_pDefinitions[i].m_bRequired && findParameter(m_pDefinitions[i].m_szName) == nullptr) {
      return 0;
    }
  }
  return 1;
}

const SCommandParameter* ClCommandParameters::findParameter(const char* pName) {
  KV_ASSERT(pName);
  for (i32 i = 0; i < ClCommandParameters::mp_parameterPool.getCount(); ++i) {
    const SCommandParameter* pParameter = ClCommandParameters::mp_parameterPool.get(i);
    if (std::strcmp(pParameter->mp_pDefinition->m_szName, pName) == 0) {
      return pParameter;
    }
  }
  return nullptr;
}

i32 ClCommandParameters::getParameterCount() { return ClCommandParameters::mp_parameterPool.getCount(); }

void ClCommandParameters::shutdown() {
  KvAlignedFree(m_pDefinitions);
  m_pDefinitions = nullptr;
  s_iNumDefinitions = 0;
  while (ClCommandParameters::mp_parameterPool.getCount() > 0) {
    ClCommandParameters::mp_parameterPool.free(ClCommandParameters::mp_parameterPool.get(ClCommandParameters::mp_parameterPool.getCount() - 1));
  }
}

i32 ClCommandParameters::getDebugLevel() { return s_iDebugLevel; }

i32 ClCommandParameters::getLanguage() { return s_iLanguage; }

void ClCommandParameters::narrowArgument(const char* pArgument, char* pOut) {
  KV_ASSERT(pArgument);
  KV_ASSERT(pOut);
  const u8* p = reinterpret_cast<const u8*>(pArgument);
  i32 iOut = 0;
  while (*p != 0 && iOut < gc_iCOMMAND_ARGUMENT_LEN) {
    u32 uiCode = *p;
    i32 iMore = 0;
    if (uiCode >= 0xF0 && uiCode <= 0xF4) {
      uiCode &= 0x07;
      iMore = 3;
    } else if (uiCode >= 0xE0 && uiCode <= 0xEF) {
      uiCode &= 0x0F;
      iMore = 2;
    } else if (uiCode >= 0xC2 && uiCode <= 0xDF) {
      uiCode &= 0x1F;
      iMore = 1;
    } else if (uiCode >= 0x80) {
      uiCode = 0xFFFD;  // a stray continuation or an invalid lead byte
    }
    ++p;
    for (i32 i = 0; i < iMore; ++i) {
      if ((*p & 0xC0) != 0x80) {
        uiCode = 0xFFFD;  // cut short: the next byte starts a new character
        break;
      }
      uiCode = (uiCode << 6) | (*p & 0x3F);
      ++p;
    }
    pOut[iOut++] = uiCode < 256 ? static_cast<char>(uiCode) : '_';
  }
  pOut[iOut] = 0;
}
