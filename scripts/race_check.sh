#!/usr/bin/env bash
# Two runs at once on one card, many rounds: no loop may be lost, and no run
# may say it wrote a loop that is not there. A measurement, not a test:
#   scripts/race_check.sh LOOPSMITH_CLI FOLDER [ROUNDS]
# FOLDER is where the rounds run (a FAT mount, say); ROUNDS defaults to 100.
# Prints one line a pair: rounds, loops lost, runs that failed. Where strace
# is at hand each rename is held up 50 ms, which widens any window between
# finding a name free and taking it from microseconds to something a round hits.
set -uo pipefail
cli=$(realpath "$1")
where=$2
rounds=${3:-100}
slow=""
if command -v strace >/dev/null; then
  slow="strace -f -qq -o /dev/null -e trace=renameat,renameat2 -e inject=renameat:delay_enter=50000"
fi
ref=$(mktemp -d)
trap 'rm -rf "$ref"' EXIT
for k in 1 2 3 4; do
  sox -n -r 44100 -c 1 -b 16 "$ref/t$k.wav" synth 3 sine $((200 * k))
  (cd "$ref" && "$cli" --number "$k" "t$k.wav" >/dev/null)
done

# Lays out L01-L03 (loops 1-3) and t4.wav, whose loop is 4.
lay_out() {
  rm -rf "$where/run" && mkdir "$where/run"
  for k in 1 2 3; do cp "$ref/L0$k.T58" "$where/run/L0$k.T58"; done
  cp "$ref/t4.wav" "$where/run/t4.wav"
  cp "$ref/t4.wav" "$where/run/u4.wav"
}
# How many slots hold loop $1.
held() {
  local f n=0
  for f in "$where"/run/L*.T58; do
    [[ -e $f ]] && cmp -s "$f" "$ref/L0$1.T58" && n=$((n + 1))
  done
  echo "$n"
}
# Whether a loop is lost: one of loops 1-3 in no slot, or fewer copies of
# loop 4 than the conversions that said they wrote it ($1).
lost() {
  local k
  for k in 1 2 3; do (($(held "$k") == 0)) && return 0; done
  (($(held 4) < $1))
}
# $1: the pair's name; $2 $3: the two runs, as words for the shell (run in the folder).
pair() {
  local lost=0 failed=0 round a b wrote
  for ((round = 0; round < rounds; round++)); do
    lay_out
    (cd "$where/run" && eval "$slow $cli $2" >/dev/null 2>&1) &
    a=$!
    (cd "$where/run" && eval "$slow $cli $3" >/dev/null 2>&1) &
    b=$!
    wait "$a"; ra=$?
    wait "$b"; rb=$?
    ((ra != 0 || rb != 0)) && failed=$((failed + 1))
    # What is left of a swap cut short is finished by the next operation.
    (cd "$where/run" && "$cli" --remove 49 . >/dev/null 2>&1)
    wrote=0
    [[ $2 == *.wav ]] && ((ra == 0)) && wrote=$((wrote + 1))
    [[ $3 == *.wav ]] && ((rb == 0)) && wrote=$((wrote + 1))
    lost "$wrote" && lost=$((lost + 1))
  done
  echo "$1: $rounds rounds, $lost with a loop lost, $failed with a run refused"
}
pair "--number free beside --number free" "--number free t4.wav" "--number free u4.wav"
pair "--move beside -n" "--move 1 5 ." "-n --number 5 t4.wav"
pair "--number free beside --move" "--number free t4.wav" "--move 1 4 ."
pair "--swap beside --swap" "--swap 1 2 ." "--swap 2 3 ."

# Many writers into one folder at once: none may be refused, and every
# loop must be there, whole.
many() {
  local title=$1 rounds=$2 runs=$3 refused=0 missing=0 round k
  shift 3
  for ((round = 0; round < rounds; round++)); do
    lay_out
    for ((k = 1; k <= runs; k++)); do
      (cd "$where/run" && eval "$slow $cli $(printf -- "$1" "$k")" >/dev/null 2>&1) &
    done
    wait_all=0
    for job in $(jobs -p); do wait "$job" || wait_all=1; done
    ((wait_all != 0)) && refused=$((refused + 1))
    for f in $2; do
      [[ -e $where/run/$f ]] && (cd "$where/run" && "$cli" --info "$f" >/dev/null 2>&1) ||
        { missing=$((missing + 1)) && break; }
    done
  done
  echo "$title: $rounds rounds, $refused with a run refused, $missing with a loop missing or broken"
}
many "8 writers to one number" 50 8 "--number 1 t4.wav" "L01.T58"
many "4 overlapping batches" 20 4 "--number %d t4.wav u4.wav t4.wav u4.wav" "L02.T58 L03.T58 L04.T58 L05.T58 L06.T58 L07.T58"
many "50 writers to distinct numbers" 10 50 "--number %d t4.wav" "$(printf 'L%02d.T58 ' $(seq 1 50))"

# Where no lock can be had (flock fails with ENOLCK, as on a share whose lock
# daemon is gone): a copy over a hard-linked loop, its writes slowed, beside a
# second conversion into the folder. The linked names must agree and hold
# the old loop or the new one, whole.
if [[ -n $slow ]]; then
  torn=0
  for ((round = 0; round < 20; round++)); do
    lay_out
    ln "$where/run/L01.T58" "$where/run/card.T58"
    nolock="strace -f -qq -o /dev/null -e inject=flock:error=ENOLCK"
    (cd "$where/run" && $nolock -e inject=pwrite64:delay_enter=50000 "$cli" --number 1 t4.wav \
      >/dev/null 2>&1) &
    sleep 0.2
    (cd "$where/run" && $nolock "$cli" --number 9 u4.wav >/dev/null 2>&1)
    wait
    if ! cmp -s "$where/run/L01.T58" "$where/run/card.T58" ||
      { ! cmp -s "$where/run/L01.T58" "$ref/L01.T58" && ! cmp -s "$where/run/L01.T58" "$ref/L04.T58"; }; then
      torn=$((torn + 1))
    fi
  done
  echo "no lock, a copy over a linked loop beside a conversion: 20 rounds, $torn torn"
fi
