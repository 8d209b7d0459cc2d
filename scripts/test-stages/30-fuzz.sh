#!/usr/bin/env bash
# The KEY and BIF readers under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer:
# each target runs for a minute (VELLOCAR_FUZZ_SECONDS) from generated seeds; a crash, leak,
# sanitizer report, allocation over 256 MB or a failed property check fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/fuzz-stage
seconds=${VELLOCAR_FUZZ_SECONDS:-60}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVELLOCAR_BUILD_FUZZ=ON -Dvellocar_fuzz_sanitizers=address,undefined \
  -DVELLOCAR_BUILD_TESTS=OFF -DVELLOCAR_BUILD_QT=OFF \
  -DVELLOCAR_WARNINGS_AS_ERRORS="${VELLOCAR_WERROR:-OFF}" >/dev/null
cmake --build "$build" --target fuzz_key_reader fuzz_bif_export -j2

rm -rf "$build/seeds"
python3 fuzz/make-seeds.py "$build/seeds"
mkdir -p "$build/artifacts"
for pair in key_reader:key bif_export:bif; do
  target=${pair%%:*}
  seeds=${pair##*:}
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "--- fuzz_$target for ${seconds}s"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -malloc_limit_mb=256 -rss_limit_mb=2048 \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus" "$build/seeds/$seeds" 2>&1 | tail -n 25
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$target failed (exit $status); the input is in $build/artifacts/" >&2
    exit 1
  fi
done
