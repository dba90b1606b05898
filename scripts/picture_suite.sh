#!/usr/bin/env bash
# Makes a suite of BMP and JPEG files with ImageMagick (every BMP version and depth it writes, colour
# masks, OS/2 palettes; baseline, progressive, grey, CMYK JPEGs) plus damaged copies of them, adds
# the pictures of those kinds found under /usr/share, and opens each the way the game does. Every
# file gets ImageMagick's own reading of it as a reference; a file that opens must show exactly
# that, and a damaged copy must be refused. Prints each file's fate and the counts.
# Usage: scripts/picture_suite.sh [build folder, default build/test]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
cmake --build "$build" -j2 --target tilora_picture_suite >/dev/null
tool=$build/bench/tilora_picture_suite
work=$(mktemp -d /tmp/tilora-suite.XXXXXX)
trap 'rm -rf "$work"' EXIT

sources=(rose: logo: wizard: granite: "plasma:fractal[300x200]" "gradient:red-blue[256x64]")
i=0
for source in "${sources[@]}"; do
  i=$((i + 1))
  base=$work/src$i.png
  convert -seed 7 "$source" -alpha off "$base"
  # BMPs: the Windows versions, the first OS/2 one, every depth and the colour-mask subtypes.
  convert "$base" -type TrueColor "BMP3:$work/good-$i-v3-24.bmp"
  convert "$base" -colors 256 -type Palette "BMP3:$work/good-$i-v3-8.bmp"
  convert "$base" -colors 252 -type Palette "BMP3:$work/good-$i-v3-8short.bmp"
  convert "$base" -colors 16 -type Palette "BMP3:$work/good-$i-v3-4.bmp"
  convert "$base" -monochrome "BMP3:$work/good-$i-v3-1.bmp"
  convert "$base" -colors 200 -type Palette -compress RLE "BMP3:$work/good-$i-v3-rle8.bmp"
  convert "$base" -type TrueColor "BMP2:$work/good-$i-os2-24.bmp"
  convert "$base" -colors 256 -type Palette "BMP2:$work/good-$i-os2-8.bmp"
  convert "$base" -colors 252 -type Palette "BMP2:$work/good-$i-os2-8short.bmp"
  convert "$base" -colors 12 -type Palette "BMP2:$work/good-$i-os2-4short.bmp"
  convert "$base" -monochrome "BMP2:$work/good-$i-os2-1.bmp"
  convert "$base" -type TrueColor "BMP:$work/good-$i-v5-24.bmp"
  convert "$base" -alpha set -channel A -evaluate set 100% +channel "BMP:$work/good-$i-v5-32.bmp"
  convert "$base" -alpha set -channel A -evaluate set 100% +channel -define bmp:format=bmp4 \
    "BMP:$work/good-$i-v4-32.bmp"
  for subtype in RGB565 RGB555 ARGB4444 ARGB1555; do
    convert "$base" -define bmp:subtype=$subtype "BMP:$work/good-$i-$subtype.bmp"
  done
  # JPEGs: baseline, full-resolution colour, optimised tables, progressive, grey, CMYK.
  convert "$base" -quality 90 "JPEG:$work/good-$i-baseline.jpg"
  convert "$base" -quality 95 -sampling-factor 1x1 "JPEG:$work/good-$i-444.jpg"
  convert "$base" -quality 80 -define jpeg:optimize-coding=true "JPEG:$work/good-$i-optimised.jpg"
  convert "$base" -quality 85 -interlace Plane "JPEG:$work/good-$i-progressive.jpg"
  convert "$base" -colorspace Gray -quality 90 "JPEG:$work/good-$i-grey.jpg"
  convert "$base" -colorspace CMYK -quality 90 "JPEG:$work/good-$i-cmyk.jpg"
done
while IFS= read -r -d '' found; do
  case "$found" in
    *.bmp | *.BMP) cp "$found" "$work/found-$(basename "$found")" ;;
    *) cp "$found" "$work/found-$(basename "$found" | sed 's/\.[^.]*$//').jpg" ;;
  esac
done < <(find /usr/share -type f \( -iname '*.bmp' -o -iname '*.jpg' -o -iname '*.jpeg' \) -size -20M -print0 2>/dev/null)

# Damaged copies, and copies with oddities that lose nothing.
python3 - "$work" <<'EOF'
import glob, os, struct, sys
work = sys.argv[1]
def put(name, data):
    open(os.path.join(work, name), "wb").write(data)
for path in sorted(glob.glob(os.path.join(work, "good-*.jpg")) + glob.glob(os.path.join(work, "found-*.jpg"))):
    stem = os.path.basename(path)[:-4]
    d = open(path, "rb").read()
    if not d.endswith(b"\xff\xd9"):
        continue
    k = len(d) * 6 // 10
    put(f"damaged-{stem}-cut-end.jpg", d[:k] + b"\xff\xd9")
    put(f"damaged-{stem}-zero-filled.jpg", d[:k] + bytes(len(d) - k))
    put(f"damaged-{stem}-cut.jpg", d[:k])
    # A progressive file that lost its end marker cannot be told from one cut inside its last scan
    # without decoding every scan; the game refuses it at once, as incomplete.
    progressive = d.find(b"\xff\xc2") > 0
    put(f"{'damaged' if progressive else 'benign'}-{stem}-no-end.jpg", d[:-2])
    put(f"benign-{stem}-tail.jpg", d + os.urandom(300))
    sof = max(d.find(b"\xff\xc0"), d.find(b"\xff\xc2"))
    if sof > 0:
        big = bytearray(d)
        big[sof + 5:sof + 9] = struct.pack(">HH", 12000, 16000)
        put(f"damaged-{stem}-claims-16000x12000.jpg", bytes(big))
        bad = bytearray(d)
        bad[sof + 4] = 74
        put(f"damaged-{stem}-frame.jpg", bytes(bad))
# ImageMagick writes every OS/2 palette full: these keep only the colours the pixels use.
for path, entries in [(p, 252) for p in glob.glob(os.path.join(work, "good-*-os2-8short.bmp"))] + [
        (p, 12) for p in glob.glob(os.path.join(work, "good-*-os2-4short.bmp"))]:
    d = open(path, "rb").read()
    offset = struct.unpack("<I", d[10:14])[0]
    cut = 26 + 3 * entries
    if offset <= cut:
        continue
    d = d[:2] + struct.pack("<I", len(d) - (offset - cut)) + d[6:10] + struct.pack("<I", cut) + d[14:cut] + d[offset:]
    open(path, "wb").write(d)
for path in sorted(glob.glob(os.path.join(work, "good-*.bmp"))):
    stem = os.path.basename(path)[:-4]
    d = open(path, "rb").read()
    put(f"damaged-{stem}-half.bmp", d[: len(d) // 2])
EOF

# ImageMagick's reading of every file, beside it; none for the damaged copies, whose reading is the
# decoder's guess.
for f in "$work"/good-* "$work"/found-* "$work"/benign-*; do
  convert "$f" -alpha off -colorspace sRGB -depth 8 "PNG24:$f.ref.png" 2>/dev/null || rm -f "$f.ref.png"
done

mapfile -t files < <(find "$work" -type f ! -name '*.png' | sort)
"$tool" "${files[@]}" >"$work/out.txt"
grep -v '^==' "$work/out.txt"
echo "== $(grep -c . <<<"$(printf '%s\n' "${files[@]}")") files"
grep '^==' "$work/out.txt"
wrong=$(grep -cE '^shown damaged-' "$work/out.txt" || true)
missing=$(grep -cE '^refused (good|benign)-' "$work/out.txt" || true)
echo "== damaged copies shown: $wrong; good or benign files refused: $missing"
