#!/usr/bin/env bash
# An input rewritten in place, at the same size, while it is read, on a FAT
# file system (fusefat), whose 2-second times cannot show the change: each
# read of the conversion in turn is held up (strace) while another program
# rewrites the file. The result must be A's loop, B's loop, or a refusal:
# never a mix with exit 0.
#   tests/fat_change_check.sh LOOPSMITH_CLI [EVERY]
# EVERY: try every EVERY-th read (default 1: all). Skipped, with a line
# saying so, where fusefat, mkfs.vfat, strace or sox is missing, or where
# FUSE cannot be mounted.
set -euo pipefail
cli=$(realpath "$1")
every=${2:-1}
for tool in fusefat mkfs.vfat strace sox fusermount; do
  if ! command -v "$tool" >/dev/null; then
    echo "FAT change check: skipped, $tool is not installed"
    exit 0
  fi
done
work=$(mktemp -d)
mnt=$work/m
cleanup() {
  fusermount -u "$mnt" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$mnt" "$work/ref"

points=0
wrong=0
# $1: the case's name, $2 the sample rate, then the options. fusefat writes
# new files well but not always a file cut short and written again, so each
# case has a new card, and the input is put back by overwriting it in place.
sweep() {
  local name=$1 rate=$2
  shift 2
  sox -V1 -n -r "$rate" -c 2 -b 16 "$work/ref/A.wav" synth 5 sine 330
  sox -V1 -n -r "$rate" -c 2 -b 16 "$work/ref/B.wav" synth 5 square 220
  for v in A B; do
    (cd "$work/ref" && "$cli" "$@" $v.wav >/dev/null && mv L01.T58 $v.T58)
  done
  fusermount -u "$mnt" 2>/dev/null || true
  rm -f "$work/f.img"
  truncate -s 32M "$work/f.img"
  mkfs.vfat "$work/f.img" >/dev/null
  if ! fusefat -o rw+ "$work/f.img" "$mnt" >/dev/null 2>&1; then
    echo "FAT change check: skipped, FUSE cannot be mounted here"
    exit 0
  fi
  cp "$work/ref/A.wav" "$work/ref/B.wav" "$mnt/"
  cp "$work/ref/A.wav" "$mnt/in.wav"
  local reads
  reads=$(cd "$mnt" && strace -f -qq -e trace=read -o "$work/trace" "$cli" "$@" in.wav >/dev/null &&
    grep -c '^[0-9]* *read(' "$work/trace")
  for ((n = 1; n <= reads; n += every)); do
    dd if="$mnt/A.wav" of="$mnt/in.wav" conv=notrunc status=none
    rm -f "$mnt/L01.T58"
    (cd "$mnt" && strace -f -qq -o /dev/null -e trace=read \
      -e inject=read:delay_enter=300000:when="$n" "$cli" "$@" in.wav) >/dev/null 2>&1 &
    sleep 0.1
    dd if="$mnt/B.wav" of="$mnt/in.wav" conv=notrunc status=none
    local status=0
    wait $! || status=$?
    points=$((points + 1))
    if ((status == 0)) && ! cmp -s "$mnt/L01.T58" "$work/ref/A.T58" &&
      ! cmp -s "$mnt/L01.T58" "$work/ref/B.T58"; then
      wrong=$((wrong + 1))
      echo "FAT change check: $name, read $n held up: a loop of neither file, exit 0"
    fi
  done
}

sweep "44.1 kHz WAV" 44100 --measure off
if "$cli" --help | grep -q -e --adapt; then
  sweep "48 kHz WAV, --adapt" 48000 --adapt --measure off
fi
echo "FAT change check: $points read points, $wrong wrong"
((wrong == 0))
