#!/usr/bin/env bash
# A file with a second hard link, on a disk filled to 35 levels around what
# the new loop needs: each conversion either writes the new loop into both
# names or fails and leaves the old bytes in both. A small tmpfs is the disk.
#   tests/full_disk.sh LOOPSMITH_CLI [RUNNER]
# RUNNER runs the program (scripts/wine-run.sh for the Windows build).
# Skipped, with a line saying so, where a tmpfs cannot be mounted (not root).
set -euo pipefail
cli=$(realpath "$1")
runner=(${2:+"$(realpath "$2")"})
work=$(mktemp -d)
disk=$work/disk
cleanup() {
  umount "$disk" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$disk"
if ! mount -t tmpfs -o size=4m tmpfs "$disk" 2>/dev/null; then
  echo "full disk: skipped, a tmpfs cannot be mounted here"
  exit 0
fi
sox -V1 -n -r 44100 -c 1 -b 16 "$work/old.wav" synth 1 sine 220
sox -V1 -n -r 44100 -c 2 -b 16 "$work/new.wav" synth 6 sine 330
(cd "$work" && "${runner[@]}" "$cli" --measure off new.wav >/dev/null && mv L01.T58 new.T58 &&
  "${runner[@]}" "$cli" old.wav >/dev/null && mv L01.T58 old.T58)

levels=0
wrong=0
# Free space from nothing to well past what the new loop and its temporary file need.
for ((free = 0; free <= 1700; free += 50)); do
  rm -rf "${disk:?}"/*
  cp "$work/new.wav" "$disk/take.wav"
  cp "$work/old.T58" "$disk/L01.T58"
  ln "$disk/L01.T58" "$disk/keep.T58"
  avail=$(($(stat -f -c '%a*%S' "$disk")))
  fill=$((avail - free * 1024))
  ((fill > 0)) && { head -c "$fill" /dev/zero >"$disk/filler" 2>/dev/null || true; }
  status=0
  (cd "$disk" && "${runner[@]}" "$cli" --measure off take.wav) >/dev/null 2>&1 || status=$?
  levels=$((levels + 1))
  if ((status == 0)) && cmp -s "$disk/keep.T58" "$work/new.T58"; then
    continue
  fi
  if ((status != 0)) && cmp -s "$disk/keep.T58" "$work/old.T58"; then
    continue
  fi
  wrong=$((wrong + 1))
  echo "full disk: ${free} KiB free: exit $status, keep.T58 is neither the old loop whole nor the new one"
done
echo "full disk: $levels fill levels, $wrong wrong"
((wrong == 0))
