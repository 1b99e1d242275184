#!/usr/bin/env bash
# Times a package build against cat of the same images into one file, in
# the same run, best of three each, and prints the ratio.
#   bench/package.sh [tool] [images] [MiB per image]
set -euo pipefail

tool=${1:-build/Tarvok_WEB}
count=${2:-4}
mib=${3:-64}
[ -x "$tool" ] || { echo "no tool at $tool: build first (see README.md)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$tool" "$work/Tarvok_WEB"

{
  echo "[BLF_Version]"
  echo "Blf_Version_Number = V3.0.0"
  echo "[TIM_Configuration]"
  echo "Processor_Type = NLT122"
  echo "Number_of_Images = $count"
  echo "[Flash_Properties]"
  echo "Flash_Family = eMMC"
  echo "Max_OTA_Image_Size = 0x7FFFFFFF"
  echo "[Image_List]"
  for i in $(seq 1 "$count"); do
    head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/image$i.bin"
    printf '%s_Image_Enable = 1\n%s_Image_ID_Name = IMG%s\n%s_Image_Image_ID = 0x%08X\n' "$i" "$i" "$i" "$i" "$i"
    printf '%s_Image_Path = image%s.bin\n%s_Image_Flash_Entry_Address = 0x%08X\n' "$i" "$i" "$i" $((i * 0x10000000))
  done
} > "$work/bench.blf"

images=()
for i in $(seq 1 "$count"); do images+=("$work/image$i.bin"); done

source "$(dirname "$0")/timing.sh"

build() { (cd "$work" && ./Tarvok_WEB -f bench.blf -i 0x100000 -o bench.kxp); }
concatenate() { cat "${images[@]}" > "$work/cat.bin"; }

# One run of each first: then every timed run of either replaces a file of
# the same size, as the build's always did.
build > /dev/null 2>&1 || { echo "the build failed" >&2; exit 1; }
concatenate
tool_time=$(best_of build)
cat_time=$(best_of concatenate)
printf 'images: %s x %s MiB\nbuild: %s s\ncat:   %s s\nratio: %s\n' "$count" "$mib" \
  "$(seconds "$tool_time")" "$(seconds "$cat_time")" "$(ratio "$tool_time" "$cat_time")"
