#!/usr/bin/env bash
# Three timings, each against a reference tool in the same run:
#  - compression: a generated image of mixed content packed by the tool on
#    the compressing platform, against the LZMA SDK's own encoder
#    (lzma_alone, Debian package lzma-alone) at the settings of level 5;
#    the two compressed files must be the same bytes;
#  - compression side by side: several such images in one build, against
#    lzma_alone on them one after another; every compressed image must be
#    the same bytes as lzma_alone's;
#  - signing: the extra time of a signed build of a package of that size
#    over an unsigned one, against "openssl dgst -sha1" of the package.
#   bench/compress.sh [tool] [MiB to compress] [MiB to sign] [runs] [images] [MiB per image]
set -euo pipefail

tool=${1:-build/Tarvok_WEB}
mib=${2:-64}
sign_mib=${3:-32}
runs=${4:-3}
count=${5:-4}
each_mib=${6:-16}
RUNS=$runs
source "$(dirname "$0")/timing.sh"
need lzma_alone lzma-alone
need openssl openssl
[ -x "$tool" ] || { echo "no tool at $tool: build first (see README.md)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$tool" "$work/Tarvok_WEB"

# Mixed content, 1 MiB at a time: random bytes, zeros, text with 6 bits of
# entropy per byte, and repeated log lines.
mixed_image() {
  local out=$1 count=$2 i
  : > "$out"
  for ((i = 0; i < count; i++)); do
    case $((i % 4)) in
      0) head -c 1048576 /dev/urandom ;;
      1) head -c 1048576 /dev/zero ;;
      # Endless producers: their end by SIGPIPE must not stop the script.
      2) head -c 1048576 < <(base64 -w 76 /dev/urandom) ;;
      3) head -c 1048576 < <(yes "[$i] kernel: eth0 link up, 1000 Mbps full duplex, flow control rx/tx") ;;
    esac >> "$out"
  done
}

# A layout file of the images (file names) for the processor type, all of
# one type.
layout() {
  local processor=$1 type=$2 i=0 image
  shift 2
  cat <<LAYOUT
[BLF_Version]
Blf_Version_Number = V3.0.0
[TIM_Configuration]
Processor_Type = $processor
Number_of_Images = $#
[Flash_Properties]
Flash_Family = eMMC
Max_OTA_Image_Size = 0x7FFFFFFF
[Image_List]
LAYOUT
  for image in "$@"; do
    i=$((i + 1))
    printf '%s_Image_Enable = 1\n%s_Image_ID_Name = IMG%s\n%s_Image_Image_ID = 0x%08X\n' "$i" "$i" "$i" "$i" "$i"
    printf '%s_Image_Path = %s\n%s_Image_Flash_Entry_Address = 0x%08X\n%s_Image_Type = %s\n' \
      "$i" "$image" "$i" $((i * 0x100000)) "$i" "$type"
  done
}

le32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }

# The lzma_alone form of the file at the settings of level 5.
lzma_alone_of() { lzma_alone e "$1" "$2" -a1 -d24 -fb32 -mc32 -lc3 -lp0 -pb2 -mfbt4 -mt1; }

# Whether image entry n (from 0) of the package holds the reference file:
# its first bytes, the entry's length rounded up to whole words, at most
# three of 0xFF after them.
packed_as() {
  local package=$1 n=$2 reference=$3 first length reference_length
  first=$(le32 "$package" $((76 + 244 + 52 * n + 20)))
  length=$(le32 "$package" $((76 + 244 + 52 * n + 24)))
  reference_length=$(stat -c %s "$reference")
  if cmp -s -n "$reference_length" -i $((first * 8192)):0 "$package" "$reference" &&
    [ $((length - reference_length)) -ge 0 ] && [ $((length - reference_length)) -lt 4 ]; then
    echo yes
  else
    echo NO
  fi
}

echo "== compression: $mib MiB of mixed content"
mixed_image "$work/rootfs.bin" "$mib"
layout NLT118 RAW_LZMA rootfs.bin > "$work/lzma.blf"
pack() { (cd "$work" && ./Tarvok_WEB -f lzma.blf -i 0x100000 -o lzma.kxp); }
reference() { lzma_alone_of "$work/rootfs.bin" "$work/reference.lzma"; }
pack > /dev/null 2>&1 || { echo "the tool's build failed" >&2; exit 1; }
tool_time=$(best_of pack)
reference_time=$(best_of reference)
printf 'tool:       %s s (%s bytes)\nlzma_alone: %s s (%s bytes)\nratio:      %s\nsame bytes: %s\n' \
  "$(seconds "$tool_time")" "$(le32 "$work/lzma.kxp" $((76 + 244 + 24)))" "$(seconds "$reference_time")" \
  "$(stat -c %s "$work/reference.lzma")" "$(ratio "$tool_time" "$reference_time")" \
  "$(packed_as "$work/lzma.kxp" 0 "$work/reference.lzma")"

echo "== compression side by side: $count images of $each_mib MiB of mixed content"
images=()
for ((i = 1; i <= count; i++)); do
  mixed_image "$work/part$i.bin" "$each_mib"
  images+=("part$i.bin")
done
layout NLT118 RAW_LZMA "${images[@]}" > "$work/parts.blf"
pack_all() { (cd "$work" && ./Tarvok_WEB -f parts.blf -i 0x100000 -o parts.kxp); }
reference_all() {
  local i
  for ((i = 1; i <= count; i++)); do lzma_alone_of "$work/part$i.bin" "$work/part$i.lzma"; done
}
pack_all > /dev/null 2>&1 || { echo "the tool's build of $count images failed" >&2; exit 1; }
tool_time=$(best_of pack_all)
reference_time=$(best_of reference_all)
# The entries run from the last image to the first.
same=yes
for ((i = 1; i <= count; i++)); do
  [ "$(packed_as "$work/parts.kxp" $((count - i)) "$work/part$i.lzma")" = yes ] || same=NO
done
printf 'tool:       %s s\nlzma_alone: %s s, one after another\nratio:      %s\nsame bytes: %s\n' \
  "$(seconds "$tool_time")" "$(seconds "$reference_time")" "$(ratio "$tool_time" "$reference_time")" "$same"

echo "== signing: a package of $sign_mib MiB"
head -c $((sign_mib * 1048576 - 8192)) /dev/urandom > "$work/image.bin"
layout NLT122 RAW image.bin > "$work/sign.blf"
openssl genrsa -traditional -out "$work/key.pem" 2048 2> /dev/null
unsigned() { (cd "$work" && ./Tarvok_WEB -f sign.blf -i 0x100000 -o unsigned.kxp); }
signed() { (cd "$work" && ./Tarvok_WEB -f sign.blf -i 0x100000 -o signed.kxp -s key.pem); }
signed > /dev/null 2>&1 || { echo "the signed build failed" >&2; exit 1; }
# Signing is the difference of two whole builds, so each takes more runs
# than the compression for its best time to settle.
RUNS=$((runs * 3))
unsigned_time=$(best_of unsigned)
signed_time=$(best_of signed)
digest() { openssl dgst -sha1 "$work/unsigned.kxp"; }
digest_time=$(best_of digest)
extra=$((signed_time > unsigned_time ? signed_time - unsigned_time : 0))
printf 'unsigned build: %s s\nsigned build:   %s s\nsigning:        %s s\nopenssl dgst:   %s s\nratio:          %s\n' \
  "$(seconds "$unsigned_time")" "$(seconds "$signed_time")" "$(seconds "$extra")" "$(seconds "$digest_time")" \
  "$(ratio "$extra" "$digest_time")"
