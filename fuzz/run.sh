#!/usr/bin/env bash
# Replays the committed corpus of one fuzz target, then fuzzes it for a while.
#   bash fuzz/run.sh <fuzz build dir> <target> <seconds>
# New inputs go to <build>/corpus/<target>, so successive runs build on each
# other; a crashing input is kept as <build>/artifacts/<target>-crash-*.
# Exits non-zero when the target fails.
set -euo pipefail
build=$1
target=$2
seconds=$3
here=$(cd "$(dirname "$0")" && pwd)
fuzzer=$build/${target}_fuzzer
seeds=$here/corpus/$target
work=$build/corpus/$target
mkdir -p "$work" "$build/artifacts"

options=(-artifact_prefix="$build/artifacts/$target-" -print_final_stats=1)
if [ "$target" = load_suf ] || [ "$target" = reorder ]; then
  options+=(-dict="$here/suf.dict" -max_len=16384)
fi
if [ "$target" = import_gltf ]; then
  options+=(-dict="$here/gltf.dict")
fi

echo "fuzz: $target: replaying $(ls "$seeds" | wc -l) seeds"
"$fuzzer" "${options[@]}" -runs=0 "$seeds" >"$build/$target-replay.log" 2>&1 || {
  tail -n 40 "$build/$target-replay.log"
  exit 1
}
grep -E '^#[0-9]+[[:space:]]+DONE' "$build/$target-replay.log"
echo "fuzz: $target: fuzzing for $seconds s"
"$fuzzer" "${options[@]}" -max_total_time="$seconds" "$work" "$seeds" >"$build/$target.log" 2>&1 || {
  tail -n 40 "$build/$target.log"
  exit 1
}
grep -E '^#[0-9]+[[:space:]]+DONE' "$build/$target.log" || true
