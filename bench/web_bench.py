#!/usr/bin/python3
"""The browser version's figures beside the native ones, in one run: the page
converting the largest stereo WAV file (262,144 frames; from the dropped
file's bytes to the loop file's bytes ready) against loopsmith-cli on the same
file, the waveform's redraw while the slider moves, and the size of
loopsmith.html.

    /usr/bin/python3 bench/web_bench.py [--page build-web/web/loopsmith.html]
                                        [--cli build/cli/loopsmith-cli] [--runs 21]
"""
import argparse
import base64
import os
import statistics
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", default="build-web/web/loopsmith.html")
    parser.add_argument("--cli", default="build/cli/loopsmith-cli")
    parser.add_argument("--runs", type=int, default=21)
    args = parser.parse_args()
    work = tempfile.mkdtemp()
    take = os.path.join(work, "take.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", take, "synth", "5.944",
                    "pinknoise"], check=True)
    cli = os.path.abspath(args.cli)
    native = []
    for _ in range(args.runs):
        start = time.perf_counter()
        subprocess.run([cli, "--bpm", "40", "--measure", "off", "take.wav"], cwd=work, check=True,
                       stdout=subprocess.DEVNULL)
        native.append((time.perf_counter() - start) * 1000)

    options = webdriver.ChromeOptions()
    for arg in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,1000"]:
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get("file://" + os.path.abspath(args.page))
        while not driver.execute_script("return !!(window.loopsmithPage && window.loopsmithPage.ready)"):
            time.sleep(0.05)
        with open(take, "rb") as f:
            data = base64.b64encode(f.read()).decode()
        page = driver.execute_async_script("""
            const [data, runs, done] = arguments;
            const page = window.loopsmithPage;
            const file = new File([Uint8Array.from(atob(data), c => c.charCodeAt(0))], 'take.wav');
            (async () => {
              const times = [];
              for (let i = 0; i < runs; i++) {
                const start = performance.now();
                const bytes = new Uint8Array(await file.arrayBuffer());
                page.session.reserveInput(bytes.length);
                page.session.inputView().set(bytes);
                page.session.open('take.wav', bytes.length);
                const loop = page.session.buildLoop(400, 0, 1, false);
                if (!loop.ok || loop.bytes.length !== 524344) throw new Error('no loop');
                times.push(performance.now() - start);
              }
              // The waveform on screen, then slider moves: model, texts and overlay.
              const transfer = new DataTransfer();
              transfer.items.add(file);
              document.getElementById('drop').dispatchEvent(
                  new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
              while (document.getElementById('work').hidden) await new Promise(r => setTimeout(r, 20));
              const slider = document.getElementById('tempo');
              const redraws = [];
              for (let i = 0; i < 100; i++) {
                slider.value = String(40 + (i * 37) % 201);
                const start = performance.now();
                slider.dispatchEvent(new Event('input'));
                redraws.push(performance.now() - start);
              }
              done({convert: times, redraw: redraws});
            })().catch(e => done({error: String(e)}));
        """, data, args.runs)
    finally:
        driver.quit()
    if "error" in page:
        raise SystemExit(page["error"])
    size = os.path.getsize(args.page)
    web = statistics.median(page["convert"])
    nat = statistics.median(native)
    print("largest stereo WAV file (262,144 frames) to its loop file, medians of %d:" % args.runs)
    print("  the page (bytes in memory to bytes ready)  %7.2f ms" % web)
    print("  loopsmith-cli (whole process, file to file) %7.2f ms" % nat)
    print("  ratio page / native                         %7.2f   (goal: 3 at most, and under 50 ms)" % (web / nat))
    print("waveform redraw per slider move, median of 100: %.2f ms (goal: under 8 ms)"
          % statistics.median(page["redraw"]))
    print("                                 95th percentile: %.2f ms"
          % sorted(page["redraw"])[94])
    print("loopsmith.html: %d bytes (goal: under 400 KB)" % size)


if __name__ == "__main__":
    main()
