#!/usr/bin/env python3
"""Times `loopsmith-cli --adapt` on a 6 s 48 kHz 24-bit stereo FLAC file against
the sox pipeline that does the same (sox to a 44,100 Hz 16-bit WAV file, then
the strict conversion), alternating in one run, and prints the medians and
their ratio (goal: 1.0 at most).

    python3 bench/compare_adapt.py [--cli build/cli/loopsmith-cli] [--runs 30]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def timed(commands, cwd):
    start = time.perf_counter_ns()
    for argv in commands:
        subprocess.run(argv, cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    return (time.perf_counter_ns() - start) / 1e6


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/cli/loopsmith-cli")
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    folder = tempfile.mkdtemp()
    try:
        subprocess.run(["sox", "-n", "-r", "48000", "-b", "24", "-c", "2", "take.flac", "synth",
                        "6", "pluck", "C3", "pluck", "G3", "vol", "0.5"], cwd=folder, check=True)
        ours = [cli, "--adapt", "take.flac"]
        pipeline = [["sox", "-D", "take.flac", "-r", "44100", "-b", "16", "take.wav"],
                    [cli, "take.wav"]]
        timed([ours], folder)
        timed(pipeline, folder)
        adapt_ms, sox_ms = [], []
        for _ in range(args.runs):
            adapt_ms.append(timed([ours], folder))
            sox_ms.append(timed(pipeline, folder))
        a, s = statistics.median(adapt_ms), statistics.median(sox_ms)
        print("%-52s %10s" % ("6 s, 48 kHz, 24-bit stereo FLAC to L01.T58", "median ms"))
        print("%-52s %10.1f" % ("loopsmith-cli --adapt take.flac", a))
        print("%-52s %10.1f" % ("sox -D take.flac -r 44100 -b 16 take.wav + loopsmith-cli", s))
        print("%-52s %10.2f   (goal 1.0 at most)" % ("ratio --adapt / sox pipeline", a / s))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
