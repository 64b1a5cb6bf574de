#!/usr/bin/python3
"""The browser version's figures beside the native ones, in one run: the page
converting the largest stereo WAV file (262,144 frames; from the dropped
file's bytes to the loop file's bytes ready) against loopsmith-cli on the same
file, the waveform's redraw while the slider moves, a full card (fifty of
the longest loop files) opened to its grid of fifty waveforms beside
loopsmith-cli --info of the same folder, a batch of eight takes of mixed
tempos dropped to its table of found tempi beside loopsmith-cli --bpm auto
on the same eight, and the size of loopsmith.html.

    /usr/bin/python3 bench/web_bench.py [--page build-web/web/loopsmith.html]
                                        [--cli build/cli/loopsmith-cli] [--runs 21]
"""
import argparse
import base64
import os
import statistics
import shutil
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

from card_bench import full_card
from compare_cli import timed


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
    native = [timed([cli, "--bpm", "40", "--measure", "off", "take.wav"], work)
              for _ in range(args.runs)]

    # A full card: fifty loop files of the longest kind, 26 MB.
    card = os.path.join(work, "CARD")
    full_card(cli, card)
    card_native = [timed([cli, "--info", card], work) for _ in range(args.runs)]
    # Eight takes of mixed tempos, two measures of clicks each, named without a tempo.
    batch = {}
    for i, bpm in enumerate((84, 96, 100, 112, 124, 132, 140, 150)):
        name = "take%d.wav" % i
        beat = 60.0 / bpm
        subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", os.path.join(work, name),
                        "synth", "0.02", "sine", "1000", "pad", "0", "%.5f" % (beat - 0.02),
                        "repeat", "7"], check=True)
        with open(os.path.join(work, name), "rb") as f:
            batch[name] = base64.b64encode(f.read()).decode()
    batch_native = [timed([cli, "--bpm", "auto"] + sorted(batch), work) for _ in range(5)]
    cards = {}
    for name in sorted(os.listdir(card)):
        with open(os.path.join(card, name), "rb") as f:
            cards[name] = base64.b64encode(f.read()).decode()
    # The browser's private file system stands in for the chosen folder; it needs http.
    server = subprocess.Popen([sys.executable, "-m", "http.server", "0", "--bind", "127.0.0.1"],
                              cwd=os.path.dirname(os.path.abspath(args.page)),
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    port = server.stdout.readline().split(" port ")[1].split()[0]

    options = webdriver.ChromeOptions()
    for arg in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,1000"]:
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get("http://127.0.0.1:%s/%s" % (port, os.path.basename(args.page)))
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
        found = driver.execute_async_script("""
            const [files, runs, done] = arguments;
            (async () => {
              const times = [];
              for (let i = 0; i < runs; i++) {
                const transfer = new DataTransfer();
                for (const [name, data] of Object.entries(files)) {
                  transfer.items.add(new File([Uint8Array.from(atob(data), c => c.charCodeAt(0))], name));
                }
                const start = performance.now();
                document.getElementById('drop').dispatchEvent(
                    new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
                await new Promise(r => setTimeout(r, 0));
                while (document.body.classList.contains('busy')) await new Promise(r => setTimeout(r, 2));
                times.push(performance.now() - start);
              }
              done(times);
            })().catch(e => done({error: String(e)}));
        """, batch, 5)
        grid = driver.execute_async_script("""
            const [files, runs, done] = arguments;
            const page = window.loopsmithPage;
            (async () => {
              const root = await navigator.storage.getDirectory();
              await root.removeEntry('CARD', {recursive: true}).catch(() => {});
              const dir = await root.getDirectoryHandle('CARD', {create: true});
              for (const [name, data] of Object.entries(files)) {
                const w = await (await dir.getFileHandle(name, {create: true})).createWritable();
                await w.write(Uint8Array.from(atob(data), c => c.charCodeAt(0)));
                await w.close();
              }
              window.showDirectoryPicker = async () => dir;
              const times = [];
              for (let i = 0; i < runs; i++) {
                page.card.folder = null;
                document.getElementById('open-card').click();
                while (!page.card.folder || document.body.classList.contains('busy')) {
                  await new Promise(r => setTimeout(r, 5));
                }
                const drawn = document.querySelectorAll('#slots li:not(.free)').length;
                if (drawn !== 50) throw new Error(`${drawn} slots drawn`);
                times.push(page.card.openedIn);
              }
              done(times);
            })().catch(e => done({error: String(e)}));
        """, cards, args.runs)
    finally:
        driver.quit()
        server.kill()
        server.wait()
        shutil.rmtree(work)
    if "error" in grid:
        raise SystemExit(grid["error"])
    if "error" in found:
        raise SystemExit(found["error"])
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
    print("a full card (50 loop files, 26 MB) read to its slots, medians of %d:" % args.runs)
    print("  the page: folder listed, files read, fifty waveforms drawn %7.2f ms   (goal: under 300 ms)"
          % statistics.median(grid))
    print("  loopsmith-cli --info on the folder (whole process)        %7.2f ms"
          % statistics.median(card_native))
    print("eight takes of mixed tempos (2.6 to 4.6 s) dropped, medians of 5:")
    print("  the page: to its batch table of found tempi (no beat tracker) %7.2f ms"
          % statistics.median(found))
    print("  loopsmith-cli --bpm auto on the same eight (whole process)    %7.2f ms"
          % statistics.median(batch_native))
    print("loopsmith.html: %d bytes (goal: under 400 KB)" % size)


if __name__ == "__main__":
    main()
