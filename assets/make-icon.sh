#!/usr/bin/env bash
# Makes vellocar.ico, the Windows program's icon, from vellocar.png (the 256-pixel picture the
# Linux program uses): one image for every size the title bar, the taskbar and Explorer ask for
# at 100 % to 200 % (16, 20, 24, 32, 40, 48, 64) and Explorer's largest view (256, kept as PNG
# inside the icon). Needs ImageMagick. The result is committed; run this after changing the
# picture and commit both.
set -euo pipefail
cd "$(dirname "$0")"
sizes=(256 64 48 40 32 24 20 16)
# -strip leaves out the time stamps, so that the same picture always gives the same bytes.
convert vellocar.png -strip -define icon:auto-resize="$(IFS=,; echo "${sizes[*]}")" ICO:vellocar.ico.new
made=$(identify -format "%w " ICO:vellocar.ico.new)
if [ "$made" != "${sizes[*]} " ]; then
  rm -f vellocar.ico.new
  echo "make-icon.sh: ImageMagick made the sizes \"$made\", not \"${sizes[*]}\"; vellocar.ico is unchanged" >&2
  exit 1
fi
mv vellocar.ico.new vellocar.ico
echo "wrote $(pwd)/vellocar.ico (${sizes[*]} pixels)"
