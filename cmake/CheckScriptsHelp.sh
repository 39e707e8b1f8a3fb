#!/usr/bin/env bash
# Checks that every script under scripts/ answers --help with its usage ("Usage: scripts/<name>" first on
# standard output) and exit status 0, without doing its work: the programs that work would start (the build
# tools, the package manager, the test runners) are replaced for the run by stand-ins that record the call.
#   CheckScriptsHelp.sh <source tree>
set -euo pipefail
if [[ $# -ne 1 || ! -d "$1/scripts" ]]; then
  echo "usage: CheckScriptsHelp.sh <source tree>" >&2
  exit 2
fi
source_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/scripts-help.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
for tool in cmake ctest ninja make cc c++ gcc g++ clang clang++ apt-get dpkg-query sudo xvfb-run taskset git nproc; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\nexit 1\n' "$tool" "$work/calls" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done

problems=0
checked=0
for script in "$source_dir"/scripts/*.sh; do
  name=$(basename "$script")
  checked=$((checked + 1))
  : >"$work/calls"
  status=0
  PATH="$work/bin:$PATH" bash "$script" --help >"$work/out" 2>"$work/err" </dev/null || status=$?
  if [[ $status -ne 0 ]]; then
    echo "scripts/$name --help: exit status $status: $(head -c 300 "$work/err")"
    problems=$((problems + 1))
  fi
  if [[ "$(head -n 1 "$work/out")" != "Usage: scripts/$name"* ]]; then
    echo "scripts/$name --help: the first line is not \"Usage: scripts/$name ...\": $(head -n 1 "$work/out")"
    problems=$((problems + 1))
  fi
  if [[ -s "$work/calls" ]]; then
    echo "scripts/$name --help started its work: $(tr '\n' ';' <"$work/calls" | head -c 300)"
    problems=$((problems + 1))
  fi
done
if [[ $problems -ne 0 ]]; then
  echo "$problems problem(s) in $checked scripts"
  exit 1
fi
echo "$checked scripts answer --help"
