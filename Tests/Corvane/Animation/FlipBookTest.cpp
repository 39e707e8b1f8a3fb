// Flip books: frames found by the hyphen rule up to the first gap, effect companions, anchors, nodes and delays
// read from the script, replacement on reload, refused scripts; the animator's four modes and their timing.
#include <gtest/gtest.h>

#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Animation/ClFlipBookAnimator.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Tests/Corvane/Animation/FlipBookTestFixture.h"

namespace {

u32 imageHash(const SAtlasEntry* pEntry) { return pEntry->mp_pAtlasTexInfo->mp_uiNameHash; }

// The frames shown while updating in steps of dt seconds, each change once.
std::vector<i32> framesShown(ClFlipBookAnimator* pAnimator, f32 fDT, int iSteps) {
  std::vector<i32> shown{pAnimator->getCurrentFrameIndex()};
  for (int i = 0; i < iSteps; ++i) {
    pAnimator->update(fDT);
    if (pAnimator->getCurrentFrameIndex() != shown.back()) shown.push_back(pAnimator->getCurrentFrameIndex());
  }
  return shown;
}

// X-0001..X-0012 and X-0014: twelve frames, the gap at 0013 ends the list; companions where the atlas has them.
TEST_F(FlipBookTest, FramesFollowTheHyphenRuleUpToTheFirstGap) {
  std::vector<std::string> names = frames("X", 12);
  names.push_back("X-0014_216");
  names.push_back("XFX-0002_216");
  names.push_back("XFX-0012_216");
  names.push_back("XFX-0014_216");
  atlas("TexturesGameAtlas", names);
  writeScript("X", "fps = 10");
  EXPECT_EQ(ClFlipBookMgr::countFrames("X", "TexturesGameAtlas"), 12);
  ClFlipBookMgr::loadFlipBook("X", "TexturesGameAtlas", 1.0f);
  const ClFlipBook* pX = ClFlipBookMgr::getFlipBook("X");
  ASSERT_EQ(pX->getNumFrames(), 12);
  EXPECT_EQ(pX->mp_fFramesPerSecond, 10.0f) << "an INT frame rate is converted";
  for (i32 i = 0; i < 12; ++i) {
    EXPECT_EQ(imageHash(pX->mp_daFrames[i].mp_pImage), KvStrHash(frames("X", 1, i + 1)[0].c_str())) << i;
    const bool bCompanion = i == 1 || i == 11;
    ASSERT_EQ(pX->mp_daFrames[i].mp_pEffectImage != nullptr, bCompanion) << i;
    if (bCompanion) {
      EXPECT_EQ(imageHash(pX->mp_daFrames[i].mp_pEffectImage), KvStrHash(i == 1 ? "XFX-0002_216" : "XFX-0012_216"));
    }
  }
  EXPECT_EQ(*ClFlipBookMgr::findByHash(KvStrHash("x")), pX) << "names hash without case";
  EXPECT_EQ(ClFlipBookMgr::findByHash(KvStrHash("Y")), nullptr);
}

// Images named with an underscore give no frames and the fatal error that names the hyphen; so does an atlas
// without the flip book. An atlas that is not loaded is the atlas manager's fatal error.
TEST_F(FlipBookTest, NoFramesIsTheHyphenFatalError) {
  atlas("TexturesGameAtlas", {"X_0001_216", "X_0002_216", "Y-0001_216"});
  writeScript("X", "fps = 10");
  EXPECT_KV_FATAL(ClFlipBookMgr::loadFlipBook("X", "TexturesGameAtlas", 1.0f),
                  "Could not load any images for flipbook file named [X] in atlas [TexturesGameAtlas] (make sure "
                  "animation frames include \"-0001\" etc. HYPHEN, NOT UNDERSCORE!)");
  EXPECT_KV_FATAL(ClFlipBookMgr::loadFlipBook("X", "TexturesUIAtlas", 1.0f), "Atlas file not found [TexturesUIAtlas]");
  EXPECT_EQ(ClFlipBookMgr::findByHash(KvStrHash("X")), nullptr);
}

// An atlas that holds no image at all is what is damaged when a flip book looks for its frames there: the data stop
// names its file.
TEST_F(FlipBookTest, NoFramesInAnAtlasWithoutImagesNamesTheAtlasFile) {
  atlas("EmptyAtlas", {});
  KvStrLCpy(ClAtlasMgr::findAtlas(KvStrHash("EmptyAtlas"))->mp_szFilePath, ".\\Empty\\Empty.atf", KV_MAX_PATH_LEN);
  writeScript("X", "fps = 10");
  EXPECT_KV_FATAL(ClFlipBookMgr::loadFlipBook("X", "EmptyAtlas", 1.0f),
                  "Atlas file [.\\Empty\\Empty.atf] holds no images, while the flip book [X] names its frames in it");
}

// "anchorArray" of 3 on 5 frames: frames 0-2 take its entries, 3 and 4 the default anchor, all times the scale;
// node points are not scaled. A FLOAT frame rate is kept as it is.
TEST_F(FlipBookTest, AnchorsAreScaledPerFrameAndNodePointsAreNot) {
  const ClFlipBook* pBook = flipBook("Walk", 5, R"(
    fps = 12.5
    anchor = [1.0, 2.0]
    anchorArray = [[10.0, 20.0], [11.0, 21.0], [12.0, 22.0]]
    nodes = {
      Hand = { positions = [[0, [3.0, 4.0]], [4, [5.0, -6.0]]] }
      Foot = { positions = [] }
    })",
                                    2.0f);
  EXPECT_EQ(pBook->mp_fFramesPerSecond, 12.5f);
  const f32 aExpected[5][2] = {{20, 40}, {22, 42}, {24, 44}, {2, 4}, {2, 4}};
  for (i32 i = 0; i < 5; ++i) {
    EXPECT_EQ(pBook->mp_daFrames[i].mp_fAnchorX, aExpected[i][0]) << i;
    EXPECT_EQ(pBook->mp_daFrames[i].mp_fAnchorY, aExpected[i][1]) << i;
  }
  ASSERT_EQ(pBook->mp_daNodes.getCount(), 2);
  EXPECT_STREQ(pBook->mp_daNodes[0].mp_szName, "Hand");
  EXPECT_STREQ(pBook->mp_daNodes[1].mp_szName, "Foot");
  EXPECT_EQ(pBook->mp_daNodes[1].mp_daPositions.getCount(), 0);
  const ClDynamicVector<SFlipBookNodePosition>& hand = pBook->mp_daNodes[0].mp_daPositions;
  ASSERT_EQ(hand.getCount(), 2);
  EXPECT_EQ(hand[1].mp_iFrame, 4);
  EXPECT_EQ(hand[1].mp_fX, 5.0f);
  EXPECT_EQ(hand[1].mp_fY, -6.0f);
  // Without "anchor" the default is the origin; an "anchorArray" longer than the frames is read only as far as
  // the frames go.
  const ClFlipBook* pPlain = flipBook("Plain", 2, "fps = 5\nanchorArray = [[1.0, 1.0], [2.0, 2.0], [3.0, 3.0]]");
  EXPECT_EQ(pPlain->mp_daFrames[1].mp_fAnchorX, 2.0f);
  const ClFlipBook* pOrigin = flipBook("Origin", 1, "fps = 5");
  EXPECT_EQ(pOrigin->mp_daFrames[0].mp_fAnchorX, 0.0f);
  EXPECT_EQ(pOrigin->mp_daFrames[0].mp_fAnchorY, 0.0f);
}

// A loop of 4 frames at 10 frames per second updated once by 0.35 s shows frame 3 with 0.05 s left.
TEST_F(FlipBookTest, ALongStepSkipsFrames) {
  ClFlipBookAnimator animator;
  animator.start(flipBook("Loop", 4, "fps = 10"), E_FLIPBOOK_MODE_LOOP, true);
  EXPECT_EQ(animator.m_bPlaying, 1);
  EXPECT_FLOAT_EQ(animator.m_fTimeLeft, 0.1f);
  animator.update(0.35f);
  EXPECT_EQ(animator.getCurrentFrameIndex(), 3);
  EXPECT_NEAR(animator.m_fTimeLeft, 0.05f, 1e-6f);
  EXPECT_FLOAT_EQ(animator.m_fElapsed, 0.35f);
  EXPECT_EQ(animator.getCurFrame(), animator.getFlipBook()->mp_daFrames.at(3));
  animator.update(0.1f);
  EXPECT_EQ(animator.getCurrentFrameIndex(), 0) << "wrapped";
  // A frame whose time left comes to exactly 0 stays.
  ClFlipBookAnimator exact;
  exact.start(flipBook("Quarter", 2, "fps = 4"), E_FLIPBOOK_MODE_LOOP, true);
  exact.update(0.25f);
  EXPECT_EQ(exact.getCurrentFrameIndex(), 0);
  EXPECT_EQ(exact.m_fTimeLeft, 0.0f);
}

// "frame_delays" [[2, 0.5]] at 10 frames per second: frame 2 shows 0.5 s, the others 0.1 s; a delay of 0 means
// the frame time.
TEST_F(FlipBookTest, FrameDelaysSetTheDisplayTimeOfSingleFrames) {
  ClFlipBook* pBook = flipBook("Delay", 4, "fps = 10\nframe_delays = [[2, 0.5], [1, 0.0], [2, 0.9]]");
  EXPECT_EQ(pBook->getFrameDelay(2), 0.5f) << "the first entry for a frame counts";
  EXPECT_EQ(pBook->getFrameDelay(0), 0.0f);
  ClFlipBookAnimator animator;
  animator.start(pBook, E_FLIPBOOK_MODE_ONCE, true);
  animator.update(0.25f);  // frames 0 and 1 take 0.1 s each
  ASSERT_EQ(animator.getCurrentFrameIndex(), 2);
  EXPECT_NEAR(animator.m_fTimeLeft, 0.45f, 1e-6f);
  animator.update(0.44f);
  EXPECT_EQ(animator.getCurrentFrameIndex(), 2);
  animator.update(0.02f);
  EXPECT_EQ(animator.getCurrentFrameIndex(), 3);
  EXPECT_NEAR(animator.m_fTimeLeft, 0.09f, 1e-6f);
  // Started on the delayed frame (backward from the end of a 3-frame book), its delay is the first time left.
  ClFlipBookAnimator backward;
  backward.start(flipBook("Back", 3, "fps = 10\nframe_delays = [[2, 0.5]]"), E_FLIPBOOK_MODE_ONCE, false);
  EXPECT_EQ(backward.getCurrentFrameIndex(), 2);
  EXPECT_FLOAT_EQ(backward.m_fTimeLeft, 0.5f);
}

// Hold shows its frame and stops at the first update; once ends on the last frame reached and stays there.
TEST_F(FlipBookTest, HoldAndOnceEndAndKeepTheirFrame) {
  ClFlipBook* pBook = flipBook("Once", 3, "fps = 10");
  ClFlipBookAnimator hold;
  hold.start(pBook, E_FLIPBOOK_MODE_HOLD, true);
  hold.update(5.0f);
  EXPECT_EQ(hold.m_bPlaying, 0);
  EXPECT_EQ(hold.getCurrentFrameIndex(), 0);

  ClFlipBookAnimator once;
  once.start(pBook, E_FLIPBOOK_MODE_ONCE, true);
  EXPECT_EQ(framesShown(&once, 0.03f, 100), (std::vector<i32>{0, 1, 2}));
  EXPECT_EQ(once.m_bPlaying, 0);
  const f32 fElapsed = once.m_fElapsed;
  once.update(1.0f);
  EXPECT_EQ(once.getCurrentFrameIndex(), 2);
  EXPECT_EQ(once.m_fElapsed, fElapsed) << "a finished animator does not move";
  EXPECT_EQ(once.getCurFrame(), pBook->mp_daFrames.at(2));

  ClFlipBookAnimator backward;
  backward.start(pBook, E_FLIPBOOK_MODE_ONCE, false);
  EXPECT_EQ(framesShown(&backward, 0.03f, 100), (std::vector<i32>{2, 1, 0}));
  EXPECT_EQ(backward.m_bPlaying, 0);
}

// Ping-pong over 3 frames: 0, 1, 2, 1, 0, 1, 2 and on, never ending; over 2 frames 0, 1, 0, 1; over a single
// frame it stays on frame 0.
TEST_F(FlipBookTest, PingPongTurnsAtBothEnds) {
  ClFlipBookAnimator three;
  three.start(flipBook("Three", 3, "fps = 10"), E_FLIPBOOK_MODE_PINGPONG, true);
  EXPECT_EQ(framesShown(&three, 0.03f, 21), (std::vector<i32>{0, 1, 2, 1, 0, 1, 2}));
  EXPECT_EQ(three.m_bPlaying, 1);
  ClFlipBookAnimator two;
  two.start(flipBook("Two", 2, "fps = 10"), E_FLIPBOOK_MODE_PINGPONG, true);
  EXPECT_EQ(framesShown(&two, 0.03f, 14), (std::vector<i32>{0, 1, 0, 1, 0}));
  ClFlipBookAnimator one;
  one.start(flipBook("One", 1, "fps = 10"), E_FLIPBOOK_MODE_PINGPONG, true);
  EXPECT_EQ(framesShown(&one, 0.07f, 50), (std::vector<i32>{0}));
  EXPECT_EQ(one.m_bPlaying, 1);
}

// A loop wraps until a stop-at-end request is pending; then it ends on its last frame.
TEST_F(FlipBookTest, ALoopWithAStopRequestEndsOnItsLastFrame) {
  ClFlipBookAnimator loop;
  loop.start(flipBook("Loop", 4, "fps = 10"), E_FLIPBOOK_MODE_LOOP, true);
  EXPECT_EQ(framesShown(&loop, 0.03f, 20), (std::vector<i32>{0, 1, 2, 3, 0, 1}));
  loop.m_bStopAtEnd = 1;
  loop.update(10.0f);
  EXPECT_EQ(loop.getCurrentFrameIndex(), 3);
  EXPECT_EQ(loop.m_bPlaying, 0);
  // A new start clears the request.
  loop.start(loop.getFlipBook(), E_FLIPBOOK_MODE_LOOP, true);
  EXPECT_EQ(loop.m_bStopAtEnd, 0);
  loop.update(0.45f);
  EXPECT_EQ(loop.getCurrentFrameIndex(), 0);
  EXPECT_EQ(loop.m_bPlaying, 1);
}

// Loading a name again replaces the flip book stored under it (the old one is freed).
TEST_F(FlipBookTest, LoadingTwiceKeepsTheSecond) {
  const ClFlipBook* pFirst = flipBook("Twice", 2, "fps = 10\nanchor = [1.0, 1.0]");
  EXPECT_EQ(pFirst->mp_daFrames[0].mp_fAnchorX, 1.0f);
  ClFlipBookMgr::loadFlipBook("TWICE", "TwiceAtlas", 3.0f);
  const ClFlipBook* pSecond = ClFlipBookMgr::getFlipBook("Twice");
  EXPECT_EQ(pSecond->mp_daFrames[0].mp_fAnchorX, 3.0f);
  i32 iStored = 0;
  ClFlipBookMgr::mp_flipBookTable.forEach([&](u32, ClFlipBook*) { ++iStored; });
  EXPECT_EQ(iStored, 1);
}

// Every value the loader reads is checked first: a script that fails stops the load with a report naming the
// flip book and its script, and nothing is stored (nor leaked).
TEST_F(FlipBookTest, BadScriptsAreRefusedNamingTheScript) {
  atlas("BadAtlas", frames("Bad", 3));
  struct SCase {
    const char* pScript;
    u32 uiStop;
    const char* pText;
  };
  const SCase aCases[] = {
      {"anchor = [1.0, 2.0]", gc_uiSTOP_FATAL, "getChild() could not find child [fps]"},
      {"fps = \"ten\"", gc_uiSTOP_ASSERTION, "\"fps\": mp_eValueType == E_DSVT_FLOAT || mp_eValueType == E_DSVT_INT"},
      {"fps = 0", gc_uiSTOP_FATAL, "\"fps\": [0] frames per second: must be above 0"},
      {"fps = -12.5", gc_uiSTOP_FATAL, "\"fps\": [-12.5] frames per second"},
      {"fps = 100000", gc_uiSTOP_FATAL, "at most 1000"},
      {"fps = 10\nanchor = [1, 2.0]", gc_uiSTOP_ASSERTION, "\"anchor\": mp_eValueType == E_DSVT_FLOAT"},
      {"fps = 10\nanchor = [1.0]", gc_uiSTOP_ASSERTION, "iIndex >= 0 && iIndex < mp_Children.getCount()"},
      {"fps = 10\nanchor = 1.0", gc_uiSTOP_ASSERTION, "\"anchor\": mp_eValueType == E_DSVT_ARRAY"},
      {"fps = 10\nanchorArray = [[1.0, 1.0], [2.0]]", gc_uiSTOP_ASSERTION, "\"anchorArray\"[1]: iIndex >= 0"},
      {"fps = 10\nframe_delays = [[2, -0.1]]", gc_uiSTOP_FATAL, "\"frame_delays\"[0]: a frame delay of [-0.1] s: must not be negative"},
      {"fps = 10\nframe_delays = [[2, 0.0001]]", gc_uiSTOP_FATAL, "must be 0 (the frame time) or at least 0.001 s"},
      {"fps = 10\nframe_delays = [[2, 1]]", gc_uiSTOP_ASSERTION, "mp_eValueType == E_DSVT_FLOAT"},
      {"fps = 10\nframe_delays = [[2.0, 1.0]]", gc_uiSTOP_ASSERTION, "mp_eValueType == E_DSVT_INT"},
      {"fps = 10\nframe_delays = [2]", gc_uiSTOP_ASSERTION, "mp_eValueType == E_DSVT_ARRAY"},
      {"fps = 10\nnodes = { Hand = { where = 1 } }", gc_uiSTOP_FATAL,
       "\"nodes\"[0] \"Hand\": getChild() could not find child [positions] inside array object [Hand]"},
      {"fps = 10\nnodes = { Hand = 3 }", gc_uiSTOP_ASSERTION, "\"nodes\"[0] \"Hand\": mp_eValueType == E_DSVT_ARRAY"},
      {"fps = 10\nnodes = { Hand = { positions = [[0]] } }", gc_uiSTOP_ASSERTION,
       "\"nodes\"[0] \"Hand\" \"positions\"[0]: iIndex >= 0 && iIndex < mp_Children.getCount()"},
      {"fps = 10\nnodes = { Hand = { positions = [[0, [1.0, 2]]] } }", gc_uiSTOP_ASSERTION, "mp_eValueType == E_DSVT_FLOAT"},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pScript);
    writeScript("Bad", c.pScript);
    ClDScriptMgr2::terminate();  // the manager caches scripts: start afresh for each
    ClDScriptMgr2::initialize();
    EXPECT_KV_STOP_AT(ClFlipBookMgr::loadFlipBook("Bad", "BadAtlas", 1.0f), c.pText, c.uiStop);
    EXPECT_KV_STOP_AT(ClFlipBookMgr::loadFlipBook("Bad", "BadAtlas", 1.0f), "Flipbook [Bad] (AnimationsGame\\Bad.kds) ",
                      c.uiStop);
    EXPECT_EQ(ClFlipBookMgr::findByHash(KvStrHash("Bad")), nullptr);
  }
  // Containers that are not arrays hold nothing, as the script tree counts them; an "anchorArray" entry past the
  // last frame is not read.
  writeScript("Bad", "fps = 10\nnodes = 1\nframe_delays = 2\nanchorArray = [[1.0, 1.0], [2.0, 2.0], [3.0, 3.0], 4]");
  ClDScriptMgr2::terminate();
  ClDScriptMgr2::initialize();
  ClFlipBookMgr::loadFlipBook("Bad", "BadAtlas", 1.0f);
  EXPECT_EQ(ClFlipBookMgr::getFlipBook("Bad")->mp_daNodes.getCount(), 0);
  // A script that cannot be read at all.
  std::ofstream("AnimationsGame/Broken.kds", std::ios::binary) << "not a script";
  atlas("BrokenAtlas", frames("Broken", 1));
  testing::internal::CaptureStderr();
  EXPECT_KV_FATAL(ClFlipBookMgr::loadFlipBook("Broken", "BrokenAtlas", 1.0f),
                  "Could not load anim data for flipbook [Broken]");
  testing::internal::GetCapturedStderr();
  EXPECT_KV_FATAL(ClFlipBookMgr::loadFlipBook("Missing", "BrokenAtlas", 1.0f), "Could not open script data file at");
}

// The reports of misuse, and the manager's life: initialised once, usable only then, terminated any time.
TEST_F(FlipBookTest, MisuseIsReported) {
  ClFlipBook* pBook = flipBook("Use", 4, "fps = 10");
  EXPECT_KV_FATAL(ClFlipBookMgr::getFlipBook("Nope"),
                  "Flipbook [Nope] asked for, but not loaded: its animation script [AnimationsGame\\Nope.kds]");
  ClFlipBookAnimator idle;
  EXPECT_EQ(idle.getFlipBook(), nullptr);
  EXPECT_KV_ASSERT(idle.getCurFrame(), "m_pFlipBook");
  EXPECT_KV_ASSERT(idle.getNumFrames(), "m_pFlipBook");
  EXPECT_KV_ASSERT(idle.getCurrentFrameIndex(), "m_pFlipBook");
  idle.update(1.0f);  // nothing happens without a mode
  EXPECT_KV_ASSERT(idle.start(nullptr, E_FLIPBOOK_MODE_LOOP, true), "pFB");
  ClFlipBookAnimator backLoop;
  backLoop.start(pBook, E_FLIPBOOK_MODE_LOOP, false);
  EXPECT_KV_ASSERT(backLoop.update(0.2f), "m_bPlayingForward");
  ClFlipBookAnimator odd;
  odd.start(pBook, 7, true);
  EXPECT_KV_FATAL(odd.update(0.2f), "Unhandled case");
  ClFlipBookAnimator set;
  set.start(pBook, E_FLIPBOOK_MODE_HOLD, true);
  set.setCurrentFrameIndex(3);
  EXPECT_EQ(set.getCurFrame(), pBook->mp_daFrames.at(3));
  EXPECT_EQ(set.getNumFrames(), 4);
  EXPECT_KV_ASSERT(set.setCurrentFrameIndex(4), "iNumFrame < getNumFrames()");

  EXPECT_KV_ASSERT(ClFlipBookMgr::initialize(), "!mp_bIsValid");
  ClFlipBookMgr::terminate();
  EXPECT_FALSE(ClFlipBookMgr::isInitialized());
  ClFlipBookMgr::terminate();  // a second time does nothing
  EXPECT_KV_ASSERT(ClFlipBookMgr::loadFlipBook("Use", "UseAtlas", 1.0f), "mp_bIsValid");
  EXPECT_KV_ASSERT(ClFlipBookMgr::findByHash(KvStrHash("Use")), "mp_bIsValid");
  ClFlipBookMgr::initialize();
  EXPECT_TRUE(ClFlipBookMgr::isInitialized());
  EXPECT_EQ(ClFlipBookMgr::findByHash(KvStrHash("Use")), nullptr);
}

}  // namespace
