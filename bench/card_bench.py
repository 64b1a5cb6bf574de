#!/usr/bin/env python3
"""Reads a full card (fifty loop files of the longest kind, about 26 MB) to its
slot table with loopsmith-cli --info FOLDER, beside `ls -l` of the same folder,
in one run and alternating, and prints the medians (goal: the card at most 10 ms).

    python3 bench/card_bench.py [--cli build/cli/loopsmith-cli] [--runs 31]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile

from compare_cli import timed


def full_card(cli, card):
    """Makes the folder `card` hold fifty loop files of the longest kind (26 MB)."""
    os.makedirs(card)
    take = os.path.join(card, "take.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", take, "synth", "6",
                    "pinknoise"], check=True)
    subprocess.run([cli, "--measure", "off", "take.wav"], cwd=card, check=True,
                   stdout=subprocess.DEVNULL)
    os.remove(take)
    for n in range(2, 51):
        shutil.copy(os.path.join(card, "L01.T58"), os.path.join(card, "L%02d.T58" % n))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/cli/loopsmith-cli")
    parser.add_argument("--runs", type=int, default=31)
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    work = tempfile.mkdtemp()
    try:
        card = os.path.join(work, "card")
        full_card(cli, card)
        times = {"card": [], "ls": []}
        for _ in range(args.runs):
            times["card"].append(timed([cli, "--info", "card"], work))
            times["ls"].append(timed(["ls", "-l", "card"], work))
        card_ms = statistics.median(times["card"])
        ls_ms = statistics.median(times["ls"])
        size = sum(os.path.getsize(os.path.join(card, n)) for n in os.listdir(card))
        print(f"a full card: 50 loop files, {size:,} bytes, medians of {args.runs}:")
        print(f"  loopsmith-cli --info card (the slot table)   {card_ms:6.2f} ms   (goal: 10 ms at most)")
        print(f"  ls -l card                                   {ls_ms:6.2f} ms")
        print(f"  ratio                                        {card_ms / ls_ms:6.2f}")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
