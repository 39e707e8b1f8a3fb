// The fixture of the flip-book and texture-animation tests: a fresh folder as the data root with the file layer,
// the data-script and flip-book managers started, flip-book scripts compiled from text into "AnimationsGame\",
// and atlases registered without texture pages.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <list>
#include <string>
#include <vector>

#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/System/ClClock.h"
#include "Tests/Support/FlipBookTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tools/kdsc/KdsSource.h"

class FlipBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    KvTestStartFileIO();
    ClDScriptMgr2::initialize();
    ClFlipBookMgr::initialize();
    for (SClockFrame& clock : ClClock::m_aClockFrames) {
      clock.m_fFrameTime = 0.0f;
    }
  }

  void TearDown() override {
    ClFlipBookMgr::terminate();
    ClAtlasMgr::terminate();
    ClDScriptMgr2::terminate();
    KvTestStopFileIO();
    std::filesystem::current_path(m_previous);
  }

  // Compiles the script text into "AnimationsGame/<name>.kds".
  static void writeScript(const std::string& name, const std::string& text) {
    SKdsSourceNode root;
    std::string error;
    ASSERT_TRUE(KdsParseSource(text, name + ".kdt", &root, &error)) << error;
    const std::vector<uint8_t> image = KdsWriteImage(root);
    std::filesystem::create_directories("AnimationsGame");
    std::ofstream("AnimationsGame/" + name + ".kds", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }

  // Registers an atlas holding the named images.
  void atlas(const char* pKey, const std::vector<std::string>& names) {
    m_atlases.emplace_back();
    KvTestRegisterAtlas(pKey, names, &m_atlases.back());
  }

  // "<name>-0001_216" .. "<name>-<count>_216".
  static std::vector<std::string> frames(const std::string& name, int iCount, int iFirst = 1) {
    std::vector<std::string> names;
    for (int i = iFirst; i < iFirst + iCount; ++i) {
      char szNumber[32];
      std::snprintf(szNumber, sizeof(szNumber), "-%04d_216", i);
      names.push_back(name + szNumber);
    }
    return names;
  }

  // A flip book of iFrames frames in its own atlas, loaded from the script text.
  ClFlipBook* flipBook(const std::string& name, int iFrames, const std::string& script, f32 fScale = 1.0f) {
    const std::string key = name + "Atlas";
    atlas(key.c_str(), frames(name, iFrames));
    writeScript(name, script);
    ClFlipBookMgr::loadFlipBook(name.c_str(), key.c_str(), fScale);
    return ClFlipBookMgr::getFlipBook(name.c_str());
  }

  static void setClock(u32 uiClock, f32 fFrameTime) { ClClock::m_aClockFrames[uiClock].m_fFrameTime = fFrameTime; }

  std::list<STestAtlas> m_atlases;
  std::filesystem::path m_previous;
};
