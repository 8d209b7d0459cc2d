#!/usr/bin/env bash
# The KEY and BIF codecs, the E1 resources' unpacking, the export planner, the build journal, recovery over a folder in memory,
# the readers of the game's settings files (system.reg, libraryfolders.vdf, settings.json) and the
# TGA, DDS, PLT and 2DA decoders, the GFF reader and writer and the talk table and soundset readers under
# libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer, built by the linux-fuzz preset: each target runs for 45 seconds
# (VELLOCAR_FUZZ_SECONDS) from generated seeds and the corpus kept in the build folder; a crash,
# leak, sanitizer report, allocation over 256 MB or a failed property fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/linux-fuzz
seconds=${VELLOCAR_FUZZ_SECONDS:-45}

# The preset takes warnings-as-errors from VELLOCAR_WERROR, as every preset does.
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz -j2

rm -rf "$build/seeds"
python3 fuzz/make-seeds.py "$build/seeds"
mkdir -p "$build/artifacts"
for pair in key_codec:key bif_codec:bif erf_codec:erf compressed_buffer:xres export_plan:plan journal:journal recovery:recovery wine_registry:reg \
            game_settings:settings tga:tga dds:dds plt:plt two_da:2da gff:gff gff_json:gffjson tlk:tlk ssf:ssf; do
  target=${pair%%:*}
  seeds=${pair##*:}
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "--- fuzz_$target for ${seconds}s"
  status=0
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -malloc_limit_mb=256 -rss_limit_mb=2048 \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus" "$build/seeds/$seeds" >"$build/artifacts/$target.log" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    grep -E '^#[0-9]+[[:space:]]+DONE|^Done |^stat::' "$build/artifacts/$target.log"
  else
    tail -n 60 "$build/artifacts/$target.log"
    echo "fuzz_$target failed (exit $status); the input is in $build/artifacts/" >&2
    exit 1
  fi
done
