# The fuzzers' seeds and settings, sourced by .ci/run and bench/parse.sh so
# that the CI's fuzzing and the benchmark's start from the same inputs.

# The settings every fuzzing run is given besides its time, dictionary and
# corpus.
fuzz_options=(-close_fd_mask=1 -rss_limit_mb=2048 -timeout=20 -max_len=8192 -print_final_stats=1)

# fuzz_seeds reader|conversion: the seed files of the fuzzer, paths from the
# top of the tree in the current folder, each ended by a NUL. The reader's
# are every layout file among the fixtures and every fuzz fixture of its
# own; the conversion's are its own fixtures, each an older-format layout
# file and its flasher settings file. Inputs kept because they once took
# too long ("-slow-", "-timeout-") are replayed by the tests instead: as
# seeds, their mutants would take most of the minute, at a tenth of the
# executions a second.
fuzz_seeds() {
  case $1 in
    reader)
      find tests/fixtures -type f \( -name '*.blf' -o -path 'tests/fixtures/fuzz/*' \) \
        ! -name '*-slow-*' ! -name '*-timeout-*' -print0 ;;
    conversion)
      find tests/fixtures/fuzz-old -type f ! -name '*-slow-*' ! -name '*-timeout-*' -print0 ;;
  esac
}

# fuzz_corpus CORPUS TREE SEED...: copies each seed (a path from the top of
# TREE) into the folder CORPUS, named after its path, so that equal file
# names in two folders both count.
fuzz_corpus() {
  local corpus=$1 tree=$2 seed name
  shift 2
  for seed in "$@"; do
    name=${seed#tests/fixtures/}
    cp "$tree/$seed" "$corpus/${name//\//_}"
  done
}
