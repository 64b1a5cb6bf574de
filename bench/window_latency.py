#!/usr/bin/env python3
"""Times the windows on a real X server (Xvfb with openbox), alternating runs
in one go, and prints the medians side by side:

- process start to the main window mapped, against a bare Qt dialog of the
  same toolkit (goal: within 1.2x);
- a drop of the largest WAV file (262,144 stereo frames) to the Loop
  Parameters dialog mapped (goal: under 50 ms).

    python3 bench/window_latency.py [--bench build/bench/window_latency] [--runs 15]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def run(argv, env):
    env = dict(env, LOOPSMITH_T0=str(time.time_ns()))
    out = subprocess.run(argv, env=env, check=True, capture_output=True, text=True, timeout=30)
    return float(out.stdout.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", default="build/bench/window_latency")
    parser.add_argument("--runs", type=int, default=15)
    args = parser.parse_args()
    bench = os.path.abspath(args.bench)
    display = ":%d" % (90 + os.getpid() % 100)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1024x768x24"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    time.sleep(1)
    wm = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    folder = tempfile.mkdtemp()
    try:
        wav = os.path.join(folder, "largest.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", wav, "synth",
                        str(262144 / 44100), "pinknoise"], check=True)
        run([bench, "bare"], env)  # warm the caches for both
        main_ms, bare_ms, drop_ms = [], [], []
        for _ in range(args.runs):
            main_ms.append(run([bench, "main"], env))
            bare_ms.append(run([bench, "bare"], env))
            drop_ms.append(run([bench, "drop", wav], env))
        main_med, bare_med = statistics.median(main_ms), statistics.median(bare_ms)
        drop_med = statistics.median(drop_ms)
        print("%-44s %10s" % ("", "median ms"))
        print("%-44s %10.1f" % ("start to main window mapped: loopsmith", main_med))
        print("%-44s %10.1f" % ("start to window mapped: bare Qt dialog", bare_med))
        print("%-44s %10.2f   (goal 1.2)" % ("ratio loopsmith / bare", main_med / bare_med))
        print("%-44s %10.1f   (goal 50)" % ("drop of the largest WAV to dialog mapped", drop_med))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        wm.terminate()
        xvfb.terminate()


if __name__ == "__main__":
    main()
