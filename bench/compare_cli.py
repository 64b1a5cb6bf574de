#!/usr/bin/env python3
"""Times loopsmith-cli against sox doing comparable work and against cp of the
same files, over a batch of the largest stereo WAV files (262,144 frames), in
one run and alternating, and prints the median ratios and the peak resident
memory of one conversion.

    python3 bench/compare_cli.py [--cli build/cli/loopsmith-cli] [--files 200]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def timed(argv, cwd):
    start = time.perf_counter_ns()
    subprocess.run(argv, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (time.perf_counter_ns() - start) / 1e6


def peak_rss_kib(argv, cwd):
    # GNU time forks from a small process of its own; a fork from this Python
    # would count Python's memory as the child's peak.
    out = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, cwd=cwd, check=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(out.stderr.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/cli/loopsmith-cli")
    parser.add_argument("--files", type=int, default=200)
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    sox = shutil.which("sox")
    cp = shutil.which("cp")

    with tempfile.TemporaryDirectory(prefix="loopsmith-compare-") as work:
        # Each file in a folder of its own, so that every tool writes a new file,
        # as a user converting a fresh take does.
        names = []
        for i in range(args.files):
            name = f"take{i:03d}/take.wav"
            os.mkdir(os.path.join(work, f"take{i:03d}"))
            subprocess.run([sox, "-r", "44100", "-c", "2", "-n", "-b", "16", name,
                            "synth", "262144s", "whitenoise", "vol", "0.5"], cwd=work, check=True)
            names.append(name)

        ours, theirs, copies = [], [], []
        for i, name in enumerate(names):
            runs = [
                ("ours", [cli, "--bpm", "40", "--measure", "off", name]),
                ("sox", [sox, name, "-c", "1", "-t", "raw", "-e", "signed", "-b", "16", "-B",
                         name + ".raw"]),
                ("cp", [cp, name, name + ".copy"]),
            ]
            # Alternate the order so that no tool always runs on a warm cache.
            runs = runs[i % 3:] + runs[:i % 3]
            for label, argv in runs:
                took = timed(argv, work)
                {"ours": ours, "sox": theirs, "cp": copies}[label].append(took)

        med = statistics.median
        print(f"files: {len(names)}, each 262,144 stereo frames ({os.path.getsize(os.path.join(work, names[0])):,} bytes)")
        print(f"median ms per file: loopsmith-cli {med(ours):.2f}, sox {med(theirs):.2f}, cp {med(copies):.2f}")
        print(f"median ratio loopsmith-cli / sox: {med([a / b for a, b in zip(ours, theirs)]):.2f}")
        print(f"median ratio loopsmith-cli / cp:  {med([a / b for a, b in zip(ours, copies)]):.2f}")
        os.remove(os.path.join(work, os.path.dirname(names[0]), "L01.T58"))
        rss = peak_rss_kib([cli, "--bpm", "40", "--measure", "off", names[0]], work)
        print(f"peak resident memory of one conversion: {rss / 1024:.2f} MiB")


if __name__ == "__main__":
    main()
