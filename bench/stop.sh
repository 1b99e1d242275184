#!/usr/bin/env bash
# How fast a stop ends each long step: a build is started for each, SIGTERM
# is sent once the step is under way (its work file has appeared and grown
# to about half its size, or its line was printed), and the seconds from
# the signal to the tool's end are printed with its exit status as the
# shell reports it (143, 128 + SIGTERM: the stopped run ended by the signal;
# 0 means the build ended before the signal).
#   split:   an image split into parts (NLT115), signalled at half the parts;
#   copy:    the finished package copied to an output on another file
#            system (/dev/shm), signalled at half the copy;
#   LZMA:    an image of type RAW_LZMA compressed (NLT118), signalled at
#            half its size compressed;
#   YAFFS:   a YAFFS image re-laid out page by page, signalled at half the
#            image in the store;
#   layout:  a layout file near 64 MiB (one long line, many short ones),
#            signalled half a second into its reading;
#   signing: a package signed with a key from "openssl genrsa", signalled
#            once the package is whole, while it is digested.
#   bench/stop.sh [tool] [MiB per image]
# Without a tool it builds one into build/bench (cmake, make, g++). Needs
# the openssl program.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-}
mib=${2:-1024}
source "$(dirname "$0")/timing.sh"
need openssl openssl
if [ -z "$tool" ]; then
  need cmake cmake
  need make make
  need g++ g++
  cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DTARVOK_TESTS=OFF > /dev/null
  cmake --build "$root/build/bench" -j"$(nproc)" > /dev/null
  tool=$root/build/bench/Tarvok_WEB
fi
[ -x "$tool" ] || { echo "no tool at $tool: build first (see README.md)" >&2; exit 1; }

work=$(mktemp -d)
shm=
pid=
cleanup() {
  if [ -n "$pid" ] && kill -KILL "$pid" 2> /dev/null; then { wait "$pid"; } 2> /dev/null || true; fi
  rm -rf "$work"
  if [ -n "$shm" ]; then rm -rf "$shm"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
cp "$tool" "$work/Tarvok_WEB"

size_of() { stat -c %s "$1" 2> /dev/null || echo 0; }

# A layout file of one image (file name, type) for the processor type.
layout() {
  cat <<LAYOUT
[BLF_Version]
Blf_Version_Number = V3.0.0
[TIM_Configuration]
Processor_Type = $1
Number_of_Images = 1
[Flash_Properties]
Flash_Family = eMMC
Max_OTA_Image_Size = 0x7FFFFFFF
[Image_List]
1_Image_Enable = 1
1_Image_ID_Name = IMG1
1_Image_Image_ID = 0x494D4731
1_Image_Path = $2
1_Image_Flash_Entry_Address = 0x00100000
1_Image_Type = $3
LAYOUT
}

# Starts the tool with the arguments in its folder, waits until the
# function named ready succeeds, signals the tool and waits for its end.
# Prints the step's line: seconds from signal to exit, and the exit status.
stop_when() {
  local step=$1 ready=$2 start end status=0 deadline
  shift 2
  (cd "$work" && exec ./Tarvok_WEB "$@") > "$work/run.log" 2>&1 &
  pid=$!
  deadline=$(($(date +%s) + 600))
  until "$ready"; do
    if ! kill -0 "$pid" 2> /dev/null; then
      wait "$pid" || status=$?
      pid=
      printf '%-8s ended before the signal, exit %s\n' "$step" "$status"
      return
    fi
    if [ "$(date +%s)" -gt "$deadline" ]; then
      echo "$step: hung before the middle of the step" >&2
      exit 1
    fi
    sleep 0.01
  done
  start=$(date +%s%N)
  if ! kill -TERM "$pid" 2> /dev/null; then
    wait "$pid" || status=$?
    pid=
    printf '%-8s ended before the signal, exit %s\n' "$step" "$status"
    return
  fi
  # A step that never looks at the flag is given two minutes, then killed.
  while kill -0 "$pid" 2> /dev/null && [ $(($(date +%s%N) - start)) -lt 120000000000 ]; do
    sleep 0.01
  done
  if kill -0 "$pid" 2> /dev/null; then
    kill -KILL "$pid"
    { wait "$pid"; } 2> /dev/null || true
    pid=
    printf '%-8s still running 120 s after the signal: killed\n' "$step"
    return
  fi
  wait "$pid" || status=$?
  end=$(date +%s%N)
  pid=
  printf '%-8s %s s from signal to exit, exit %s\n' "$step" "$(seconds $((end - start)))" "$status"
}

# Work files and leftovers of a step, so that the next starts clean.
clear_step() { rm -rf "$work"/*.bin "$work"/*.blf "$work"/*.kxp "$work/temp" "$work/AbsBlfTemp"; }

bytes=$((mib * 1048576))
echo "== SIGTERM in the middle of each long step ($mib MiB images)"

# split: 16 parts; the signal once 8 of them are there.
head -c "$bytes" /dev/urandom > "$work/image.bin"
layout NLT115 image.bin RAW > "$work/split.blf"
part=$(((bytes / 16 + 8191) / 8192 * 8192))
half_split() { [ "$(find "$work/temp" -name '*_image.bin' 2> /dev/null | wc -l)" -ge 8 ]; }
stop_when split half_split -f split.blf -i "$part" -o split.kxp

# copy: only where /dev/shm is another file system than the work folder.
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(stat -c %d /dev/shm)" != "$(stat -c %d "$work")" ]; then
  shm=$(mktemp -d /dev/shm/stop.XXXXXX)
  layout NLT122 image.bin RAW > "$work/copy.blf"
  # Any file of about half the image beside the output is the copy.
  copying() {
    local f
    for f in "$shm"/.* "$shm"/*; do
      [ -f "$f" ] && [ "$(size_of "$f")" -ge $((bytes / 2)) ] && return 0
    done
    return 1
  }
  stop_when copy copying -f copy.blf -i 0x100000 -o "$shm/out.kxp"
  rm -rf "$shm"
  shm=
else
  echo "copy     skipped: /dev/shm is not another file system here"
fi
clear_step

# LZMA: random bytes compress to about their size, slowly; a smaller image.
lzma_bytes=$((bytes / 32))
head -c "$lzma_bytes" /dev/urandom > "$work/image.bin"
layout NLT118 image.bin RAW_LZMA > "$work/lzma.blf"
half_compressed() { [ "$(size_of "$work/AbsBlfTemp/image.bin.lzma")" -ge $((lzma_bytes / 2)) ]; }
stop_when LZMA half_compressed -f lzma.blf -i 0x100000 -o lzma.kxp
clear_step

# YAFFS: whole pages of 2048 bytes with 64-byte spare areas.
pages=$((bytes / 2112))
head -c $((pages * 2112)) /dev/urandom > "$work/image.bin"
layout NLT122 image.bin YAFFS > "$work/yaffs.blf"
half_stored() { [ "$(size_of "$work/temp/BinFile.bin")" -ge $((pages * 2112 / 2)) ]; }
stop_when YAFFS half_stored -f yaffs.blf -i 0x100000 -o yaffs.kxp
clear_step

# layout: just under the 64 MiB a layout file may hold: a value line of
# 32 MiB and about two million short comment lines.
head -c 1024 /dev/urandom > "$work/image.bin"
{
  layout NLT122 image.bin RAW
  printf '1_Image_Comment = '
  head -c $((32 * 1048576)) < <(yes x | tr -d '\n')
  echo
  head -n $((31 * 1048576 / 15)) < <(yes '; a short line')
} > "$work/large.blf"
reading() { grep -q "DoTarvokfileforWebUpgrade" "$work/run.log" && sleep 0.5; }
stop_when layout reading -f large.blf -i 0x100000 -o layout.kxp
clear_step

# signing: the package is whole once the work file "kxp.bin" holds the
# header sector and the image; the digest comes next.
head -c "$bytes" /dev/urandom > "$work/image.bin"
layout NLT122 image.bin RAW > "$work/sign.blf"
openssl genrsa -out "$work/key.pem" 2048 2> /dev/null
package=$((8192 + (bytes + 8191) / 8192 * 8192))
whole() { [ "$(size_of "$work/kxp.bin")" -ge "$package" ]; }
stop_when signing whole -f sign.blf -i 0x100000 -o signed.kxp -s key.pem
clear_step
