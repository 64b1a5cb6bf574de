#!/usr/bin/python3
"""The page in headless Chromium, driven with real events: files through the
file input and a drop, the slider by keys, the panel's rules, downloads
compared byte for byte with loopsmith-cli, messages, a loop file back to WAV,
a 48 kHz file adapted, and the audition.

    /usr/bin/python3 tests/web/page_test.py PAGE.html CLI

axe-core (LOOPSMITH_AXE: its axe.min.js, by default as the test script's web
stage fetches it) checks the page's accessibility in each state the tests
leave it in.
"""
import base64
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

PAGE = CLI = AXE = None


def sox(*args):
    subprocess.run(["sox", "-n", *args], check=True, stderr=subprocess.DEVNULL)


class Browser(unittest.TestCase):
    url = None  # the page's address; its file by default

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        cls.downloads = os.path.join(cls.work, "downloads")
        os.makedirs(cls.downloads)
        cls.files = os.path.join(cls.work, "files")
        os.makedirs(cls.files)
        f = lambda name: os.path.join(cls.files, name)
        sox("-r", "44100", "-b", "16", "-c", "2", f("stereo long.wav"), "synth", "7", "pinknoise")
        sox("-r", "44100", "-b", "16", "-c", "1", f("mono short.wav"), "synth", "0.4", "sine", "330")
        sox("-r", "44100", "-b", "16", "-c", "1", f("drums_96bpm.wav"), "synth", "2.5", "square", "60")
        sox("-r", "48000", "-b", "24", "-c", "2", f("hi 48k.wav"), "synth", "1", "sine", "220")
        # Other depths and AIFF at 44,100 Hz, which the page reads as --adapt does.
        for name, bits in (("eight.wav", "8"), ("deep.wav", "24"), ("take.aiff", "16")):
            sox("-r", "44100", "-b", bits, "-c", "2", f(name), "synth", "1.5", "sine", "300",
                "sine", "410", "gain", "-3")
        sox("-r", "48000", "-b", "16", "-c", "1", f("slow.aiff"), "synth", "1", "sine", "220")
        # A minute of plucks at 100 BPM: more than the page reads at first.
        sox("-r", "44100", "-b", "16", "-c", "2", f("long jam.wav"), "synth", "0.6", "pluck", "A1",
            "repeat", "99")
        # Cut short: the strict reader refuses the one, --adapt's walk both.
        for name, whole in (("cut short.wav", "stereo long.wav"), ("cut 48k.wav", "hi 48k.wav")):
            with open(f(whole), "rb") as source, open(f(name), "wb") as cut:
                cut.write(source.read(3000))
        import math
        import random
        import wave
        import struct
        # Two measures of a half-time groove at 140 BPM (kick on 1, snare on 3, hats on the
        # eighths), which is as much one measure at 70: too close to call.
        rng = random.Random(3)
        frames = round(8 * 60 / 140 * 44100)
        groove = [0.0] * (frames + 44100)
        hits = [(0, "k", 1), (6, "k", .7), (8, "s", 1)] + [(i, "h", .6) for i in range(0, 16, 2)]
        for measure in range(2):
            for step, drum, strength in hits:
                at = round((measure * 16 + step) * 60 / 140 / 4 * 44100)
                last = 0.0
                for i in range(5292):
                    t = i / 44100
                    if drum == "k":
                        v = math.sin(2 * math.pi * 55 * t) * math.exp(-t * 25)
                    elif drum == "s":
                        v = (rng.gauss(0, .5) + .3 * math.sin(2 * math.pi * 190 * t)) * math.exp(-t * 30)
                    else:
                        noise = rng.gauss(0, 1)
                        v, last = .25 * (noise - last) * math.exp(-t * 120), noise
                    groove[at + i] += strength * v
        groove = [a + b for a, b in zip(groove[:frames], groove[frames:] + [0.0] * frames)]
        top = max(abs(v) for v in groove)
        with wave.open(f("halftime.wav"), "wb") as out:
            out.setnchannels(1)
            out.setsampwidth(2)
            out.setframerate(44100)
            out.writeframes(struct.pack("<%dh" % frames, *(round(v / top * 0.8 * 32767) for v in groove)))
        # A take whose first kick comes after a quarter second of room noise, a kick every half second.
        take = [rng.gauss(0, .002) for _ in range(8 * 44100)]
        for beat in range(15):
            at = round((0.25 + beat * 0.5) * 44100)
            for i in range(5292):
                t = i / 44100
                take[at + i] += (.8 if beat % 2 == 0 else .5) * math.sin(2 * math.pi * 55 * t) * math.exp(-t * 25)
        with wave.open(f("late take.wav"), "wb") as out:
            out.setnchannels(1)
            out.setsampwidth(2)
            out.setframerate(44100)
            out.writeframes(struct.pack("<%dh" % len(take), *(round(v * 32767) for v in take)))
        with open(f("bad.wav"), "wb") as out:
            out.write(b"RIFF")
        # Two seconds whose loop chunk says 128 BPM while the name says 100.
        body = b"WAVE" + b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, 44100, 88200, 2, 16)
        body += b"acid" + struct.pack("<IIHHfIHHf", 24, 0, 60, 0, 0.0, 4, 4, 4, 128.0)
        body += b"data" + struct.pack("<I", 176400) + bytes(176400)
        with open(f("drums_100bpm.wav"), "wb") as out:
            out.write(b"RIFF" + struct.pack("<I", len(body)) + body)
        options = webdriver.ChromeOptions()
        for arg in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,1000",
                    "--autoplay-policy=no-user-gesture-required"]:
            options.add_argument(arg)
        options.add_experimental_option("prefs", {
            "download.default_directory": cls.downloads, "download.prompt_for_download": False,
            # A batch saves several files from one click.
            "profile.default_content_setting_values.automatic_downloads": 1})
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        shutil.rmtree(cls.work)

    def setUp(self):
        # A folder of its own, so no download of the last test lands in it.
        self.downloads = os.path.join(self.work, "downloads-%d" % time.monotonic_ns())
        os.makedirs(self.downloads)
        self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": self.downloads})
        self.driver.get(self.url or "file://" + PAGE)
        self.wait(lambda: self.js("return !!(window.loopsmithPage && window.loopsmithPage.ready)"))

    # Helpers.
    def axe_problems(self):
        """What axe-core finds critical or serious on the page as it stands, in both schemes."""
        if not self.js("return !!window.axe"):
            with open(AXE, encoding="utf-8") as f:
                self.js(f.read())
        found = []
        for scheme in ("light", "dark"):
            self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
                "features": [{"name": "prefers-color-scheme", "value": scheme}]})
            found += self.driver.execute_async_script("""
                const done = arguments[0];
                axe.run(document, { resultTypes: ['violations'] }).then((r) => done(r.violations
                  .filter((v) => v.impact === 'critical' || v.impact === 'serious')
                  .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`)));""")
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
        return found

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait(self, condition, seconds=10):
        end = time.time() + seconds
        while time.time() < end:
            value = condition()
            if value:
                return value
            time.sleep(0.05)
        self.fail("timed out")

    def el(self, id_):
        return self.driver.find_element(By.ID, id_)

    def idle(self):
        self.wait(lambda: self.js("return !document.body.classList.contains('busy')"))

    def give(self, *names):
        self.el("file-input").send_keys("\n".join(os.path.join(self.files, n) for n in names))
        self.wait(lambda: self.js("return !document.body.classList.contains('busy')") and
                  (not self.el("work").get_attribute("hidden") or self.dialog_text()))

    def dialog_text(self):
        return self.js("const d = document.getElementById('message');"
                       "return d.open ? document.getElementById('message-text').textContent : ''")

    def close_dialog(self):
        self.driver.find_element(By.CSS_SELECTOR, "#message button").click()
        self.wait(lambda: not self.js("return document.getElementById('message').open"))

    def downloaded(self, count, seconds=10):
        def done():
            # Chromium writes under a hidden or .crdownload name, then renames.
            names = os.listdir(self.downloads)
            finished = [n for n in names if not n.startswith(".") and not n.endswith(".crdownload")]
            return sorted(finished) if len(finished) == count and len(names) == count else None
        return self.wait(done, seconds)

    def cli(self, name, *options):
        folder = tempfile.mkdtemp(dir=self.work)
        shutil.copy(os.path.join(self.files, name), folder)
        out = subprocess.run([CLI, *options, name], cwd=folder, capture_output=True, text=True)
        self.assertEqual(out.returncode, 0, out.stderr)
        with open(os.path.join(folder, out.stdout.strip()), "rb") as written:
            return written.read()

    def cli_as_row(self, name, number, row):
        """The command line's loop file for `name` with a batch row's tempo and measure."""
        measure = {0: "off", 1: "1", 2: "2"}[row["mode"]]
        return self.cli(name, "--number", str(number), "--bpm", str(row["tenths"] / 10), "--measure", measure)

    def read_download(self, name):
        with open(os.path.join(self.downloads, name), "rb") as f:
            return f.read()

    def unzip(self, name):
        with zipfile.ZipFile(os.path.join(self.downloads, name)) as z:
            return {info.filename: z.read(info) for info in z.infolist()}


class PageTest(Browser):
    def test_saved_loops_equal_the_command_lines(self):
        slider = lambda: int(self.el("tempo").get_attribute("value"))
        cases = [  # file, keys for the slider, measure, file number
            ("stereo long.wav", [Keys.HOME, Keys.PAGE_UP, Keys.PAGE_UP, Keys.ARROW_RIGHT], "2", "3"),
            ("mono short.wav", [Keys.HOME], "0", "1"),
            ("stereo long.wav", [Keys.END], "1", "50"),
            ("mono short.wav", [Keys.ARROW_LEFT] * 7, "1", "12"),
        ]
        for name, keys, measure, number in cases:
            with self.subTest(name=name, measure=measure):
                self.setUp()
                self.give(name)
                self.el("tempo").send_keys(*keys)
                bpm = slider()
                self.assertEqual(self.el("tempo-text").text, f"{bpm} BPM")
                self.driver.find_element(By.CSS_SELECTOR, f'input[name="measure"][value="{measure}"]').click()
                field = self.el("file-number")
                field.clear()
                field.send_keys(number)
                self.el("ok").click()
                saved = "L%02d.T58" % int(number)
                self.assertEqual(self.downloaded(1), [saved])
                mode = {"0": "off", "1": "1", "2": "2"}[measure]
                self.assertEqual(self.read_download(saved),
                                 self.cli(name, "--bpm", str(bpm), "--measure", mode, "--number", number))

    def test_a_drop_the_time_text_and_the_file_number_rules(self):
        with open(os.path.join(self.files, "drums_96bpm.wav"), "rb") as f:
            data = base64.b64encode(f.read()).decode()
        self.js("""
            const bytes = Uint8Array.from(atob(arguments[0]), c => c.charCodeAt(0));
            const transfer = new DataTransfer();
            transfer.items.add(new File([bytes], 'drums_96bpm.wav'));
            document.getElementById('drop').dispatchEvent(
                new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
        """, data)
        self.wait(lambda: not self.el("work").get_attribute("hidden"))
        self.assertEqual(self.el("time-text").text, "2")
        self.el("suggest").click()
        self.wait(lambda: self.el("tempo-text").text == "96 BPM")
        self.assertIn("from the file name", self.el("suggest-note").text)
        self.assertEqual(self.el("time-text").text, "2.5")
        field = self.el("file-number")
        field.clear()
        field.send_keys("99")
        self.el("ok").click()
        self.assertEqual(self.wait(self.dialog_text), "File number error")
        self.close_dialog()
        self.assertEqual(field.get_attribute("value"), "1")
        self.assertEqual(os.listdir(self.downloads), [])
        # The stepper stops at either end; the arrow keys step too.
        field.clear()
        field.send_keys("50")
        self.el("step-up").click()
        field.send_keys(Keys.ARROW_UP)
        self.assertEqual(field.get_attribute("value"), "50")
        field.send_keys(Keys.ARROW_DOWN)
        self.assertEqual(field.get_attribute("value"), "49")

    def test_a_bad_file_is_its_message_and_nothing_is_saved(self):
        self.give("bad.wav")
        self.assertEqual(self.wait(self.dialog_text).split("\n")[0], "Wave file read error #2")
        self.assertIn("bad.wav: it", self.dialog_text())
        self.assertEqual(os.listdir(self.downloads), [])
        # A malformed file gets --adapt's words.
        for name in ("cut short.wav", "cut 48k.wav"):
            self.close_dialog()
            self.give(name)
            adapt = subprocess.run([CLI, "--adapt", name], cwd=self.files, capture_output=True,
                                   text=True)
            self.assertEqual(adapt.returncode, 1)
            self.assertEqual(self.wait(self.dialog_text).split("\n")[1],
                             adapt.stderr.strip().removeprefix("loopsmith-cli: "))

    def test_a_loop_file_goes_back_to_its_wav_file(self):
        loop = self.cli("stereo long.wav", "--bpm", "128.5", "--measure", "2", "--number", "7")
        with open(os.path.join(self.files, "L07.T58"), "wb") as f:
            f.write(loop)
        self.give("L07.T58")
        self.assertIn("128.5 BPM", self.el("loop-header").text)
        self.el("save-wave").click()
        self.assertEqual(self.downloaded(1), ["L07.WAV"])
        self.assertEqual(self.read_download("L07.WAV"), self.cli("L07.T58"))

    def test_a_48k_file_is_adapted_and_saved(self):
        self.give("hi 48k.wav")
        self.assertIn("adapted", self.el("file-info").text)
        self.el("ok").click()
        self.assertEqual(self.downloaded(1), ["L01.T58"])
        loop = self.read_download("L01.T58")
        self.assertEqual(len(loop), 262200)  # 88,201 samples take two blocks
        self.assertEqual(loop[19] << 8 | loop[20], 1200)

    def test_the_audition_loops_the_12_bit_loop(self):
        self.give("stereo long.wav")
        self.el("play-loop").click()
        source = self.wait(lambda: self.js(
            "const s = window.loopsmithPage.player.source;"
            "return s && {loop: s.loop, length: s.buffer.length, channels: s.buffer.numberOfChannels}"))
        self.assertEqual(source, {"loop": True, "length": 88201, "channels": 1})
        self.el("stop").click()
        self.assertIsNone(self.js("return window.loopsmithPage.player.source"))

    def test_a_batch_table_gives_each_file_its_tempo_and_one_ok_makes_them_all(self):
        loop = self.cli("mono short.wav", "--number", "9")
        with open(os.path.join(self.files, "L09.T58"), "wb") as f:
            f.write(loop)
        self.give("mono short.wav", "L09.T58", "drums_96bpm.wav", "stereo long.wav", "bad.wav")
        self.idle()
        field = self.el("file-number")
        field.clear()
        field.send_keys("4")
        rows = self.driver.find_elements(By.CSS_SELECTOR, "#batch-rows tr")
        self.assertEqual([r.find_element(By.TAG_NAME, "th").text for r in rows],
                         ["mono short.wav", "L09.T58", "drums_96bpm.wav", "stereo long.wav", "bad.wav"])
        # The name's tempo is found, and a row with none says it takes the panel's.
        self.assertEqual(rows[2].find_element(By.TAG_NAME, "input").get_attribute("value"), "96")
        self.assertIn("the panel's tempo is taken", rows[0].text)
        self.assertIn("Wave file read error #2", rows[4].text)
        tempo = self.driver.find_element(By.CSS_SELECTOR, "#batch-rows tr:nth-child(4) input")
        tempo.send_keys(Keys.CONTROL, "a")
        tempo.send_keys("97.5\t")
        self.driver.find_element(By.CSS_SELECTOR, "#batch-rows tr:nth-child(3) button[aria-label^=Play]").click()
        self.wait(lambda: self.js("return loopsmithPage.player.playing === 'loop' && "
                                  "loopsmithPage.state.current.name === 'drums_96bpm.wav'"))
        numbers = self.js("return [...document.querySelectorAll('#batch-rows tr')].map((r) => r.cells[4]?.textContent)")
        self.assertEqual(numbers, ["L04.T58", None, "L05.T58", "L06.T58", None])
        chosen = self.js("const s = loopsmithPage.state; return s.batch.sounds.map((r) => s.chosen(r.file))")
        self.el("ok").click()
        # One OK, one download, each loop with its row's tempo and measure; the focus back on OK.
        self.assertEqual(self.downloaded(1), ["loopsmith.zip"])
        self.idle()
        self.assertEqual(self.js("return document.activeElement.id"), "ok")
        saved = self.unzip("loopsmith.zip")
        self.assertEqual(sorted(saved), ["L04.T58", "L05.T58", "L06.T58", "L09.WAV"])
        for name, number, row in (("drums_96bpm.wav", 5, chosen[1]), ("stereo long.wav", 6, chosen[2])):
            self.assertEqual(saved["L%02d.T58" % number], self.cli_as_row(name, number, row))
        self.assertEqual(chosen[2]["tenths"], 975)
        self.assertIn("bad.wav: Wave file read error #2", self.el("results").text)

    def test_one_job_at_a_time_and_ok_converts_the_file_shown(self):
        self.give("mono short.wav")
        # Every file now arrives slowly, a piece each 150 ms, as a large one does.
        self.js("""const real = Blob.prototype.stream;
            Blob.prototype.stream = function () {
              const reader = real.call(this).getReader();
              return new ReadableStream({ async pull(c) {
                await new Promise((r) => setTimeout(r, 150));
                const { done, value } = await reader.read();
                if (done) c.close(); else c.enqueue(value);
              } });
            };""")
        self.el("file-input").send_keys(os.path.join(self.files, "stereo long.wav"))
        self.wait(lambda: self.el("file-info").text.startswith("Loading stereo long.wav"))
        self.assertFalse(self.el("ok").is_enabled())
        self.js("const f = document.getElementById('params'); f.requestSubmit(); f.requestSubmit();")
        self.idle()
        self.assertTrue(self.el("file-info").text.startswith("stereo long.wav: stereo"))
        self.assertEqual(os.listdir(self.downloads), [])
        self.el("ok").click()
        self.assertEqual(self.downloaded(1), ["L01.T58"])
        self.assertEqual(self.read_download("L01.T58"), self.cli("stereo long.wav"))

    def test_the_suggestion_takes_the_command_lines_steps(self):
        cases = [  # file, the page's note, what the command line says (or its tempo)
            ("drums_96bpm.wav", "96.0 BPM from the file name", "96.0"),
            ("drums_100bpm.wav", "the loop chunk says 128.0 BPM, the file name 100.0 BPM",
             "the loop chunk says 128.0 BPM, the file name 100.0 BPM"),
        ]
        for name, note, cli in cases:
            with self.subTest(name=name):
                self.setUp()
                self.give(name)
                self.el("suggest").click()
                self.assertTrue(self.wait(lambda: self.el("suggest-note").text).startswith(note))
                folder = tempfile.mkdtemp(dir=self.work)
                shutil.copy(os.path.join(self.files, name), folder)
                out = subprocess.run([CLI, "--info", "--bpm", "auto", name], cwd=folder,
                                     capture_output=True, text=True)
                self.assertIn(cli, out.stdout + out.stderr)

    def test_a_suggestion_too_close_to_call_offers_both(self):
        self.give("halftime.wav")
        self.el("suggest").click()
        note = self.wait(lambda: self.el("suggest-note").text)
        # Either may come first: the call is too close to make.
        readings = [("70.0", "1 measure"), ("140.0", "2 measures")]
        if not note.startswith("70.0"):
            readings.reverse()
        self.assertEqual(note, "%s BPM from the loop length (%s), or %s BPM (%s)" % (
            readings[0] + readings[1]))
        self.assertEqual(float(self.el("tempo-number").get_attribute("value")), float(readings[0][0]))
        self.el("suggest-second").click()
        self.assertEqual(float(self.el("tempo-number").get_attribute("value")), float(readings[1][0]))

    def test_other_depths_and_aiff_equal_adapt(self):
        for name in ("eight.wav", "deep.wav", "take.aiff", "slow.aiff"):
            with self.subTest(name=name):
                self.setUp()
                self.give(name)
                self.assertIn("adapted", self.el("file-info").text)
                self.el("ok").click()
                self.assertEqual(self.downloaded(1), ["L01.T58"])
                if name != "slow.aiff":  # other rates: the browser resamples, not libsoxr
                    self.assertEqual(self.read_download("L01.T58"), self.cli(name, "--adapt"))

    def test_the_loop_is_placed_in_the_take_and_equals_the_command_lines_from_there(self):
        self.give("late take.wav")
        start = lambda: self.js("return loopsmithPage.session.start()")
        # The first hit, where --start auto finds it.
        self.el("first-hit").click()
        auto = re.search(r"\(frames ([\d,]+) to", subprocess.run(
            [CLI, "--info", "--start", "auto", "late take.wav"], cwd=self.files,
            capture_output=True, text=True).stdout).group(1)
        self.assertEqual(start(), int(auto.replace(",", "")))
        hits = self.js("return [...loopsmithPage.session.hits().frames]")
        # Dragged by real pointer moves: it lands on a hit, and the seam view is drawn.
        wave_el = self.el("waveform")
        px = wave_el.size["width"] / self.js("return loopsmithPage.session.heldFrames()")
        ActionChains(self.driver).move_to_element_with_offset(
            wave_el, round(-wave_el.size["width"] / 2 + (start() + 5000) * px), 0).click_and_hold() \
            .move_by_offset(round(22050 * 2 * px) + 3, 0).release().perform()
        self.idle()
        self.assertIn(start(), hits)
        self.assertEqual(start(), hits[2])  # a second on: the third kick
        self.assertTrue(self.js("return document.getElementById('seam').width > 1"))
        # A beat, then one sample, from the keyboard; the audition follows.
        self.el("play-loop").click()
        before = start()
        wave_el.send_keys(Keys.ARROW_RIGHT)
        self.assertEqual(start(), before + 22050)  # a beat at 120 BPM
        wave_el.send_keys(Keys.SHIFT, Keys.ARROW_LEFT)
        self.assertEqual(start(), before + 22049)
        self.assertEqual(self.js("return loopsmithPage.player.playing"), "loop")
        self.el("stop").click()
        # Its loop equals the command line's --start at the same sample.
        self.el("ok").click()
        self.assertEqual(self.downloaded(1), ["L01.T58"])
        self.assertEqual(self.read_download("L01.T58"),
                         self.cli("late take.wav", "--start", "%.10f" % (start() / 44100)))
        # A zero crossing moves it back, never forward, and by no more than 10 ms.
        self.el("snap-zero").click()
        wave_el.send_keys(Keys.SHIFT, Keys.ARROW_RIGHT)
        self.assertLessEqual(start(), before + 22050)
        self.assertGreaterEqual(start(), before + 22050 - 441)
        samples = self.js("const s = loopsmithPage.session.samples(); return [s[0], s[1]]")
        self.assertTrue(samples[0] == 0 or samples[0] * self.js(
            "const s = loopsmithPage.session; s.setStart(s.start() - 1); const v = s.samples()[0];"
            "s.setStart(s.start() + 1); return v") <= 0)

    def test_a_long_take_is_read_on_asking_and_its_tempo_is_from_its_beats(self):
        self.give("long jam.wav")
        session = "loopsmithPage.session"
        self.assertLess(self.js(f"return {session}.heldFrames()"), self.js(f"return {session}.fileFrames()"))
        self.el("read-all").click()
        self.idle()
        self.assertEqual(self.js(f"return {session}.heldFrames()"), 60 * 44100)
        self.assertFalse(self.el("read-all").is_displayed())
        # Bars 17 and 18, 38.4 s in, as a minute's take calls for.
        self.js("loopsmithPage.region.place(38.4 * 44100)")
        self.el("suggest").click()
        self.idle()
        self.assertIn("100.0 BPM from the take's beats", self.el("suggest-note").text)
        self.driver.find_element(By.CSS_SELECTOR, "input[name=measure][value='2']").click()
        self.el("ok").click()
        self.assertEqual(self.downloaded(1), ["L01.T58"])
        self.assertEqual(self.read_download("L01.T58"),
                         self.cli("long jam.wav", "--bpm", "100", "--measure", "2", "--start", "38.4"))

    def test_a_huge_file_is_read_only_as_far_as_the_loop_needs(self):
        # 600 MB of 48 kHz sound, most of it a hole on the disk: the page reads its start.
        import struct
        path = os.path.join(self.files, "huge 48k.wav")
        size = 600 * 1024 * 1024
        body = b"WAVE" + b"fmt " + struct.pack("<IHHIIHH", 16, 1, 2, 48000, 192000, 4, 16)
        with open(os.path.join(self.files, "hi 48k.wav"), "rb") as f:
            sound = f.read()[-96000:]
        with open(path, "wb") as out:
            out.write(b"RIFF" + struct.pack("<I", size - 8) + body + b"data" +
                      struct.pack("<I", size - 44) + sound)
            out.truncate(size)
        self.give("huge 48k.wav")
        self.assertIn("adapted", self.el("file-info").text)
        heap = self.js("return window.loopsmithPage.core.HEAPU8.length")
        self.assertLess(heap, 64 * 1024 * 1024)
        self.el("ok").click()
        self.assertEqual(self.downloaded(1), ["L01.T58"])
        os.remove(path)

    def test_no_view_of_an_old_file_stays(self):
        self.give("drums_96bpm.wav")
        self.el("suggest").click()
        self.wait(lambda: self.el("suggest-note").text)
        self.give("bad.wav", "mono short.wav")
        self.assertTrue(self.el("file-info").text.startswith("mono short.wav: mono"))
        self.assertIn("bad.wav: Wave file read error #2", self.el("results").text)
        self.assertEqual(self.el("suggest-note").text, "")

    def test_a_batch_past_50_saves_nothing(self):
        self.give("mono short.wav", "stereo long.wav", "drums_96bpm.wav")
        field = self.el("file-number")
        field.clear()
        field.send_keys("49")
        self.el("ok").click()
        self.assertEqual(self.wait(self.dialog_text),
                         "File number error\n3 WAV files from number 49 would pass L50.T58")
        self.close_dialog()
        self.idle()
        self.assertEqual(os.listdir(self.downloads), [])

    def test_typed_tempo_dither_and_the_time_of_a_cut_loop(self):
        self.give("stereo long.wav")
        number = self.el("tempo-number")
        number.clear()
        number.send_keys("128.5", Keys.TAB)
        self.assertEqual(self.el("tempo-text").text, "128.5 BPM")
        self.assertEqual(self.el("tempo").get_attribute("aria-valuetext"), "128.5 BPM")
        self.el("dither").click()
        self.el("ok").click()
        self.assertEqual(self.downloaded(1), ["L01.T58"])
        self.assertEqual(self.read_download("L01.T58"),
                         self.cli("stereo long.wav", "--bpm", "128.5", "--dither"))
        self.el("tempo").send_keys(Keys.HOME)
        self.driver.find_element(By.CSS_SELECTOR, 'input[name="measure"][value="2"]').click()
        self.assertEqual(self.el("time-text").text, "5.944")  # the dialog's 12 is cut
        # The next drop starts as the dialog does: no dither either.
        self.give("stereo long.wav")
        self.assertFalse(self.el("dither").is_selected())

    def test_the_audition_follows_the_controls_with_one_redraw_loop(self):
        self.give("stereo long.wav")
        self.js("window.frames_ = 0; const raf = window.requestAnimationFrame;"
                "window.requestAnimationFrame = (f) => { window.frames_++; return raf(f); };")
        for _ in range(10):
            self.el("play-loop").click()
        self.js("window.frames_ = 0")
        time.sleep(0.5)
        self.assertLess(self.js("return window.frames_"), 45)  # one loop at 60 a second
        length = lambda: self.js("return window.loopsmithPage.player.source.buffer.length")
        self.assertEqual(length(), 88201)
        self.driver.find_element(By.CSS_SELECTOR, 'input[name="measure"][value="2"]').click()
        self.assertEqual(length(), 176401)
        self.give("mono short.wav")  # a new file: its loop, at the defaults
        self.assertEqual(length(), 88201)

    def test_text_has_contrast_in_both_schemes(self):
        self.give("bad.wav", "mono short.wav")
        for scheme in ("light", "dark"):
            self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
                "features": [{"name": "prefers-color-scheme", "value": scheme}]})
            worst = self.js("""
                const rgb = (c) => c.match(/[\\d.]+/g).slice(0, 4).map(Number);
                const lum = ([r, g, b]) => [r, g, b].map((v) => { v /= 255;
                  return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; })
                  .reduce((a, v, i) => a + v * [0.2126, 0.7152, 0.0722][i], 0);
                const back = (e) => { for (; e; e = e.parentElement) {
                  const c = rgb(getComputedStyle(e).backgroundColor);
                  if (c.length < 4 || c[3] > 0) return c; }
                  return matchMedia('(prefers-color-scheme: dark)').matches ? [18, 18, 18] : [255, 255, 255]; };
                let worst = 99;
                for (const e of document.querySelectorAll('p, li, span, label, output, dt, dd, h1, h2, legend, footer')) {
                  if (!e.offsetParent || !e.textContent.trim()) continue;
                  const a = lum(rgb(getComputedStyle(e).color)), b = lum(back(e));
                  worst = Math.min(worst, (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05));
                }
                return worst;""")
            self.assertGreaterEqual(worst, 4.5, scheme)

    def test_axe_finds_nothing_serious_in_any_state(self):
        self.assertEqual(self.axe_problems(), [], "the page as it opens")
        self.give("mono short.wav")
        self.assertEqual(self.axe_problems(), [], "a file shown")
        self.give("drums_96bpm.wav", "L09.T58" if os.path.exists(os.path.join(self.files, "L09.T58"))
                  else "mono short.wav", "bad.wav")
        self.idle()
        self.assertEqual(self.axe_problems(), [], "a batch table")
        self.give("bad.wav")
        self.assertEqual(self.axe_problems(), [], "a message")

    def test_ok_in_view_at_1280_by_800_and_finger_sized_controls_on_a_phone(self):
        for width, height in ((1280, 800), (390, 844)):
            with self.subTest(width=width):
                self.setUp()
                self.driver.set_window_size(width, height)
                self.give("stereo long.wav")
                if width > 1000:
                    # OK, and the card's first slots beside the panel, in view.
                    self.assertLessEqual(self.js(
                        "return document.getElementById('ok').getBoundingClientRect().bottom"),
                        self.js("return window.innerHeight"))
                    self.assertLess(self.js("return document.getElementById('slots').getBoundingClientRect().top"),
                                    self.js("return window.innerHeight") / 2)
                    continue
                # A slot with a long name and two measures shows every line, seconds too.
                self.js("""const c = loopsmithPage.card, b = Uint8Array.from(atob(arguments[0]), (x) => x.charCodeAt(0));
                    return c.place([{ number: 3, bytes: b, source: 'a long name for a take of a break.wav' }]);""",
                        base64.b64encode(self.cli("drums_96bpm.wav", "--measure", "2")).decode())
                self.assertEqual(self.js("""return [...document.querySelectorAll('.slot:not(.free) .slot-facts')]
                    .filter((e) => e.scrollHeight > e.clientHeight || e.scrollWidth > e.clientWidth).length"""), 0)
                small = self.js("""return [...document.querySelectorAll(
                    '#params input:not([type=radio]):not([type=checkbox]), #params button, #params fieldset label, #params .check')]
                    .filter((e) => e.offsetParent && e.getBoundingClientRect().height < 44)
                    .map((e) => e.id || e.textContent.trim());""")
                self.assertEqual(small, [])
        self.driver.set_window_size(1200, 1000)


class CardTest(Browser):
    """The card over http (the browser's private file system, which stands in
    for a chosen folder, is not given to a page opened from disk)."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.server = subprocess.Popen(
            [sys.executable, "-m", "http.server", "0", "--bind", "127.0.0.1"],
            cwd=os.path.dirname(PAGE), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        port = cls.server.stdout.readline().split(" port ")[1].split()[0]
        cls.url = "http://127.0.0.1:%s/%s" % (port, os.path.basename(PAGE))
        for i in range(1, 61):
            shutil.copy(os.path.join(cls.files, "mono short.wav"), os.path.join(cls.files, "b%02d.wav" % i))

    @classmethod
    def tearDownClass(cls):
        cls.server.kill()
        cls.server.wait()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        self.run_js("""const root = await navigator.storage.getDirectory();
            for await (const name of root.keys()) await root.removeEntry(name, {recursive: true});
            await new Promise((resolve) => { indexedDB.deleteDatabase('loopsmith').onsuccess = resolve; });""")

    def run_js(self, body, *args):
        """Runs an async function body in the page; its return value, or the failure raised."""
        out = self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "(async (...args) => {" + body + "})(...[...arguments].slice(0, -1))"
            ".then((v) => done({v: v ?? null}), (e) => done({e: String(e)}));", *args)
        if "e" in out:
            self.fail(out["e"])
        return out["v"]

    def open_card(self, files):
        """A folder of these files, opened as the card through the button."""
        self.run_js("""const [files] = args;
            const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('CARD', {create: true});
            for (const [name, data] of Object.entries(files)) {
              const w = await (await dir.getFileHandle(name, {create: true})).createWritable();
              await w.write(Uint8Array.from(atob(data), (c) => c.charCodeAt(0)));
              await w.close();
            }
            window.showDirectoryPicker = async () => dir;""",
            {name: base64.b64encode(data).decode() for name, data in files.items()})
        self.el("open-card").click()
        self.wait(lambda: self.js("return !!window.loopsmithPage.card.folder") or
                  (self.dialog_text() and self.fail(self.dialog_text())))
        self.idle()

    def card_files(self):
        got = self.run_js("""const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('CARD');
            const out = {};
            for await (const [name, h] of dir.entries()) {
              if (name.endsWith('.crswap')) continue;  // a write the browser has not put in place yet
              let bytes;
              for (let tries = 0; !bytes; tries++) {  // a file the page is writing cannot be read until closed
                try { bytes = new Uint8Array(await (await h.getFile()).arrayBuffer()); } catch (e) {
                  if (e.name === 'NotFoundError') break;  // removed since it was listed
                  if (e.name !== 'NotReadableError' || tries === 40) throw e;
                  await new Promise((resolve) => setTimeout(resolve, 50));
                }
              }
              if (!bytes) continue;
              let text = ''; for (const b of bytes) text += String.fromCharCode(b);
              out[name] = btoa(text);
            }
            return out;""")
        return {name: base64.b64decode(data) for name, data in got.items()}

    def drop(self, names, number=0, slot=0, idle=True):
        """Files dropped on slot `number`, or on the card; or slot `slot` dragged there."""
        datas = []
        for name in names:
            with open(os.path.join(self.files, name), "rb") as f:
                datas.append(base64.b64encode(f.read()).decode())
        self.js("""const [names, datas, number, slot] = arguments;
            const transfer = new DataTransfer();
            names.forEach((n, i) => transfer.items.add(
                new File([Uint8Array.from(atob(datas[i]), (c) => c.charCodeAt(0))], n)));
            if (slot) transfer.setData('application/x-loopsmith-slot', String(slot));
            const target = number ? document.querySelector(`#slots li[data-number="${number}"]`)
                                  : document.getElementById('card');
            target.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));""",
                names, datas, number, slot)
        if idle:
            self.idle()

    def name_slot(self, number, label):
        """Slot `number` selected and named `label` through Name… and the browser's prompt."""
        self.driver.find_element(By.CSS_SELECTOR, '#slots li[data-number="%d"]' % number).click()
        self.idle()
        self.el("label-slot").click()
        self.driver.switch_to.alert.send_keys(label)
        self.driver.switch_to.alert.accept()
        self.wait(lambda: label in self.slot_text(number))

    def slot_text(self, number):
        return self.js("return document.querySelector('#slots li[data-number=\"%d\"]').innerText" % number)

    def answer(self, yes):
        self.wait(lambda: self.js("return document.getElementById('question').open"))
        text = self.el("question-text").text
        self.driver.find_element(By.CSS_SELECTOR, "#question button[value=%s]" % ("yes" if yes else "no")).click()
        self.idle()
        return text

    def test_axe_finds_nothing_serious_on_a_card_in_any_state(self):
        self.open_card({"L01.T58": self.cli("mono short.wav"), "L02.T58": b"", "notes.txt": b"x"})
        self.assertEqual(self.axe_problems(), [], "a card with a loop, an unreadable one and a stray")
        self.driver.find_element(By.CSS_SELECTOR, '#slots li[data-number="1"]').click()
        self.idle()
        self.assertEqual(self.axe_problems(), [], "a slot selected and open")
        self.el("remove-slot").click()
        self.wait(lambda: self.js("return document.getElementById('question').open"))
        self.assertEqual(self.axe_problems(), [], "the question")
        self.answer(True)
        self.assertEqual(self.axe_problems(), [], "Undo offered")

    def test_open_place_replace_move_swap_remove_and_reopen(self):
        three = self.cli("stereo long.wav", "--bpm", "128", "--number", "3")
        self.open_card({"L03.T58": three, "L20.T58": b"xx", "L7.T58": three})
        self.assertIn("128 BPM\n1 measure\n1.875 s", self.slot_text(3))
        self.assertIn("unreadable", self.slot_text(20))
        self.assertIn("L7.T58: the sampler reads L07.T58, spelt so", self.el("strays").text)
        # A click plays the slot's loop and shows it, ready for Save WAV.
        self.driver.find_element(By.CSS_SELECTOR, '#slots li[data-number="3"]').click()
        self.wait(lambda: self.js("return window.loopsmithPage.player.playing") == "loop")
        self.assertIn("L03.T58: loop file", self.el("file-info").text)
        # A drop on a free slot: the panel opens with its number, OK writes it there.
        self.drop(["mono short.wav"], number=5)
        self.assertEqual(self.el("file-number").get_attribute("value"), "5")
        self.el("ok").click()
        self.wait(lambda: "L05.T58" in self.card_files())
        five = self.cli("mono short.wav", "--number", "5")
        self.assertEqual(self.card_files()["L05.T58"], five)
        # On a taken slot, OK asks first, naming what is there; No changes nothing.
        self.drop(["mono short.wav"], number=3)
        self.el("ok").click()
        self.assertEqual(self.answer(False), "Replace L03.T58: 128 BPM, one measure, 1.875 s?")
        self.assertEqual(self.card_files()["L03.T58"], three)
        self.el("ok").click()
        self.answer(True)
        self.wait(lambda: self.card_files()["L03.T58"] == self.cli("mono short.wav", "--number", "3"))
        # A slot dragged onto a free one moves; onto a taken one, swaps.
        self.drop([], number=9, slot=5)
        files = self.card_files()
        self.assertNotIn("L05.T58", files)
        self.assertEqual(files["L09.T58"], five)
        self.drop([], number=3, slot=9)
        files = self.card_files()
        self.assertEqual(files["L03.T58"], five)
        self.assertEqual(files["L09.T58"], self.cli("mono short.wav", "--number", "3"))
        self.assertFalse([n for n in files if n.startswith(".loopsmith") and n != ".loopsmith-card"])
        # The keyboard's drag: Alt and an arrow.
        self.driver.find_element(By.CSS_SELECTOR, '#slots li[data-number="3"]').send_keys(
            Keys.ALT + Keys.ARROW_RIGHT)
        self.idle()
        files = self.card_files()
        self.assertEqual((files.get("L03.T58"), files.get("L04.T58")), (None, five))
        # A loop file dropped on a slot goes into it as it is.
        with open(os.path.join(self.files, "other.T58"), "wb") as f:
            f.write(three)
        self.drop(["other.T58"], number=12)
        self.el("place-loop").click()
        self.wait(lambda: self.card_files().get("L12.T58") == three)
        # Remove, after a question.
        self.driver.find_element(By.CSS_SELECTOR, '#slots li[data-number="9"]').click()
        self.idle()
        self.el("remove-slot").click()
        # The button names the act, and Enter would cancel: the focus is on Cancel.
        self.wait(lambda: self.js("return document.getElementById('question').open"))
        self.assertEqual(self.el("question-yes").text, "Remove")
        self.assertEqual(self.js("return document.activeElement.id"), "question-no")
        self.assertTrue(self.answer(True).startswith("Remove L09.T58:"))
        self.assertNotEqual(self.js("return document.activeElement.tagName"), "BODY")
        # A loop file turned back to WAV goes to the downloads, never onto the card.
        self.drop(["other.T58"])
        self.el("save-wave").click()
        self.assertEqual(self.downloaded(1), ["other.WAV"])
        self.assertNotIn("other.WAV", self.card_files())
        self.assertNotIn("L09.T58", self.card_files())
        self.assertEqual(self.js("return window.loopsmithPage.messages"), [])
        # The removal undone: the page kept its bytes.
        removed_text = self.el("undo-card").text
        self.el("undo-card").click()
        self.wait(lambda: "L09.T58" in self.card_files())
        self.assertIn("removal of L09.T58", removed_text)
        self.assertTrue(self.el("undo-card").get_attribute("disabled"))
        # The next visit offers the folder again.
        self.setUp_keep_card()
        self.assertEqual(self.el("reopen-card").text, "Open CARD again")
        self.el("reopen-card").click()
        self.wait(lambda: "free" not in self.slot_text(4))

    def setUp_keep_card(self):
        self.driver.get(self.url)
        self.wait(lambda: self.js("return !!(window.loopsmithPage && window.loopsmithPage.ready)"))
        self.wait(lambda: self.el("reopen-card").is_displayed())

    def test_a_swap_cut_off_is_finished_when_the_card_opens_again(self):
        a, b = self.cli("mono short.wav", "--number", "3"), self.cli("stereo long.wav", "--number", "7")
        self.open_card({"L03.T58": a, "L07.T58": b})
        # The card pulled out after the swap's first move: every later move fails.
        self.js("""const real = FileSystemFileHandle.prototype.move; let calls = 0;
            FileSystemFileHandle.prototype.move = function (...a) {
              return ++calls >= 2 ? Promise.reject(new Error('the card was pulled out')) : real.apply(this, a); };""")
        self.drop([], number=7, slot=3)
        self.assertIn("the card was pulled out", self.dialog_text())
        self.assertNotIn(".loopsmith", self.dialog_text())  # our own files in the user's words
        self.assertIn(".loopsmith-swap", self.card_files())
        # The next opening of the card finishes the swap.
        self.setUp_reload()
        files = self.card_files()
        self.assertEqual((files.get("L03.T58"), files.get("L07.T58")), (b, a))
        self.assertFalse([n for n in files if n.startswith(".loopsmith") and n != ".loopsmith-card"])

    def test_messages_wait_their_turn_and_no_busy_line_under_a_question(self):
        self.js("window.loopsmithPage.showMessage('first'); window.loopsmithPage.showMessage('second')")
        self.assertEqual(self.dialog_text(), "first")
        self.driver.find_element(By.CSS_SELECTOR, "#message button").click()
        self.wait(lambda: self.dialog_text() == "second")
        self.close_dialog()
        self.open_card({"L01.T58": self.cli("mono short.wav")})
        self.drop(["mono short.wav"], number=1)
        self.el("ok").click()
        self.wait(lambda: self.js("return document.getElementById('question').open"))
        self.assertFalse(self.el("busy").is_displayed())
        self.answer(False)

    def test_the_grid_is_one_tab_stop_walked_with_arrows(self):
        self.assertEqual(self.js("return [...document.querySelectorAll('#slots li')]"
                                 ".filter((li) => li.tabIndex === 0).length"), 1)
        self.assertEqual(self.js("return document.getElementById('slots').getAttribute('role')"), "listbox")
        first = self.driver.find_element(By.CSS_SELECTOR, '#slots li[data-number="1"]')
        first.send_keys(Keys.ARROW_RIGHT)
        first = None
        active = lambda: self.js("return document.activeElement.dataset.number")
        self.assertEqual(active(), "2")
        self.driver.switch_to.active_element.send_keys(Keys.ARROW_DOWN)
        self.assertEqual(active(), "12")
        self.driver.switch_to.active_element.send_keys(Keys.END)
        self.assertEqual(active(), "50")
        self.assertEqual(self.js("return document.activeElement.getAttribute('role')"), "option")
        self.assertIn("L50.T58: free", self.js("return document.activeElement.getAttribute('aria-label')"))

    def test_a_backup_zip_goes_back_under_its_numbers(self):
        three, five = self.cli("stereo long.wav", "--number", "3"), self.cli("mono short.wav", "--number", "5")
        self.open_card({"L03.T58": five})
        with zipfile.ZipFile(os.path.join(self.files, "backup.zip"), "w") as z:
            z.writestr("CARD/L03.T58", three)
            z.writestr("L05.T58", five)
            z.writestr("../L07.T58", b"x" * 600000)  # larger than a loop: never unpacked
            z.writestr("notes.txt", b"mine")
        self.drop(["backup.zip"], idle=False)  # the question waits
        asked = self.answer(True)
        self.assertIn("Put back 2 loops", asked)
        self.assertIn("replacing L03.T58", asked)
        files = self.card_files()
        self.assertEqual((files.get("L03.T58"), files.get("L05.T58"), files.get("L07.T58")),
                         (three, five, None))

    def test_a_gig_card_of_eight_tempi_in_one_drop_named_backed_up_and_restored(self):
        tempi = (84, 92, 100, 108, 124, 132, 140, 174)
        names = []
        for bpm in tempi:
            names.append("gig_%dbpm.wav" % bpm)
            sox("-r", "44100", "-b", "16", "-c", "1", os.path.join(self.files, names[-1]), "synth", "0.02",
                "sine", "1000", "pad", "0", "%.5f" % (60 / bpm - 0.02), "repeat", "7")
        self.open_card({})
        self.drop(names)
        self.wait(lambda: len(self.driver.find_elements(By.CSS_SELECTOR, "#batch-rows input")) == 8)
        chosen = self.js("const s = loopsmithPage.state; return s.batch.sounds.map((r) => s.chosen(r.file))")
        self.assertEqual([c["tenths"] for c in chosen], [10 * bpm for bpm in tempi])
        self.el("ok").click()  # one OK, no question: the slots were free
        self.wait(lambda: len([n for n in self.card_files() if n.startswith("L")]) == 8)
        made = self.card_files()
        for number, (name, row) in enumerate(zip(names, chosen), start=1):
            self.assertEqual(made["L%02d.T58" % number], self.cli_as_row(name, number, row))
        self.name_slot(8, "Jungle outro")
        self.el("download-card").click()
        self.assertEqual(self.downloaded(1), ["CARD.zip"])
        shutil.copy(os.path.join(self.downloads, "CARD.zip"), self.files)
        # The card wiped, opened again, and the backup dropped on it.
        self.run_js("""const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('CARD');
            for await (const name of dir.keys()) await dir.removeEntry(name);""")
        self.el("open-card").click()
        self.wait(lambda: "0 of 50" in self.el("card-where").text)
        self.drop(["CARD.zip"], idle=False)
        self.assertIn("Put back 8 loops", self.answer(True))
        self.wait(lambda: len(self.card_files()) == 9)
        self.assertEqual({n: b for n, b in self.card_files().items() if n.startswith("L")},
                         {n: b for n, b in made.items() if n.startswith("L")})
        self.assertIn("Jungle outro", self.slot_text(8))
        self.assertIn("gig_84bpm.wav", self.slot_text(1))

    def test_a_folder_dropped_opens_as_the_card(self):
        three = self.cli("stereo long.wav", "--number", "3")
        self.run_js("""const [data] = args;
            const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle('CARD', {create: true});
            const w = await (await dir.getFileHandle('L03.T58', {create: true})).createWritable();
            await w.write(Uint8Array.from(atob(data), (c) => c.charCodeAt(0)));
            await w.close();
            // What Chromium gives for a folder dragged from the file manager.
            DataTransferItem.prototype.getAsFileSystemHandle = async () => dir;""",
            base64.b64encode(three).decode())
        for number in (0, 9):  # on the card, and on a slot
            self.drop(["mono short.wav"], number=number)
            self.wait(lambda: self.js("return !!window.loopsmithPage.card.folder"))
            self.idle()
            self.assertIn("120 BPM", self.slot_text(3))
            self.assertEqual(self.dialog_text(), "")
            self.js("window.loopsmithPage.card.folder = null")

    def setUp_reload(self):
        self.driver.get(self.url)
        self.wait(lambda: self.js("return !!(window.loopsmithPage && window.loopsmithPage.ready)"))
        self.run_js("window.showDirectoryPicker = async () => "
                    "(await navigator.storage.getDirectory()).getDirectoryHandle('CARD');")
        self.el("open-card").click()
        self.wait(lambda: self.js("return !!window.loopsmithPage.card.folder"))
        self.idle()

    def test_a_batch_takes_the_free_numbers_and_a_rejected_write_is_said(self):
        self.open_card({"L01.T58": self.cli("mono short.wav"), "L03.T58": self.cli("mono short.wav")})
        self.drop(["b01.wav", "b02.wav", "b03.wav"])
        self.assertEqual(self.el("file-number").get_attribute("value"), "2")
        self.el("ok").click()
        self.wait(lambda: "L05.T58" in self.card_files())
        self.assertEqual(sorted(self.card_files()),
                         [".loopsmith-card", "L01.T58", "L02.T58", "L03.T58", "L04.T58", "L05.T58"])
        # The command line's --number free, on the same card and batch, takes the same numbers.
        folder = tempfile.mkdtemp(dir=self.work)
        for name in ("L01.T58", "L03.T58"):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(self.cli("mono short.wav"))
        for name in ("b01.wav", "b02.wav", "b03.wav"):
            shutil.copy(os.path.join(self.files, name), folder)
        out = subprocess.run([CLI, "--number", "free", "b01.wav", "b02.wav", "b03.wav"], cwd=folder,
                             capture_output=True, text=True)
        self.assertEqual(out.stdout.split(), ["L02.T58", "L04.T58", "L05.T58"], out.stderr)
        # OK again: the same numbers, each named in the question, never more free ones.
        self.el("ok").click()
        asked = self.answer(False)
        self.assertTrue(all(n in asked for n in ("L02.T58", "L04.T58", "L05.T58")), asked)
        self.assertEqual(len(self.card_files()), 6)  # five loops and their names
        # Each loop shows the sound it came from, kept in the card's index, and takes a name.
        self.assertRegex(self.slot_text(2), r"b0[123]\.wav")  # the three are one sound
        self.assertIn(".loopsmith-card", self.card_files())
        self.name_slot(4, "Kick fill")
        self.assertIn(b"Kick fill", self.card_files()[".loopsmith-card"])
        # A card that refuses the write: a message, and nothing listed as saved.
        self.js("FileSystemFileHandle.prototype.createWritable = () => "
                "Promise.reject(new DOMException('The card is full', 'QuotaExceededError'));"
                "window.loopsmithPage.saved.length = 0;")
        self.drop(["b04.wav"])
        self.el("ok").click()
        self.wait(self.dialog_text)
        self.assertIn("L06.T58: The card is full", self.dialog_text())
        self.assertIn("L06.T58: not saved: The card is full", self.el("results").text)
        self.assertEqual(self.js("return window.loopsmithPage.saved"), [])
        self.assertIn("free", self.slot_text(6))
        self.assertNotIn("L06.T58", self.card_files())  # no empty file left where it failed

    def test_sixty_files_are_refused_whole_and_fifty_make_one_zip(self):
        names = ["b%02d.wav" % i for i in range(1, 61)]
        # Too many for the card: refused before anything is written, as --number free does.
        self.drop(names)
        self.el("ok").click()
        self.wait(self.dialog_text)
        self.assertIn("60 new loops, but from L01.T58 on the card has room for 50", self.dialog_text())
        self.close_dialog()
        self.drop(names[:50])
        self.el("ok").click()
        self.assertEqual(self.downloaded(1, 30), ["loopsmith.zip"])  # fifty conversions
        # Rearranged in the page only: a reload would ask first, until the card's zip is taken.
        self.assertFalse(self.js("return window.loopsmithPage.card.unsaved"))
        self.driver.find_element(By.CSS_SELECTOR, '#slots li[data-number="1"]').send_keys(Keys.ALT, Keys.ARROW_RIGHT)
        self.wait(lambda: self.js("return window.loopsmithPage.card.unsaved"))
        saved = self.unzip("loopsmith.zip")
        folder = tempfile.mkdtemp(dir=self.work)
        for n in names[:50]:
            shutil.copy(os.path.join(self.files, n), folder)
        subprocess.run([CLI, *names[:50]], cwd=folder, check=True, capture_output=True)
        expected = {}
        for i in range(1, 51):
            with open(os.path.join(folder, "L%02d.T58" % i), "rb") as f:
                expected["L%02d.T58" % i] = f.read()
        self.assertEqual(saved, expected)

    def test_a_folder_opened_to_view_and_its_zip(self):
        folder = os.path.join(self.work, "SET-%d" % time.monotonic_ns())
        os.makedirs(folder)
        loops = {"L02.T58": self.cli("mono short.wav", "--number", "2"),
                 "L40.T58": self.cli("stereo long.wav", "--number", "40", "--measure", "2")}
        for name, data in loops.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        with open(os.path.join(folder, "L51.T58"), "wb") as f:
            f.write(b"x")
        self.el("card-input").send_keys(folder)
        self.wait(lambda: "free" not in self.slot_text(40))
        self.assertIn("2 measures", self.slot_text(40))
        self.assertIn("L51.T58: no number the sampler reads", self.el("strays").text)
        self.assertIn("(view only)", self.el("card-where").text)
        self.el("download-card").click()
        zip_name = os.path.basename(folder) + ".zip"
        self.assertEqual(self.downloaded(1), [zip_name])
        self.assertEqual(self.unzip(zip_name), loops)


if __name__ == "__main__":
    PAGE, CLI = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    AXE = os.environ.get("LOOPSMITH_AXE", os.path.join(
        os.path.dirname(PAGE), "..", "axe-core-4.11.0", "package", "axe.min.js"))
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
