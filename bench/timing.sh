# Timing helpers for the benchmark scripts; source it. RUNS (default 3)
# sets how many runs best_of takes.

# need PROGRAM PACKAGE...: ends the script, naming the program and the
# Debian packages that bring it, when the program is not there.
need() {
  local program=$1
  shift
  command -v "$program" > /dev/null ||
    { echo "$program is missing: apt-get install $*" >&2; exit 1; }
}

# Nanoseconds of the fastest of RUNS runs of the command.
best_of() {
  local best=0 start end t r
  for ((r = 0; r < ${RUNS:-3}; r++)); do
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1
    end=$(date +%s%N)
    t=$((end - start))
    if [ "$best" -eq 0 ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

# n nanoseconds as seconds with three decimals.
seconds() { printf '%d.%03d' $(($1 / 1000000000)) $((($1 / 1000000) % 1000)); }

# a / b with two decimals.
ratio() { local r=$(($1 * 100 / $2)); printf '%d.%02d' $((r / 100)) $((r % 100)); }
