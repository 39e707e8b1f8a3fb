#include "Platform/Store/StoreConfig.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "Platform/Common/PlatformFiles.h"

namespace {

std::string trim(const std::string& text) {
  const char* pSpace = " \t\r\n";
  const std::size_t uiFirst = text.find_first_not_of(pSpace);
  if (uiFirst == std::string::npos) {
    return "";
  }
  const std::size_t uiLast = text.find_last_not_of(pSpace);
  return text.substr(uiFirst, uiLast - uiFirst + 1);
}

bool parseU64(const std::string& text, std::uint64_t* pValue) {
  if (text.empty() || text[0] < '0' || text[0] > '9') {
    return false;
  }
  errno = 0;
  char* pEnd = nullptr;
  const unsigned long long ull = std::strtoull(text.c_str(), &pEnd, 10);
  if (errno != 0 || *pEnd != '\0') {
    return false;
  }
  *pValue = ull;
  return true;
}

bool parseFlag(const std::string& text, bool* pValue) {
  if (text == "0" || text == "1") {
    *pValue = text == "1";
    return true;
  }
  return false;
}

class ConfigParser {
 public:
  ConfigParser(const std::string& fileName, StoreConfig* pConfig) : m_fileName(fileName), mp_config(pConfig) {}

  bool parse(const std::string& text, std::string* pError) {
    std::istringstream lines(text);
    std::string raw;
    while (std::getline(lines, raw)) {
      ++m_iLine;
      const std::string line = trim(raw);
      if (line.empty() || line[0] == ';' || line[0] == '#') {
        continue;
      }
      const bool bOk = line[0] == '[' ? section(line) : keyValue(line);
      if (!bOk) {
        *pError = m_fileName + ":" + std::to_string(m_iLine) + ": " + m_error;
        return false;
      }
    }
    return true;
  }

 private:
  enum class ESection { None, App, User, Friends, Players, Scores, Leaderboards, Stats, Achievement };

  bool fail(const std::string& what) {
    m_error = what;
    return false;
  }

  bool section(const std::string& line) {
    if (line.back() != ']') {
      return fail("a section line must end with ']': " + line);
    }
    const std::string name = trim(line.substr(1, line.size() - 2));
    static const struct {
      const char* pName;
      ESection eSection;
    } s_sections[] = {{"app", ESection::App},
                      {"user", ESection::User},
                      {"friends", ESection::Friends},
                      {"players", ESection::Players},
                      {"leaderboards", ESection::Leaderboards},
                      {"stats", ESection::Stats}};
    for (const auto& entry : s_sections) {
      if (name == entry.pName) {
        m_eSection = entry.eSection;
        return true;
      }
    }
    const std::string scores = "scores ";
    if (name.rfind(scores, 0) == 0) {
      m_scoresBoard = trim(name.substr(scores.size()));
      if (m_scoresBoard.empty() || m_scoresBoard.size() > gc_uiSTORE_MAX_BOARD_NAME) {
        return fail("leaderboard names have 1 to 128 bytes: " + line);
      }
      m_eSection = ESection::Scores;
      return true;
    }
    const std::string prefix = "achievement ";
    if (name.rfind(prefix, 0) == 0) {
      const std::string apiName = trim(name.substr(prefix.size()));
      if (apiName.empty() || apiName.size() > gc_uiSTORE_MAX_ACHIEVEMENT_NAME) {
        return fail("achievement API names have 1 to 127 bytes: " + line);
      }
      for (const StoreAchievementDef& def : mp_config->achievements) {
        if (def.apiName == apiName) {
          return fail("achievement " + apiName + " is defined twice");
        }
      }
      mp_config->achievements.push_back(StoreAchievementDef{apiName, "", "", false});
      m_eSection = ESection::Achievement;
      return true;
    }
    return fail("unknown section [" + name + "]");
  }

  bool keyValue(const std::string& line) {
    const std::size_t uiEquals = line.find('=');
    if (uiEquals == std::string::npos) {
      return fail("expected 'name = value': " + line);
    }
    const std::string key = trim(line.substr(0, uiEquals));
    const std::string value = trim(line.substr(uiEquals + 1));
    if (key.empty()) {
      return fail("missing name before '=': " + line);
    }
    switch (m_eSection) {
      case ESection::None:
        return fail("'" + key + "' is outside any section");
      case ESection::App:
        return appKey(key, value);
      case ESection::User:
        return userKey(key, value);
      case ESection::Friends:
        return friendKey(key, value, &mp_config->friends, "friend");
      case ESection::Players:
        return friendKey(key, value, &mp_config->players, "player");
      case ESection::Scores:
        return scoreKey(key, value);
      case ESection::Leaderboards:
        return boardKey(key, value);
      case ESection::Stats:
        return statKey(key, value);
      case ESection::Achievement:
        return achievementKey(key, value);
    }
    return fail("unknown section");
  }

  bool appKey(const std::string& key, const std::string& value) {
    if (key == "id") {
      std::uint64_t ulId = 0;
      if (!parseU64(value, &ulId) || ulId == 0 || ulId > 0xFFFFFFu) {
        return fail("app id must be a number from 1 to 16777215: " + value);
      }
      mp_config->appId = AppId_t(ulId);
      return true;
    }
    if (key == "language") {
      if (value.empty()) {
        return fail("language must not be empty");
      }
      mp_config->language = value;
      return true;
    }
    if (key == "create_boards_on_find") {
      return parseFlag(value, &mp_config->bCreateBoardsOnFind) || fail("create_boards_on_find must be 0 or 1");
    }
    return fail("unknown key '" + key + "' in [app]");
  }

  bool userKey(const std::string& key, const std::string& value) {
    if (key == "id") {
      if (!parseU64(value, &mp_config->ulUserId) || mp_config->ulUserId == 0) {
        return fail("user id must be a number other than 0: " + value);
      }
      return true;
    }
    if (key == "name") {
      mp_config->userName = value;
      return true;
    }
    return fail("unknown key '" + key + "' in [user]");
  }

  bool friendKey(const std::string& key, const std::string& value, std::vector<StoreFriend>* pList,
                 const std::string& what) {
    std::uint64_t ulId = 0;
    if (!parseU64(key, &ulId) || ulId == 0) {
      return fail("a " + what + " line is 'id = name' with an id other than 0: " + key);
    }
    for (const StoreFriend& existing : *pList) {
      if (existing.ulId == ulId) {
        return fail(what + " " + key + " is listed twice");
      }
    }
    pList->push_back(StoreFriend{ulId, value});
    return true;
  }

  bool scoreKey(const std::string& key, const std::string& value) {
    std::uint64_t ulId = 0;
    if (!parseU64(key, &ulId) || ulId == 0) {
      return fail("a score line is 'id = score' with an id other than 0: " + key);
    }
    errno = 0;
    char* pEnd = nullptr;
    const long long llScore = std::strtoll(value.c_str(), &pEnd, 10);
    if (value.empty() || errno != 0 || *pEnd != '\0' || llScore < INT32_MIN || llScore > INT32_MAX) {
      return fail("a score is a 32-bit whole number: " + value);
    }
    mp_config->seedScores.push_back(StoreSeedScore{m_scoresBoard, ulId, std::int32_t(llScore)});
    return true;
  }

  bool boardKey(const std::string& key, const std::string& value) {
    if (key != "board") {
      return fail("unknown key '" + key + "' in [leaderboards] (use 'board = NAME')");
    }
    if (value.empty() || value.size() > gc_uiSTORE_MAX_BOARD_NAME) {
      return fail("leaderboard names have 1 to 128 bytes: " + value);
    }
    for (const std::string& existing : mp_config->leaderboards) {
      if (existing == value) {
        return fail("leaderboard " + value + " is listed twice");
      }
    }
    mp_config->leaderboards.push_back(value);
    return true;
  }

  bool statKey(const std::string& key, const std::string& value) {
    EStoreStatType eType;
    if (value == "int") {
      eType = EStoreStatType::Int;
    } else if (value == "float") {
      eType = EStoreStatType::Float;
    } else {
      return fail("statistic " + key + " must be 'int' or 'float'");
    }
    for (const StoreStatDef& existing : mp_config->stats) {
      if (existing.name == key) {
        return fail("statistic " + key + " is defined twice");
      }
    }
    mp_config->stats.push_back(StoreStatDef{key, eType});
    return true;
  }

  bool achievementKey(const std::string& key, const std::string& value) {
    StoreAchievementDef& def = mp_config->achievements.back();
    if (key == "name") {
      def.displayName = value;
    } else if (key == "desc") {
      def.description = value;
    } else if (key == "hidden") {
      return parseFlag(value, &def.bHidden) || fail("hidden must be 0 or 1");
    } else {
      return fail("unknown key '" + key + "' in [achievement " + def.apiName + "]");
    }
    return true;
  }

  std::string m_fileName;
  StoreConfig* mp_config;
  ESection m_eSection = ESection::None;
  std::string m_scoresBoard;
  int m_iLine = 0;
  std::string m_error;
};

}  // namespace

bool StoreParseConfig(const std::string& text, const std::string& fileName, StoreConfig* pConfig,
                      std::string* pError) {
  ConfigParser parser(fileName, pConfig);
  if (!parser.parse(text, pError)) {
    return false;
  }
  for (const StoreFriend& entry : pConfig->friends) {
    if (entry.ulId == pConfig->ulUserId) {
      *pError = fileName + ": friend " + std::to_string(entry.ulId) + " is the user";
      return false;
    }
  }
  return true;
}

bool StoreLoadConfig(const std::string& path, bool bOptional, StoreConfig* pConfig, std::string* pError) {
  std::string text;
  SPlatformFileProblem problem;
  if (!PlatformReadRegularFile(path, gc_uiSTORE_MAX_CONFIG_BYTES, &text, &problem)) {
    if (bOptional && problem.eKind == EPlatformFileProblem::Missing) {
      return true;
    }
    *pError = path + ": cannot read the store configuration (it " + PlatformDescribeFileProblem(problem) + ")";
    return false;
  }
  return StoreParseConfig(text, path, pConfig, pError);
}
