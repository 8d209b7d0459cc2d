#!/usr/bin/env bash
# Saves a screenshot of vellocar.exe's window as a test artifact.
# Usage: screenshot.sh WINE-RUN APP-TESTS.exe OUTPUT.png
# The program is started and held by the app tests' --hold-window mode (under wine-run, which
# gives it its display); this script photographs that same display with ImageMagick.
set -euo pipefail
wine_run=$1
driver=$2
output=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/vellocar-shot.XXXXXX")
trap 'touch "$work/stop"; rm -rf "$work"' EXIT
eval "$(cd "$(dirname "$driver")" && "$wine_run" --print-env)"

"$wine_run" "$driver" --hold-window "$work/ready" "$work/stop" &
holder=$!

for _ in $(seq 300); do
  [ -f "$work/ready" ] && break
  kill -0 "$holder" 2>/dev/null || { echo "the program ended before its window showed" >&2; exit 1; }
  sleep 0.1
done
[ -f "$work/ready" ] || { echo "no window within 30 s" >&2; exit 1; }

read -r x y w h <"$work/ready"
mkdir -p "$(dirname "$output")"
import -window root "$output.full.png"
convert "$output.full.png" -crop "${w}x${h}+${x}+${y}" +repage "$output"
rm -f "$output.full.png"
touch "$work/stop"
wait "$holder"
echo "saved $output (${w}x${h} at $x,$y)"
