#!/usr/bin/env bash
# Checks at the level of symbols what CheckLayers.cmake checks of the includes: no engine library needs a symbol
# that only a library outside its own link closure defines (a higher layer, the game, a stand-in it does not
# link). Symbols that no library of the project defines come from the system libraries and are not judged.
#   CheckLinkLayers.sh <manifest>
# The manifest (written by Tests/CMakeLists.txt) holds tab-separated lines:
#   lib   <name> <archive or object file>...   a library of the project and its files
#   check <name> <allowed name>...             a library to check and the libraries it may use
set -euo pipefail
if [[ $# -ne 1 || "$1" == "--help" || "$1" == "-h" ]]; then
  echo "usage: CheckLinkLayers.sh <manifest>   (see the comment at the top of the script)"
  [[ $# -eq 1 && ( "$1" == "--help" || "$1" == "-h" ) ]] && exit 0
  exit 2
fi
manifest=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/link-layers.XXXXXX")
trap 'rm -rf "$work"' EXIT

declare -a lib_names=()
declare -a checks=()
while IFS=$'\t' read -r -a fields; do
  [[ ${#fields[@]} -ge 2 ]] || continue
  case "${fields[0]}" in
    lib)
      name=${fields[1]}
      files=("${fields[@]:2}")
      for file in "${files[@]}"; do
        [[ -f "$file" ]] || { echo "CheckLinkLayers: $name: [$file] is not built" >&2; exit 2; }
      done
      lib_names+=("$name")
      # Strong definitions (weak ones are inline copies every user makes for itself) and references, from one
      # listing of the files' external symbols.
      nm -g --format=posix "${files[@]}" >"$work/$name.nm"
      awk 'NF >= 2 && $2 ~ /^[TDBRGSC]$/ {print $1}' "$work/$name.nm" | sort -u >"$work/$name.defined"
      awk 'NF >= 2 && $2 ~ /^[TDBRGSWVCiu]$/ {print $1}' "$work/$name.nm" | sort -u >"$work/$name.all-defined"
      awk 'NF >= 2 && $2 == "U" {print $1}' "$work/$name.nm" | sort -u |
        comm -23 - "$work/$name.all-defined" >"$work/$name.needed"
      ;;
    check)
      checks+=("$(printf '%s\t' "${fields[@]:1}")")
      ;;
  esac
done <"$manifest"

problems=0
for line in "${checks[@]}"; do
  IFS=$'\t' read -r -a fields <<<"$line"
  name=${fields[0]}
  allowed=("${fields[@]:1}")
  : >"$work/allowed"
  for other in "${allowed[@]}"; do
    [[ -f "$work/$other.all-defined" ]] && cat "$work/$other.all-defined" >>"$work/allowed"
  done
  sort -u "$work/allowed" | comm -23 "$work/$name.needed" - >"$work/left"
  for other in "${lib_names[@]}"; do
    [[ "$other" == "$name" ]] && continue
    while IFS= read -r symbol; do
      echo "$name needs $(c++filt "$symbol"), which only $other defines"
      problems=$((problems + 1))
    done < <(comm -12 "$work/left" "$work/$other.defined")
  done
done
if [[ $problems -ne 0 ]]; then
  echo "$problems symbol(s) cross the layers"
  exit 1
fi
echo "Link layers hold: ${#checks[@]} libraries checked"
