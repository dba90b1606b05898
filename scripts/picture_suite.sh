#!/usr/bin/env bash
# Makes a suite of BMP and JPEG files with ImageMagick (every BMP version and depth it writes, colour
# masks, OS/2 palettes; baseline, progressive, grey, CMYK JPEGs) plus damaged copies of them, adds
# the pictures of those kinds found under /usr/share, and opens each the way the game does. Every
# file gets ImageMagick's own reading of it as a reference; a file that opens must show exactly
# that, and a damaged copy must be refused. Prints each file's fate (a refusal with its cause) and the
# counts. Files the game once refused though they are valid are made too: JPEGs in scan scripts of
# cjpeg's, an orientation behind megabytes of other segments, a BMP without its last row's padding, a
# run-length stream ending rows over and over; and a 16000 x 12000 JPEG in 97 scans (heavy-), whose
# work is past what the game decodes (TILORA_SUITE_HEAVY=0 leaves it out: it takes half a minute).
# TILORA_SUITE_KEEP=DIR keeps the files there (seeds for scripts/fuzz.sh, say).
# Usage: scripts/picture_suite.sh [build folder, default build/test]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
cmake --build "$build" -j2 --target tilora_picture_suite >/dev/null
tool=$build/bench/tilora_picture_suite
if [ -n "${TILORA_SUITE_KEEP:-}" ]; then
  work=$TILORA_SUITE_KEEP
  rm -rf "$work"
  mkdir -p "$work"
else
  work=$(mktemp -d /tmp/tilora-suite.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi

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

# Valid files the game once refused or showed on their side.
convert rose: -resize 32x32! -colorspace Gray "PGM:$work/grey32.pgm"
convert "$work/src1.png" -resize 160x120! "PPM:$work/photo.ppm"
python3 - "$work" <<'EOF2'
import os, struct, sys
work = sys.argv[1]
def script(name, lines):
    open(os.path.join(work, name), "w").write("\n".join(lines) + "\n")
# jpegsuite's kind: a grey picture in a scan a coefficient.
script("spectral.txt", ["0: 0 0 0 0;"] + [f"0: {k} {k} 0 0;" for k in range(1, 64)])
# Thirteen visits a block: the three colours each in twelve bands after their first scan.
bands = [(1 + 63 * i // 12, 63 * (i + 1) // 12) for i in range(12)]
script("thirteen.txt", ["0 1 2: 0 0 0 0;"] + [f"{c}: {a} {b} 0 0;" for c in range(3) for a, b in bands])
# 4:2:0 in 63 scans: the light in sixty bands, each colour in one.
light = [(1 + 63 * i // 60, 63 * (i + 1) // 60) for i in range(60)]
script("sixtythree.txt", ["0 1 2: 0 0 0 0;"] + [f"0: {a} {b} 0 0;" for a, b in light] + ["1: 1 63 0 0;", "2: 1 63 0 0;"])
# A 16000 x 12000 photo's light in a scan a coefficient, 97 scans in all.
script("hundred.txt", ["0 1 2: 0 0 0 0;", "2: 1 63 0 0;"] + [f"0: {k} {k} 0 0;" for k in range(1, 64)]
       + [f"1: {k} {min(k + 1, 63)} 0 0;" for k in range(1, 64, 2)])
EOF2
cjpeg -grayscale -scans "$work/spectral.txt" -outfile "$work/good-spectral-grey-32.jpg" "$work/grey32.pgm"
cjpeg -sample 1x1 -scans "$work/thirteen.txt" -outfile "$work/good-thirteen-visits.jpg" "$work/photo.ppm"
cjpeg -sample 2x2 -scans "$work/sixtythree.txt" -outfile "$work/good-420-63-scans.jpg" "$work/photo.ppm"
convert "$work/src1.png" -resize 39x23! -colors 200 -type Palette -compress None "BMP3:$work/padded.bmp"
python3 - "$work" <<'EOF2'
import os, struct, sys
work = sys.argv[1]
def exif(orientation, big):
    e = ">" if big else "<"
    tiff = (b"MM" if big else b"II") + struct.pack(e + "HI", 42, 8) + struct.pack(e + "H", 2)
    tiff += struct.pack(e + "HHI", 0x010F, 2, 4) + b"Cam\0"
    tiff += struct.pack(e + "HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack(e + "I", 0)
    payload = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload
d = open(os.path.join(work, "good-1-baseline.jpg"), "rb").read()
notes = (b"\xff\xe2\xff\xff" + b"x" * 65533) * 70
open(os.path.join(work, "good-oriented-after-4MB.jpg"), "wb").write(d[:2] + notes + exif(6, True) + d[2:])
open(os.path.join(work, "good-oriented-little-endian.jpg"), "wb").write(d[:2] + exif(8, False) + d[2:])
# Every pixel there, the last row's padding byte not.
b = open(os.path.join(work, "padded.bmp"), "rb").read()
open(os.path.join(work, "good-8-unpadded.bmp"), "wb").write(b[:-1])
# A run-length picture whose rows are ended over and over, past the tightest bound on its stream.
w, h = 8, 4
palette = b"".join(bytes((i, i, 255 - i, 0)) for i in range(256))
stream = b"".join(bytes((w, 1 + 7 * y, 0, 0)) for y in range(h))[:-2] + bytes(200) + b"\x00\x01"
head = b"BM" + struct.pack("<IHHI", 54 + len(palette) + len(stream), 0, 0, 54 + len(palette))
head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 1, len(stream), 2835, 2835, 256, 0)
open(os.path.join(work, "good-rle8-rows-ended-again.bmp"), "wb").write(head + palette + stream)
EOF2
rm -f "$work"/*.pgm "$work"/*.ppm
if [ "${TILORA_SUITE_HEAVY:-1}" != 0 ]; then
  python3 - "$work" <<'EOF2' | cjpeg -quality 85 -sample 2x2 -scans "$work/hundred.txt" -outfile "$work/heavy-16000x12000-97-scans.jpg"
import sys
w, h = 16000, 12000
out = sys.stdout.buffer
out.write(b"P6\n%d %d\n255\n" % (w, h))
for y in range(h):
    if y % 64 == 0:
        row = bytearray(3 * w)
        for x in range(w):
            v = (x * 255 // w + y * 255 // h + ((x * 7 + y * 13) % 17)) & 255
            row[3 * x], row[3 * x + 1], row[3 * x + 2] = v, (v * 3) & 255, 255 - v
    out.write(bytes(row))
EOF2
fi
rm -f "$work"/*.txt

# ImageMagick's reading of every file, beside it; none for the damaged copies, whose reading is the
# decoder's guess.
for f in "$work"/good-* "$work"/found-* "$work"/benign-*; do
  convert "$f" -alpha off -colorspace sRGB -depth 8 "PNG24:$f.ref.png" 2>/dev/null || rm -f "$f.ref.png"
done
# Turned upright as the photo asks; the BMP's pixels as they are with the padding there.
for f in "$work"/good-oriented-*.jpg; do
  convert "$f" -auto-orient -alpha off -colorspace sRGB -depth 8 "PNG24:$f.ref.png"
done
convert "$work/padded.bmp" -alpha off -colorspace sRGB -depth 8 "PNG24:$work/good-8-unpadded.bmp.ref.png"
rm -f "$work/padded.bmp"

mapfile -t files < <(find "$work" -type f ! -name '*.png' | sort)
"$tool" "${files[@]}" >"$work/out.txt"
grep -v '^==' "$work/out.txt"
echo "== $(grep -c . <<<"$(printf '%s\n' "${files[@]}")") files"
grep '^==' "$work/out.txt"
wrong=$(grep -cE '^shown damaged-' "$work/out.txt" || true)
missing=$(grep -cE '^refused (good|benign)-' "$work/out.txt" || true)
echo "== damaged copies shown: $wrong; good or benign files refused: $missing"
