#!/usr/bin/env bash
# Kills a conversion at every system call it makes (strace's fault injection)
# and checks what is left, for an output that is new, one that replaces a
# file, and one that is copied over a file with a second hard link (and a
# card's swap of two numbers, likewise):
#   - a look (`--info`) changes nothing in the folder;
#   - the output's name holds the old loop or the new one, whole, once the
#     next output into the folder has run (it puts a journal back);
#   - no file of ours is left in the folder once the next output is written
#     there (it removes the strays of a killed run).
#   tests/kill_sweep.sh LOOPSMITH_CLI
# Skipped, with a line saying so, where strace or sox is missing.
set -euo pipefail
cli=$(realpath "$1")
for tool in strace sox; do
  if ! command -v "$tool" >/dev/null; then
    echo "kill sweep: skipped, $tool is not installed"
    exit 0
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/ref"
sox -n -r 44100 -c 2 -b 16 "$work/ref/old.wav" synth 1 square 220
sox -n -r 44100 -c 2 -b 16 "$work/new.wav" synth 1.5 sine 330
cp "$work/new.wav" "$work/ref/new.wav"
(cd "$work/ref" && "$cli" old.wav >/dev/null && mv L01.T58 old.T58 &&
  "$cli" new.wav >/dev/null && mv L01.T58 new.T58)

# $1: the case; makes $work/run as that case finds it.
lay_out() {
  rm -rf "$work/run" && mkdir "$work/run"
  cp "$work/new.wav" "$work/run/take.wav"
  case $1 in
    new) ;;
    replace) cp "$work/ref/old.T58" "$work/run/L01.T58" ;;
    linked)
      cp "$work/ref/old.T58" "$work/run/L01.T58"
      ln "$work/run/L01.T58" "$work/run/card.T58"
      ;;
  esac
}

# Every name in the run's folder with its size and bytes.
state() { (cd "$work/run" && find . -exec ls -ld --time-style=+ {} + | awk '{print $5, $NF}' | sort &&
  find . -type f -exec md5sum {} + | sort) || true; }

points=0
failures=0
# Calls that touch no file (the process starting, memory) cannot leave one
# behind; killing there tells nothing.
skip() {
  case $1 in
    execve | exit_group | brk | mmap | munmap | mprotect | arch_prctl | set_tid_address | \
      set_robust_list | rseq | prlimit64 | getrandom | futex | rt_sigaction | rt_sigprocmask) return 0 ;;
  esac
  return 1
}
for case in new replace linked; do
  lay_out "$case"
  (cd "$work/run" && strace -f -qq -o "$work/trace" "$cli" take.wav >/dev/null)
  # Each call as its name and its count among calls of that name, which is
  # what strace's injection counts.
  mapfile -t calls < <(sed -E 's/^[0-9]+ +//; s/\(.*//' "$work/trace" | grep -E '^[a-z_0-9]+$' |
    awk '{ seen[$1]++; print $1 ":" seen[$1] }')
  for call in "${calls[@]}"; do
    name=${call%%:*} nth=${call##*:}
    skip "$name" && continue
    lay_out "$case"
    # The shell's own "Killed" line goes nowhere too.
    { (cd "$work/run" && strace -f -qq -o /dev/null -e trace="$name" \
      -e inject="$name":signal=KILL:when="$nth" "$cli" take.wav) >/dev/null 2>&1; } 2>/dev/null || true
    points=$((points + 1))
    verdict=""
    # A look writes nothing; the next output into the folder puts a journal back.
    before=$(state)
    (cd "$work/run" && "$cli" --info L01.T58 . >/dev/null 2>&1) || true
    after=$(state)
    [[ $before == "$after" ]] || verdict="--info changed the folder"
    (cd "$work/run" && "$cli" --number 2 take.wav >/dev/null 2>&1) || true
    if [[ -n $verdict ]]; then
      :
    elif [[ -e $work/run/L01.T58 ]]; then
      if ! (cd "$work/run" && "$cli" --info L01.T58 >/dev/null 2>&1); then
        verdict="--info refuses L01.T58"
      elif ! cmp -s "$work/run/L01.T58" "$work/ref/old.T58" &&
        ! cmp -s "$work/run/L01.T58" "$work/ref/new.T58"; then
        verdict="L01.T58 is neither the old loop nor the new one"
      elif [[ $case == linked ]] && ! cmp -s "$work/run/L01.T58" "$work/run/card.T58"; then
        verdict="the hard links differ"
      fi
    elif [[ $case != new ]]; then
      verdict="L01.T58 is gone"
    fi
    if [[ -z $verdict ]]; then
      strays=$(cd "$work/run" && ls -A | grep '^\.loopsmith-' || true)
      [[ -z $strays ]] || verdict="left behind: $strays"
    fi
    if [[ -n $verdict ]]; then
      failures=$((failures + 1))
      echo "kill sweep: $case, killed at $name #$nth: $verdict"
    fi
  done
done
# A card's swap killed at each call: once the next operation on the card has
# run, numbers 3 and 7 hold the two loops, swapped or not, and nothing else is left.
lay_swap() {
  rm -rf "$work/run" && mkdir "$work/run"
  cp "$work/ref/old.T58" "$work/run/L03.T58"
  cp "$work/ref/new.T58" "$work/run/L07.T58"
}
lay_swap
(cd "$work/run" && strace -f -qq -o "$work/trace" "$cli" --swap 3 7 . >/dev/null)
mapfile -t calls < <(sed -E 's/^[0-9]+ +//; s/\(.*//' "$work/trace" | grep -E '^[a-z_0-9]+$' |
  awk '{ seen[$1]++; print $1 ":" seen[$1] }')
for call in "${calls[@]}"; do
  name=${call%%:*} nth=${call##*:}
  skip "$name" && continue
  lay_swap
  { (cd "$work/run" && strace -f -qq -o /dev/null -e trace="$name" \
    -e inject="$name":signal=KILL:when="$nth" "$cli" --swap 3 7 .) >/dev/null 2>&1; } 2>/dev/null || true
  points=$((points + 1))
  (cd "$work/run" && "$cli" --remove 49 . >/dev/null 2>&1) || true
  left=$(cd "$work/run" && ls -A | tr '\n' ' ')
  pair=$(cd "$work/run" && cat L03.T58 L07.T58 2>/dev/null | md5sum)
  if [[ $left != "L03.T58 L07.T58 " ]] ||
    { [[ $pair != "$(cat "$work/ref/old.T58" "$work/ref/new.T58" | md5sum)" ]] &&
      [[ $pair != "$(cat "$work/ref/new.T58" "$work/ref/old.T58" | md5sum)" ]]; }; then
    failures=$((failures + 1))
    echo "kill sweep: swap, killed at $name #$nth: left $left"
  fi
done
echo "kill sweep: $points kill points, $failures wrong"
((failures == 0))
