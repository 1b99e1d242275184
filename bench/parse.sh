#!/usr/bin/env bash
# How the layout reader scales: a 1000-image layout against a 30-image one
# (best of three each, side by side), the peak memory and time of layouts
# at the 64 MiB limit (lines of 128 bytes; one long last line), and the
# seconds from SIGTERM to exit during such a layout. With a git revision,
# also the fuzzers' executions a second on the CI seeds, this tree's build
# against the revision's, all running at the same time so that they share
# the machine's load, the median of a few rounds (builds in
# build/bench-fuzz-*). The fuzzers start from the seeds, and with the
# settings, that .ci/run gives them (.ci/fuzz-seeds.sh), taken from the
# revision's tree for both.
# Needs python3; with a revision also git, cmake, make and clang with the
# libFuzzer runtime (libclang-rt-14-dev), and the revision in this
# repository.
#   bench/parse.sh [tool] [revision to compare the fuzzers against]
set -euo pipefail

tool=${1:-build/Tarvok_WEB}
revision=${2:-}
fuzz_seconds=${FUZZ_SECONDS:-60}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/timing.sh"
need python3 python3
if [ -n "$revision" ]; then
  need git git
  need cmake cmake
  need make make
  need clang++ clang libclang-rt-14-dev
  git -C "$here/.." rev-parse --verify --quiet "$revision^{commit}" > /dev/null ||
    { echo "no revision $revision in the repository at $here/.." >&2; exit 1; }
fi
[ -x "$tool" ] || { echo "no tool at $tool: build first (see README.md)" >&2; exit 1; }

work=$(mktemp -d)
cleanup() {
  if [ -n "${old_tree:-}" ]; then git -C "$here/.." worktree remove --force "$old_tree" > /dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cp "$tool" "$work/Tarvok_WEB"
head -c 4096 /dev/urandom > "$work/image.bin"

# layout COUNT: a layout of COUNT images that all use image.bin, each with
# the keys a real one has. A package holds at most 30 images, so a run of
# more ends with that error once the layout is read: the 30-image run does
# all the 1000-image one does, and builds its package as well.
layout() {
  local count=$1 i
  echo "[BLF_Version]"
  echo "Blf_Version_Number = V3.0.0"
  echo "[TIM_Configuration]"
  echo "Processor_Type = NLT122"
  echo "Trusted = 0"
  echo "Number_of_Images = $count"
  echo "[Flash_Properties]"
  echo "Flash_Family = eMMC"
  echo "Max_OTA_Image_Size = 0x7FFFFFFF"
  echo "[Image_List]"
  for ((i = 1; i <= count; i++)); do
    printf '%s_Image_Enable = %s\n%s_Image_Tim_Included = 0\n%s_Image_Image_ID = 0x%08X\n' "$i" 1 "$i" "$i" "$i"
    printf '%s_Image_ID_Name = IMG%s\n%s_Image_Next_Image_ID = 0xFFFFFFFF\n' "$i" "$i" "$i"
    printf '%s_Image_Path = image.bin\n%s_Image_Flash_Entry_Address = 0x%08X\n' "$i" "$i" $((i * 0x10000))
    printf '%s_Image_Load_Address = 0xFFFFFFFF\n%s_Image_Type = RAW\n%s_Image_Erase_Size = 0x10000\n' "$i" "$i" "$i"
    printf '%s_Image_Partition_Number = 0\n' "$i"
  done
}

layout 30 > "$work/images-30.blf"
layout 1000 > "$work/images-1000.blf"

# The two layouts at the limit: the 30-image layout and then a section of
# 128-byte lines, or one long line, up to 64 MiB.
limit=$((64 * 1024 * 1024))
python3 - "$work" "$limit" << 'EOF'
import sys
work, limit = sys.argv[1], int(sys.argv[2])
base = open(f"{work}/images-30.blf", "rb").read() + b"[Padding]\n"
line = b"Padding_Text = " + b"x" * (128 - len("Padding_Text = ") - 1) + b"\n"
lines = (limit - len(base)) // len(line)
with open(f"{work}/lines-128.blf", "wb") as f:
    f.write(base + line * lines)
with open(f"{work}/long-line.blf", "wb") as f:
    f.write(base + b"Padding_Text = " + b"x" * (limit - len(base) - len("Padding_Text = ")))
with open(f"{work}/headers.blf", "wb") as f:
    f.write(base + b"[Section]\n" * ((limit - len(base)) // len(b"[Section]\n")))
EOF

build() { (cd "$work" && ./Tarvok_WEB -f "$1" -i 0x100000 -o out.kxp); }
build images-30.blf > "$work/images-30.log" 2>&1 || { echo "the 30-image build failed" >&2; exit 1; }
build images-1000.blf > "$work/images-1000.log" 2>&1 || true
grep -q "Number of images in blf file is 1000" "$work/images-1000.log" || { echo "the 1000-image layout was not read" >&2; exit 1; }

small=0 large=0
for ((round = 0; round < 3; round++)); do
  t=$(RUNS=1 best_of build images-30.blf)
  if [ "$small" -eq 0 ] || [ "$t" -lt "$small" ]; then small=$t; fi
  t=$(RUNS=1 best_of build images-1000.blf)
  if [ "$large" -eq 0 ] || [ "$t" -lt "$large" ]; then large=$t; fi
done
printf '30 images:   %s s\n1000 images: %s s\nratio:       %s (aim: 3 or less)\n' \
  "$(seconds "$small")" "$(seconds "$large")" "$(ratio "$large" "$small")"

# measure run|stop LAYOUT: one build in a process of its own, so that the
# peak memory of its children is the build's; "stop" sends SIGTERM a
# little after the run says it reads the layout.
cat > "$work/measure.py" << 'EOF'
import resource, signal, subprocess, sys, time
mode, blf = sys.argv[1], sys.argv[2]
log_path = f"{blf}.{mode}.log"
with open(log_path, "wb") as log:
    start = time.monotonic()
    child = subprocess.Popen(["./Tarvok_WEB", "-f", blf, "-i", "0x100000", "-o", "out.kxp"],
                             stdout=log, stderr=subprocess.STDOUT)
    if mode == "stop":
        deadline = time.monotonic() + 120
        while b"Parsing Blf file" not in open(log_path, "rb").read():
            if child.poll() is not None or time.monotonic() > deadline:
                sys.exit(f"the run of {blf} ended or hung before it read the layout")
            time.sleep(0.005)
        time.sleep(0.1)
        start = time.monotonic()
        child.send_signal(signal.SIGTERM)
    code = child.wait()
    seconds = time.monotonic() - start
# The exit status as a shell reports it: 128 + N for a death by signal N,
# as a stopped run ends.
code = 128 - code if code < 0 else code
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0
if mode == "stop":
    print(f"stop during {blf}: exit {code}, {seconds:.3f} s from SIGTERM to exit (aim: 1 or less)")
else:
    print(f"{blf}: exit {code}, {seconds:.2f} s (aim: 10 or less), peak {peak:.0f} MiB (aim: under 512)")
EOF
for blf in lines-128.blf long-line.blf headers.blf; do (cd "$work" && python3 measure.py run "$blf"); done
for blf in lines-128.blf long-line.blf headers.blf; do (cd "$work" && python3 measure.py stop "$blf"); done

[ -n "$revision" ] || exit 0

# The fuzzers of this tree and of the revision, each run for FUZZ_SECONDS
# from the revision's fixtures, chosen and named as .ci/run chooses and
# names this tree's.
old_tree="$work/old-tree"
git -C "$here/.." worktree add --detach "$old_tree" "$revision" > /dev/null 2>&1 ||
  { echo "cannot check out $revision into $old_tree" >&2; exit 1; }
fuzz_build() {  # SOURCE BUILD
  CC=clang CXX=clang++ cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVOK_FUZZ=ON > /dev/null
  cmake --build "$2" -j4 --target blf_fuzzer old_blf_fuzzer > /dev/null
}
fuzz_build "$here/.." "$here/../build/bench-fuzz-new"
# The revision's tree stands in a new folder each time: its build starts
# afresh, as a build folder keeps the source folder it was made for.
rm -rf "$here/../build/bench-fuzz-old"
fuzz_build "$old_tree" "$here/../build/bench-fuzz-old"

source "$here/../.ci/fuzz-seeds.sh"
mapfile -d '' reader_seeds < <(cd "$old_tree" && fuzz_seeds reader)
mapfile -d '' conversion_seeds < <(cd "$old_tree" && fuzz_seeds conversion)
# execs FUZZER DICTIONARY SEEDS...: the executions a second of one run.
execs() {
  local fuzzer=$1 dict=$2 corpus
  shift 2
  corpus=$(mktemp -d -p "$work")
  fuzz_corpus "$corpus" "$old_tree" "$@"
  "$fuzzer" -dict="$old_tree/$dict" -max_total_time="$fuzz_seconds" "${fuzz_options[@]}" \
    -artifact_prefix="$work/" "$corpus" 2>&1 \
    | sed -n 's/^stat::average_exec_per_sec: *//p' | tail -1
}
# One minute of fuzzing varies by a third from run to run, with what the
# fuzzer happens to find: FUZZ_ROUNDS rounds (default 3), the four
# fuzzers of a round at the same time, and the medians are compared.
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
rounds=${FUZZ_ROUNDS:-3}
for ((round = 1; round <= rounds; round++)); do
  for name in blf_fuzzer old_blf_fuzzer; do
    if [ "$name" = blf_fuzzer ]; then dict=tests/fuzz/blf.dict; seeds=("${reader_seeds[@]}");
    else dict=tests/fuzz/old-blf.dict; seeds=("${conversion_seeds[@]}"); fi
    execs "$here/../build/bench-fuzz-old/$name" "$dict" "${seeds[@]}" > "$work/$name.old.$round" &
    execs "$here/../build/bench-fuzz-new/$name" "$dict" "${seeds[@]}" > "$work/$name.new.$round" &
  done
  wait
done
for name in blf_fuzzer old_blf_fuzzer; do
  olds=() news=()
  for ((round = 1; round <= rounds; round++)); do
    olds+=("$(cat "$work/$name.old.$round")")
    news+=("$(cat "$work/$name.new.$round")")
  done
  old=$(median "${olds[@]}")
  new=$(median "${news[@]}")
  printf '%s: %s exec/s at %s (rounds: %s), %s exec/s here (rounds: %s), ratio of the medians %s\n' \
    "$name" "$old" "$revision" "${olds[*]}" "$new" "${news[*]}" "$(ratio "$new" "$((old > 0 ? old : 1))")"
done
