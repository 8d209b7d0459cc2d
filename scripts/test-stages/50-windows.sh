#!/usr/bin/env bash
# The Windows build: cross-built with mingw-w64, statically linked, and every suite run under
# Wine through tests/win32/wine-run (private prefix, own Xvfb display when none is set).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build/mingw-release
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release

# Each .exe must start alone on a bare Windows: it may import only DLLs that Windows itself
# provides (the Wine prefix's system32 holds exactly those), never the mingw runtime.
VELLOCAR_WINE_DIR=$build/wine tests/win32/wine-run --print-env >/dev/null
system32=$build/wine/prefix/drive_c/windows/system32
status=0
while IFS= read -r exe; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}'); do
    if [ -z "$(find "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
      echo "error: $exe imports $dll, which is not a Windows system DLL" >&2
      status=1
    fi
  done
done < <(find "$build/src" "$build/tests" -name '*.exe' -not -path '*/CMakeFiles/*')
[ "$status" -eq 0 ] || exit 1

ctest --preset mingw-release -j2

# The same folder packed by the Linux and by the Windows command-line tool with one
# SOURCE_DATE_EPOCH gives the same BIF and KEY, byte for byte.
linux_cli=build/linux-debug/src/cli/vellocar-cli
if [ -x "$linux_cli" ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  mkdir -p "$scratch/src" "$scratch/linux" "$scratch/windows"
  # Names whose order differs between a plain byte sort, letter case folded and not.
  stems=(B a _x Zed m 10 1); exts=(.2da .NSS .txt .mdl "")
  for i in $(seq 0 39); do
    head -c $(( (i * 977) % 3001 )) /dev/urandom >"$scratch/src/${stems[i % 7]}$i${exts[i % 5]}"
  done
  # Names beyond ASCII: both store them in Windows-1252, as the game reads them.
  for name in é.txt Œuvre.2da 'naïve €.nss' ÿ; do head -c 100 /dev/urandom >"$scratch/src/$name"; done
  windows_path() { printf 'Z:%s' "${1//\//\\}"; }
  export SOURCE_DATE_EPOCH=1700000000
  "$linux_cli" --quiet pack "$scratch/src" "$scratch/linux/m.bif" "$scratch/linux/m.key"
  VELLOCAR_WINE_DIR=$build/wine tests/win32/wine-run "$build/src/cli/vellocar-cli.exe" --quiet pack \
    "$(windows_path "$scratch/src")" "$(windows_path "$scratch/windows/m.bif")" \
    "$(windows_path "$scratch/windows/m.key")"
  cmp "$scratch/linux/m.bif" "$scratch/windows/m.bif"
  cmp "$scratch/linux/m.key" "$scratch/windows/m.key"
  # And into a HAK, with a description.
  "$linux_cli" --quiet pack --description "A test" "$scratch/src" "$scratch/linux/m.hak"
  VELLOCAR_WINE_DIR=$build/wine tests/win32/wine-run "$build/src/cli/vellocar-cli.exe" --quiet pack \
    --description "A test" "$(windows_path "$scratch/src")" "$(windows_path "$scratch/windows/m.hak")"
  cmp "$scratch/linux/m.hak" "$scratch/windows/m.hak"
  grep -q "$(printf 'Œuvre' | iconv -f UTF-8 -t WINDOWS-1252)" "$scratch/linux/m.key"
  echo "the Linux and the Windows pack of one folder (BIF and KEY, HAK) are byte for byte the same"

  # A name that Windows-1252 cannot hold is refused up front by both, and named.
  mkdir -p "$scratch/wide" && echo x >"$scratch/wide/日本.txt"
  for run in linux windows; do
    if [ "$run" = linux ]; then
      err=$("$linux_cli" --quiet pack "$scratch/wide" "$scratch/w.bif" "$scratch/w.key" 2>&1) && status=0 || status=$?
    else
      err=$(VELLOCAR_WINE_DIR=$build/wine tests/win32/wine-run "$build/src/cli/vellocar-cli.exe" --quiet pack \
        "$(windows_path "$scratch/wide")" "$(windows_path "$scratch/w.bif")" "$(windows_path "$scratch/w.key")" 2>&1) &&
        status=0 || status=$?
    fi
    case "$status:$err" in
      1:*"cannot be packed"*"code page"*) ;;
      *) echo "error: the $run pack of 日本.txt gave exit $status: $err" >&2; exit 1 ;;
    esac
    [ ! -e "$scratch/w.bif" ] && [ ! -e "$scratch/w.key" ]
  done
  echo "both refuse a name that Windows-1252 cannot hold, before they write anything"
fi

# The commands over several KEYs in the Windows tool: a fake Enhanced Edition install found
# through NWN_ROOT, a retail KEY over the base KEY; cat's bytes come out exact (no "\r\n").
ee=$(mktemp -d)
trap 'rm -rf "$ee" ${scratch:+"$scratch"}' EXIT
to_windows() { printf 'Z:%s' "${1//\//\\}"; }
wcli() { VELLOCAR_WINE_DIR=$build/wine tests/win32/wine-run "$build/src/cli/vellocar-cli.exe" "$@"; }
mkdir -p "$ee/base" "$ee/retail" "$ee/game/data"
printf 'base appearance\n' >"$ee/base/appearance.2da"
printf 'base dragon' >"$ee/base/c_dragon.mdl"
printf 'retail appearance\n' >"$ee/retail/appearance.2da"
for key in base retail; do
  wcli --quiet pack "$(to_windows "$ee/$key")" "$(to_windows "$ee/game/data/${key}_2da.bif")" \
    "$(to_windows "$ee/game/data/nwn_$key.key")"
done
export NWN_ROOT; NWN_ROOT=$(to_windows "$ee/game")
wcli --quiet cat --game appearance.2da >"$ee/cat.out"
cmp "$ee/cat.out" "$ee/retail/appearance.2da"
wcli --quiet find --game '*.2DA' | tr -d '\r' >"$ee/find.out"
grep -q $'^appearance.2da\t.*nwn_retail.key\tdata\\\\retail_2da.bif\t0\t18\tloaded$' "$ee/find.out"
grep -q $'^appearance.2da\t.*nwn_base.key\tdata\\\\base_2da.bif\t0\t16\tshadowed$' "$ee/find.out"
wcli --quiet extract --game --all "$(to_windows "$ee/out")" --match 'c_*'
cmp "$ee/out/base_2da/c_dragon.mdl" "$ee/base/c_dragon.mdl"
[ ! -e "$ee/out/retail_2da" ]
echo "the Windows tool finds, prints and extracts across the game's KEYs"

# Textures as PNG from the Windows tool (WIC's encoder): a 4 x 4 TGA of every alpha level, bottom
# row first, and a DDS of the game's own header (4 x 4 DXT1, first stored row drawn at the
# bottom), read back by ImageMagick pixel for pixel.
mkdir -p "$ee/tex"
python3 - "$ee/tex" <<'PY'
import struct, sys
folder = sys.argv[1]
rows = [[(x * 80, y * 80, 255 - x * 60, 255 - (y * 4 + x) * 17) for x in range(4)] for y in range(4)]
body = b"".join(bytes([b, g, r, a]) for row in reversed(rows) for r, g, b, a in row)
open(folder + "/pic.tga", "wb").write(struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, 4, 4, 32, 8) + body)
open(folder + "/pic.rgba", "wb").write(b"".join(bytes(p) for row in rows for p in row))
# Colour 0 red, colour 1 blue; stored rows use colours 0, 1, 1, 1: the bottom row is red.
dds = struct.pack("<5I", 4, 4, 3, 8, 0) + struct.pack("<HHI", 0xF800, 0x001F, 0x55555500)
open(folder + "/pic.dds", "wb").write(dds)
open(folder + "/dds.rgba", "wb").write(bytes([0, 0, 255, 255]) * 12 + bytes([255, 0, 0, 255]) * 4)
PY
mv "$ee/tex/pic.rgba" "$ee/tex/dds.rgba" "$ee/"
wcli --quiet pack "$(to_windows "$ee/tex")" "$(to_windows "$ee/tex.bif")" "$(to_windows "$ee/tex.key")"
wcli cat --png "$(to_windows "$ee/tex.key")" pic.tga >"$ee/pic.png"
convert "$ee/pic.png" -depth 8 rgba:- | cmp - "$ee/pic.rgba"
wcli --quiet extract --png "$(to_windows "$ee/tex.key")" 0 "$(to_windows "$ee/png")"
convert "$ee/png/pic.tga.png" -depth 8 rgba:- | cmp - "$ee/pic.rgba"
convert "$ee/png/pic.dds.png" -depth 8 rgba:- | cmp - "$ee/dds.rgba"
echo "the Windows tool writes textures as PNGs that ImageMagick reads back pixel for pixel"

# A BIF's folder below the chosen one that is a Unix link (Wine shows it as the folder it points
# to): that BIF is not exported, and nothing lands where the link points.
mkdir -p "$ee/linked" "$ee/elsewhere" && ln -s ../elsewhere "$ee/linked/base_2da"
if wcli --quiet extract --game --all "$(to_windows "$ee/linked")" 2>"$ee/link.err"; then
  echo "error: an export through a link went through" >&2; exit 1
fi
grep -q 'base_2da" is a link' "$ee/link.err" && [ -z "$(ls -A "$ee/elsewhere")" ]
echo "the Windows tool exports nothing through a link below the chosen folder"
