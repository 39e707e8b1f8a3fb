#!/usr/bin/env bash
# Shows that the checks of the like-for-like benchmark pairs can fail: each pair runs once as it is (both sides must
# finish without an error), then once for every step its sides can leave out (GRINDLOW_BENCH_SKIP, see
# Bench/BenchSkip.h), where that side must stop with an error. The programs get a virtual X server of their own of
# the game's size (cmake/StartXvfb.sh, as scripts/bench.sh gives them).
#   CheckBenchChecks.sh <folder of the bench_* programs>
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
unset SDL_VIDEODRIVER

# program, case, then per side the steps it can leave out; "step@arg" runs only the case's runs of that argument
# (e.g. "pitch@pitch:1"). A case's runs are named BM_<Side>_<case>, with or without a suffix after a "/".
pairs=(
  "WorldBench WorldFrame200 engine:update,draw,everysecond baseline:reactions,draw,everysecond"
  "SpriteBench UIFrame engine:tick,sort,everysecond baseline:tick,sort,everysecond"
  "SpriteBench AnimWidgets engine:render,sort,everysecond baseline:advance,sort,everysecond"
  "SpriteBench TexturedQuads engine:sprites,everysecond baseline:copy,everysecond"
  "SpriteBench SpriteJobs engine:build,everysecond baseline:billboards,lines,everysecond"
  "GraphicsBench ClearPresentFrame engine:handover,everysecond baseline:render,everysecond"
  "GraphicsBench HandOver engine:handover,everysecond baseline:wait,everysecond"
  "UIBench MainMenuFrameOverQuadWrite engine:update,sort baseline:elements"
  "FrameBench FrameBloomCRTPasses engine:scene,crt,everysecond baseline:blur,add,crt,everysecond"
  "FrameBench FrameActionLevel engine:update,everysecond baseline:fights,draw,everysecond"
  "FrameBench FramePreLoadPlainCopy engine:frame,everysecond baseline:draw,everysecond"
  "FrameBench FrameBloomCRT engine:frame,everysecond baseline:draw,everysecond"
  "PlayerBench PlayerDragonBusiestSecond engine:update,draw,gore,goreupdate,everysecond baseline:hits,gibs,everysecond"
  "PlayerBench PlayerStreetWave engine:update,draw,gore,goreupdate,everysecond baseline:fights,draw,gibs,blood,everysecond"
  "StartUpBench StartUpToFrontEndFloor engine:frames,everysecond baseline:images,sounds,bytes,frame,everysecond"
  "VideoBench DecodeConvertUpload720p engine:connect,everysecond baseline:upload,everysecond"
  "AudioBench Mix64Voices engine:volume,pan,pitch@pitch:1,everysecond baseline:volume,pan,pitch@pitch:1,everysecond"
  "AudioBench Mix64VoicesSdlMixer engine:volume,pan,everysecond baseline:volume,pan,everysecond"
  "ArchiveBench PlainRead engine:read baseline:read"
  "ArchiveBench CompressedRead engine:read baseline:inflate"
  "ArchiveBench EncryptedRead engine:read baseline:decrypt"
  "ArchiveBench CompressedEncryptedRead engine:read baseline:decrypt,inflate"
  "ArchiveBench PathLookup engine:lookups baseline:lookups,root"
  "HashBench NameHash engine:names baseline:names,fold"
  "HashBench SimpleHashTableFind engine:probes baseline:probes"
  "HashBench DynamicHashTableFind engine:probes baseline:probes"
  "KdsBench KdsLoad engine:build,free baseline:names,free"
  "KdsBench KdsLoadJson engine:build,free baseline:floats"
  "LeaderboardBench Upload engine:callbacks baseline:update,previous"
  "LeaderboardBench AroundUser engine:entries baseline:rank,before@board:2,after"
  "LeaderboardBench RankLookup engine:entries baseline:rank"
  "LeaderboardBench PageDown engine:entries baseline:entries"
  "RandomBench RandomWord engine:words baseline:words"
  "JobBench Job1000Tasks engine:tasks baseline:tasks"
  "GridBench GridMove engine:focus,forward baseline:hidden,disabled"
  "UIBench UILoad engine:load baseline:properties,free"
  "UIBench UILoadJson engine:load baseline:floats"
  "UIBench EventDispatch engine:events baseline:events,calls"
  "TextBench ParagraphLayout engine:queue,free,clear,everysecond baseline:kerning,everysecond"
  "TextBench GlyphFrames engine:queue,draw,everysecond baseline:draw,everysecond"
  "CanvasBench SpriteSort engine:keys,sort,everysecond baseline:keys,sort,everysecond"
  "CanvasBench SpriteSortSameKeys engine:sort,everysecond baseline:copy,everysecond"
  "GraphicsAssetsBench AtlasTextures engine:unload,everysecond baseline:upload,everysecond"
  "GraphicsAssetsBench AtlasLookup engine:lookups,everysecond baseline:lookups,everysecond"
  "GraphicsAssetsBench AtlasLookupByHash engine:lookups,everysecond baseline:lookups,everysecond"
  "GraphicsAssetsBench SignatureFrame engine:signatures,everysecond baseline:textures,programs,everysecond"
  "AudioBench PlayToFirstSample engine:cue,update,everysecond baseline:play,everysecond"
  "CatFPSBench CatFPSStageFrame engine:enemies,bullets,gore,street,everysecond,places baseline:enemies,bullets,gore,street,everysecond,places"
)

problems=0
# Runs the benchmarks of one program that match the filter, once each, with the steps left out (5 minutes at most);
# prints how many ran and how many of them reported an error. A step "everysecond" (every second frame left out)
# gets half a second, so that a frame of a quarter second still runs with another.
run() {
  local program=$1 filter=$2 skip=$3 json="$work/out.json" min_time=0.01
  [[ $skip == *.everysecond ]] && min_time=0.5
  rm -f "$json"
  GRINDLOW_BENCH_SKIP="$skip" timeout 300 "$bench_dir/bench_$program" --benchmark_filter="$filter" --benchmark_repetitions=1 \
    --benchmark_min_time=$min_time --benchmark_out="$json" --benchmark_out_format=json >"$work/log" 2>&1 || true
  local ran=0 failed=0
  if [[ -f "$json" ]]; then
    ran=$(grep -c '"run_type": "iteration"' "$json" || true)
    failed=$(grep -c '"error_occurred": true' "$json" || true)
  fi
  echo "$ran $failed"
}

for pair in "${pairs[@]}"; do
  read -r program case sides <<<"$pair"
  echo "$case ($SECONDS s)"
  # Each side runs once, or once for each of its arguments.
  read -r ran failed <<<"$(run "$program" "^BM_(Engine|Baseline)_${case}(/|\$)" "")"
  if [[ $ran -lt 2 || $((ran % 2)) -ne 0 || $failed -ne 0 ]]; then
    echo "$case: $ran runs of the two sides, $failed with an error: $(tail -c 600 "$work/log")"
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
      read -r ran failed <<<"$(run "$program" "$filter" "$case.$side.$step")"
      if [[ $ran -lt 1 || $failed -ne $ran ]]; then
        echo "$case.$side.$step: the $side side's check did not fail without that step ($ran ran, $failed errors)"
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
