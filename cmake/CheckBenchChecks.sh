#!/usr/bin/env bash
# Shows that the checks of the like-for-like benchmark pairs can fail: each pair runs once as it is (both sides must
# finish without an error, and the program exit 0), then once for every step its sides can leave out
# (GRINDLOW_BENCH_SKIP, see Bench/BenchSkip.h), where that side must stop with an error and the program exit 1. The
# programs get a virtual X server of their own of the game's size (cmake/StartXvfb.sh, as scripts/bench.sh gives
# them).
#   CheckBenchChecks.sh <folder of the bench_* programs>
# GRINDLOW_BENCH_CHECKS_ONLY=<regular expression> runs only the pairs whose case it matches (e.g. "^Upload").
set -euo pipefail
if [[ $# -ne 1 || ! -d "$1" ]]; then
  echo "usage: CheckBenchChecks.sh <folder of the bench_* programs>" >&2
  exit 2
fi
bench_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-checks.XXXXXX")
# shellcheck source=cmake/StartXvfb.sh
source "$(dirname "$0")/StartXvfb.sh"
trap 'stop_xvfb; rm -rf "$work"' EXIT
if ! start_xvfb "$work/xvfb.log"; then
  echo "$xvfb_error"
  exit 1
fi
export DISPLAY=$xvfb_display
# The board benchmark fills its million-entry boards once and copies them in every later run.
export GRINDLOW_BENCH_BOARDS_KEPT=$work/boards
unset SDL_VIDEODRIVER

# program, case, then per side the steps it can leave out; "step@arg" runs only the case's runs whose names go on with
# that argument, a regular expression (e.g. "pitch@pitch:1", "everysecond@1000$"). A case's runs are named
# BM_<Side>_<case>, with or without a suffix after a "/". A step "everysecond" leaves its work out of every second
# iteration (Bench/BenchSkip.h): it runs each benchmark for 0.5 s, so that one whose iterations are shorter runs two;
# "repeat" and "middle" do too, so that a slow frame's run holds a third iteration and one that is neither the first
# nor the last.
pairs=(
  "WorldBench WorldFrame200 engine:update,draw,everysecond,partial,repeat,replay,middle baseline:reactions,draw,everysecond,partial,repeat,replay,middle"
  "SpriteBench UIFrame engine:tick,oneupdate,sort,everysecond,partial,repeat,middle baseline:tick,oneupdate,sort,everysecond,partial,repeat,middle"
  "SpriteBench AnimWidgets engine:render,sort,everysecond,partial,repeat,middle baseline:advance,oneupdate,sort,everysecond,partial,repeat,middle"
  "SpriteBench TexturedQuads engine:sprites,everysecond,partial,repeat,replay baseline:copy,everysecond,partial,repeat,replay"
  "SpriteBench SpriteJobs engine:build,everysecond,partial,repeat,replay,middle baseline:billboards,lines,everysecond,partial,repeat,replay,middle"
  "GraphicsBench ClearPresentFrame engine:handover,everysecond,partial,repeat,middle baseline:render,everysecond,partial,repeat,middle"
  "GraphicsBench HandOver engine:handover,everysecond baseline:wait,everysecond"
  "UIBench MainMenuFrameOverQuadWrite engine:update,oneupdate,sort,everysecond,partial,repeat,replay,middle baseline:elements,everysecond,partial,repeat,replay,middle"
  "FrameBench FrameBloomCRTPasses engine:scene,crt,everysecond,partial,repeat,middle baseline:blur,add,crt,everysecond,partial,repeat,middle"
  "FrameBench FrameActionLevel engine:update,everysecond,repeat baseline:fights,draw,everysecond,partial,repeat"
  "FrameBench FramePreLoadPlainCopy engine:frame,everysecond,partial,repeat,middle baseline:draw,everysecond,partial,repeat,middle"
  "FrameBench FrameBloomCRT engine:frame,everysecond,partial,repeat,middle baseline:draw,everysecond,partial,repeat,middle"
  "PlayerBench PlayerDragonBusiestSecond engine:update,draw,gore,goreupdate,everysecond,partial,repeat,replay,middle baseline:hits,gibs,everysecond,partial"
  "PlayerBench PlayerStreetWave engine:update,draw,gore,goreupdate,everysecond,partial,repeat,middle baseline:fights,draw,gibs,blood,everysecond"
  "StartUpBench StartUpToFrontEndFloor engine:frames,everysecond baseline:images,sounds,bytes,frame,everysecond"
  "VideoBench DecodeConvertUpload720p engine:connect,everysecond,repeat baseline:upload,everysecond,repeat"
  "AudioBench Mix64Voices engine:volume,pan,pitch@pitch:1,everysecond,partial,repeat,replay,middle baseline:volume,pan,pitch@pitch:1,everysecond,partial,repeat,replay,middle"
  "AudioBench Mix64VoicesSdlMixer engine:volume,pan,everysecond,partial,repeat,replay,middle baseline:volume,pan,everysecond,partial,repeat,replay,middle"
  "ArchiveBench PlainRead engine:read,everysecond,partial,repeat,middle baseline:read,everysecond,partial,repeat,middle"
  "ArchiveBench CompressedRead engine:read,everysecond,partial,repeat,middle baseline:inflate,everysecond,partial,repeat,middle"
  "ArchiveBench EncryptedRead engine:read,everysecond,partial,repeat,middle baseline:decrypt,everysecond,partial,repeat,middle"
  "ArchiveBench CompressedEncryptedRead engine:read,everysecond,partial,repeat,middle baseline:decrypt,inflate,everysecond,partial,repeat,middle"
  "ArchiveBench PathLookup engine:lookups,everysecond,partial,repeat,replay,middle baseline:lookups,root,everysecond,partial,repeat,replay,middle"
  "HashBench NameHash engine:names,everysecond,partial,repeat,replay,middle baseline:names,fold,everysecond,partial,repeat,replay,middle"
  "HashBench SimpleHashTableFind engine:probes,everysecond,partial,repeat,replay,middle baseline:probes,everysecond,partial,repeat,replay,middle"
  "HashBench DynamicHashTableFind engine:probes,everysecond,partial,repeat,replay,middle baseline:probes,everysecond,partial,repeat,replay,middle"
  "KdsBench KdsLoad engine:build,free,everysecond@1000$,partial@1000$,repeat@1000$,replay@1000$ baseline:names,free,everysecond@1000$,partial@1000$,repeat@1000$,replay@1000$"
  "KdsBench KdsLoadJson engine:build,free,everysecond@1000$,partial@1000$,repeat@1000$,replay@1000$ baseline:floats,everysecond@1000$,partial@1000$,repeat@1000$,replay@1000$"
  "LeaderboardBench Upload engine:callbacks,everysecond,partial,repeat,replay,middle baseline:update,previous,everysecond@board:3,partial,repeat@board:3,replay@board:3,middle"
  "LeaderboardBench UploadSortedArray engine:everysecond,partial,repeat,replay,middle baseline:previous,insert,everysecond,partial,repeat,replay,middle"
  "LeaderboardBench AroundUser engine:entries,everysecond,partial,repeat,replay,middle baseline:rank,before@board:2,after,everysecond@board:3,partial,repeat@board:3,replay@board:3,middle"
  "LeaderboardBench AroundUserSortedArray engine:everysecond,partial,repeat,replay,middle baseline:rank,entries,everysecond,partial,repeat,replay,middle"
  "LeaderboardBench RankLookup engine:entries,everysecond,partial,middle baseline:rank,everysecond@board:0,partial,middle"
  "LeaderboardBench RankLookupSortedArray engine:everysecond,partial,middle baseline:rank,entries,everysecond,partial,middle"
  "LeaderboardBench PageDown engine:entries,everysecond,partial,repeat,replay,middle baseline:entries,everysecond,partial,middle"
  "LeaderboardBench PageDownSortedArray engine:everysecond,partial,repeat,replay,middle baseline:entries,everysecond,partial,repeat,replay,middle"
  "RandomBench RandomWord engine:words,everysecond,partial,repeat,replay,middle baseline:words,everysecond,partial,repeat,replay,middle"
  "JobBench Job1000Tasks engine:tasks,everysecond,partial,repeat,replay,middle baseline:tasks,everysecond,partial,repeat,replay,middle"
  "GridBench GridMove engine:focus,forward,everysecond,partial,repeat,replay,middle baseline:hidden,disabled,everysecond,partial,repeat,replay,middle"
  "UIBench UILoad engine:load,everysecond,partial,repeat,replay,middle baseline:properties,free,everysecond,partial,repeat,replay,middle"
  "UIBench UILoadJson engine:load,everysecond,partial,repeat,replay,middle baseline:floats,everysecond,partial,replay,middle"
  "UIBench EventDispatch engine:events,everysecond,partial,repeat,replay,middle baseline:events,calls,everysecond,partial,repeat,replay,middle"
  "TextBench ParagraphLayout engine:queue,free,clear,everysecond,partial,repeat,replay,middle baseline:kerning,everysecond,partial,repeat,replay,middle"
  "TextBench GlyphFrames engine:queue,draw,everysecond,partial,repeat baseline:draw,everysecond,partial,repeat"
  "CanvasBench SpriteSort engine:keys,sort,everysecond,partial,repeat,replay,middle baseline:keys,sort,everysecond,partial,repeat,replay,middle"
  "CanvasBench SpriteSortSameKeys engine:sort,everysecond,partial,middle baseline:copy,everysecond,partial,middle"
  "GraphicsAssetsBench AtlasTextures engine:unload,everysecond,partial,middle baseline:upload,everysecond,partial,middle"
  "GraphicsAssetsBench AtlasLookup engine:lookups,everysecond,partial,repeat,replay,middle baseline:lookups,everysecond,partial,repeat,replay,middle"
  "GraphicsAssetsBench AtlasLookupByHash engine:lookups,everysecond,partial,repeat,replay,middle baseline:lookups,everysecond,partial,repeat,replay,middle"
  "GraphicsAssetsBench SignatureFrame engine:signatures,everysecond,partial,repeat,middle baseline:textures,programs,everysecond,partial,repeat,middle"
  "AudioBench PlayToFirstSample engine:cue,update,everysecond,partial,middle baseline:play,everysecond,partial,middle"
  "CatFPSBench CatFPSStageFrame engine:enemies,bullets,gore,street,everysecond,places,partial,repeat,replay,middle baseline:enemies,bullets,gore,street,everysecond,places,partial,repeat,replay,middle"
)

problems=0
# Runs the benchmarks of one program that match the filter, once each for at least the minimum time (seconds; 0.01
# unless given), with the steps left out (5 minutes at most); prints how many ran, how many of them reported an
# error, and the program's exit status. The steps "everysecond" and "repeat" get half a second, so that a frame of a
# quarter second still runs with another (and a third, for "repeat", when it is shorter).
run() {
  local program=$1 filter=$2 skip=$3 min_time=${4:-0.01} json="$work/out.json" status=0
  rm -f "$json"
  GRINDLOW_BENCH_SKIP="$skip" timeout 300 "$bench_dir/bench_$program" --benchmark_filter="$filter" --benchmark_repetitions=1 \
    --benchmark_min_time="$min_time" --benchmark_out="$json" --benchmark_out_format=json >"$work/log" 2>&1 ||
    status=$?
  local ran=0 failed=0
  if [[ -f "$json" ]]; then
    ran=$(grep -c '"run_type": "iteration"' "$json" || true)
    failed=$(grep -c '"error_occurred": true' "$json" || true)
  fi
  echo "$ran $failed $status"
}

for pair in "${pairs[@]}"; do
  read -r program case sides <<<"$pair"
  [[ -n ${GRINDLOW_BENCH_CHECKS_ONLY:-} && ! $case =~ $GRINDLOW_BENCH_CHECKS_ONLY ]] && continue
  echo "$case ($SECONDS s)"
  # Each side runs once, or once for each of its arguments.
  read -r ran failed status <<<"$(run "$program" "^BM_(Engine|Baseline)_${case}(/|\$)" "")"
  if [[ $ran -lt 2 || $((ran % 2)) -ne 0 || $failed -ne 0 || $status -ne 0 ]]; then
    echo "$case: $ran runs of the two sides, $failed with an error, exit status $status: $(tail -c 600 "$work/log")"
    problems=$((problems + 1))
  fi
  for side_steps in $sides; do
    side=${side_steps%%:*}
    Side=${side^}
    IFS=, read -r -a steps <<<"${side_steps#*:}"
    for step in "${steps[@]}"; do
      filter="^BM_${Side}_${case}(/|\$)"
      [[ $step == *@* ]] && filter="^BM_${Side}_${case}/${step#*@}"
      step=${step%%@*}
      min_time=0.01
      [[ $step == everysecond || $step == repeat || $step == middle ]] && min_time=0.5
      read -r ran failed status <<<"$(run "$program" "$filter" "$case.$side.$step" "$min_time")"
      # A program whose check failed exits 1, having run to its end.
      if [[ $ran -lt 1 || $failed -ne $ran || $status -ne 1 ]]; then
        echo "$case.$side.$step: the $side side's check did not fail without that step ($ran ran, $failed errors," \
          "exit status $status)"
        problems=$((problems + 1))
      fi
    done
  done
done
if [[ $problems -ne 0 ]]; then
  echo "$problems problem(s)"
  exit 1
fi
echo "every pair passes as it is and fails each step left out"
