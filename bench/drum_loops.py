#!/usr/bin/python3
"""Loops of known tempo for measuring --bpm auto, and the measuring: drum
loops rendered from the one-shots of Debian's hydrogen-drumkits (and the demo
songs of hydrogen-data), and real loops from lmms-common and sonic-pi-samples.

    drum_loops.py render DIR          seven styles on six kits: DIR/*.flac, DIR/truth.tsv
    drum_loops.py render-held-out DIR the same and two sparse styles on four other kits,
                                      another seed; never fitted on
    drum_loops.py render-styles DIR   twelve more styles (funk and lo-fi with sixteenths at
                                      80 to 100, ballads, jungle, trap, punk, a band ...) in
                                      1, 2 and 4 measures, some late or with a pickup, some Ogg
    drum_loops.py render-styles-held-out DIR   the same on the four other kits
    drum_loops.py render-styles-song-kits DIR  the same on the demo songs' two kits; never
                                      fitted on
    drum_loops.py render-grooves DIR  five more grooves (disco, garage, dembow, boom-bap,
                                      metal) on the six kits, 1, 2 and 4 measures, some late;
                                      never fitted on
    drum_loops.py render-songs DIR    the one-measure patterns of Hydrogen's demo songs
                                      (hydrogen-data) on their own kits, at the song's tempo
                                      and at a slow or fast one; never fitted on
    drum_loops.py real DIR            the real loops, under names without digits
    drum_loops.py measure DIR CLI [FLOOR]   CLI --info --bpm auto on each, with and
                                      without --measure
    drum_loops.py fit TOOL DIR... [--check FILE]   the evidence's weights (TOOL:
                                      build/bench/tempo_evidence; DIR: the FIT_SETS); with
                                      --check, fails unless FILE (beat_level.cpp) holds them
    drum_loops.py page TOOL DIR [FLOOR]   the page's Suggest tempo on each (TOOL:
                                      build/bench/tempo_evidence), without the tracker
    drum_loops.py timing CLI          what --bpm auto adds to converting a 6 s loop
    drum_loops.py starts CLI          --start auto on the held-out loops made takes: after
                                      50 to 300 ms of room noise, half with a soft pickup;
                                      fails unless 95% start within 3 ms before the first hit

measure fails when a tempo with --measure is off by more than 0.1 BPM, when
fewer than FLOOR% (95 unless given) without it are within 0.1 BPM, when more
than 2% are moved away from a beat tracker that was right, or when more than
4% are wrong without the unsure line. It also shows how
often the candidate nearest aubio's own estimate would have been right, and how
often the unsure line came with a miss and with a right answer.

Rendered loops: one kit, one style, swing, ghost notes and a fill in some,
48 kHz 24-bit stereo FLAC (some Ogg), exactly as long as their measures. The
names carry no tempo. Needs python3-numpy, python3-soundfile.
"""
import glob
import os
import random
import re
import shutil
import subprocess
import sys
from xml.etree import ElementTree

import numpy as np
import soundfile

KITS = "/usr/share/hydrogen/data/drumkits"
RATE = 48000
# kick, snare, closed hat, open hat, tom (or clap)
SAMPLES = {
    "Millo-Drums_v.1": ["bd1", "snare1", "closehihat3", "openhat2", "tom1_1"],
    "Millo_MultiLayered3": ["bd_01", "sd_01", "hh_01", "ho_01", "t1_01"],
    "HardElectro1": ["PowR_BD_1", "PowR_SN_1", "Hard_CHH_01", "Hard_Hse_OHH_1", "Clap_1"],
    "VariBreaks": ["VP Kick 1", "VP Snare 1", "VP Hat 1 Cl", "VP Hat 1 Op", "VP Tom Hi"],
    "ElectricEmpireKit": ["EE_Kick_Hard_1", "EE_Snare_1", "EE_Hat_Cl_Dirty", "EE_Hat_Op_Dirty",
                          "EE_Clap"],
    "ColomboAcousticDrumkit": ["bassdrum-4mics-br-stereo-normal3",
                               "snare-opaque-2mics_normal-shot1", "hihat-closed-1",
                               "hihat-open-1", "hihat-semi-open-1"],
}
# Kept apart: the tempo choice was never tuned on these, so they show whether
# it holds beyond the set it was measured on.
HELD_OUT = {
    "Millo_MultiLayered2": ["bd_01", "jsnare_01", "hhclosed_01", "hhopen_01", "floortom_01"],
    "BJA_Pacific": ["BD_01", "SN_01", "HH_01", "HH3_01", "TM_01"],
    "The Black Pearl 1.0": ["PearlKick-Hard", "PearlSnare-Hard", "SabianHatClosed-Hard",
                            "SabianHatOpen-Hard", "PearlTom1-Hard"],
    "ForzeeStereo": ["Kick-0", "Snare-0", "HiHatClosed-0", "HiHatOpen-0", "TomHigh-0"],
}
# The two kits of Hydrogen's demo songs, for the styles below on kits the
# other sets never use (render-songs plays the songs' own patterns on them).
SONG_KITS = {
    "GMRockKit": ["Kick-Hard", "Snare-Hard", "HatClosed-Med", "HatOpen-Med", "Tom1-Hard"],
    "TR808EmulationKit": ["808_Kick_Long", "808_Snare_1", "808_Hat_Closed", "808_Hat_Open",
                          "808_Tom_Hi"],
}
K, S, H, O, T = range(5)
# Per style: tempo range, steps per measure, hits as (step, drum, velocity).
STYLES = {
    "rock": ((80, 150), 16, [(0, K, 1), (8, K, 1), (10, K, .8), (4, S, 1), (12, S, 1)]
             + [(i, H, .7) for i in range(0, 16, 2)]),
    "house": ((118, 130), 16, [(i, K, 1) for i in (0, 4, 8, 12)] + [(4, T, .9), (12, T, .9)]
              + [(i, O, .6) for i in (2, 6, 10, 14)] + [(i, H, .4) for i in range(16)]),
    "hiphop": ((80, 100), 16, [(0, K, 1), (7, K, .8), (10, K, .9), (4, S, 1), (12, S, 1)]
               + [(i, H, .6) for i in range(0, 16, 2)]),
    "breaks": ((95, 140), 16, [(0, K, 1), (10, K, .9), (4, S, 1), (12, S, 1), (7, S, .4),
                               (9, S, .35), (15, S, .4)] + [(i, H, .6) for i in range(0, 16, 2)]),
    "dnb": ((160, 190), 16, [(0, K, 1), (10, K, .9), (4, S, 1), (12, S, 1)]
            + [(i, H, .5) for i in range(0, 16, 2)]),
    # Labelled, as sample packs do, with the tempo of its hats: the snare on 3.
    "halftime": ((130, 175), 16, [(0, K, 1), (6, K, .7), (8, S, 1)]
                 + [(i, H, .6) for i in range(0, 16, 2)]),
    "shuffle": ((60, 120), 12, [(0, K, 1), (6, K, .9), (3, S, 1), (9, S, 1)]
                + [(i, H, .6) for i in (0, 2, 3, 5, 6, 8, 9, 11)]),
}

# The held-out set adds two sparse styles, where the beat has nothing between
# its hits to go by: a kick on every beat with an open hat between, and a bare
# backbeat with no hats at all.
HELD_OUT_STYLES = dict(STYLES, **{
    "minimal": ((120, 135), 16, [(i, K, 1) for i in (0, 4, 8, 12)]
                + [(i, O, .6) for i in (2, 6, 10, 14)]),
    "backbeat": ((70, 130), 16, [(0, K, 1), (8, K, 1), (4, S, 1), (12, S, 1)]),
})


# Styles of real music the two sets above lack, each where it is usually
# played: steady sixteenths at 80 to 100, slow ballads with eighth-note hats,
# fast edits and half-time labelled at the hat tempo. For measuring only.
MORE_STYLES = {
    "funk": ((85, 100), 16, [(0, K, 1), (3, K, .7), (10, K, .9), (4, S, 1), (12, S, 1), (7, S, .35),
                             (9, S, .3)] + [(i, H, .5) for i in range(16)]),
    "samba": ((88, 104), 16, [(4, K, .8), (12, K, 1), (0, T, .6), (3, T, .6), (6, T, .6),
                              (10, T, .6), (13, T, .6)]
             + [(i, H, .35 if i % 4 in (0, 1) else .55) for i in range(16)]),
    "lofi": ((80, 95), 16, [(0, K, 1), (7, K, .7), (10, K, .9), (4, S, .9), (12, S, .9)]
             + [(i, H, .45) for i in range(16)]),
    "ballad": ((60, 76), 16, [(0, K, 1), (8, K, .8), (10, K, .5), (4, S, 1), (12, S, 1)]
               + [(i, H, .6) for i in range(0, 16, 2)]),
    "jungle": ((160, 178), 16, [(0, K, 1), (2, K, .8), (10, K, 1), (11, K, .7), (4, S, 1),
                                (7, S, .6), (9, S, .5), (12, S, 1), (15, S, .6)]
               + [(i, H, .5) for i in range(0, 16, 2)]),
    "trap": ((130, 150), 16, [(0, K, 1), (7, K, .8), (11, K, .7), (8, S, 1)]
             + [(i, H, .45) for i in range(16)]),
    "punk": ((170, 190), 16, [(0, K, 1), (8, K, 1), (4, S, 1), (12, S, 1)]
             + [(i, H, .7) for i in range(0, 16, 2)]),
    "onedrop": ((70, 85), 12, [(6, K, 1), (6, S, .8)] + [(i, H, .5) for i in (0, 2, 3, 5, 6, 8,
                                                                            9, 11)]),
    "afrobeat": ((100, 120), 16, [(0, K, 1), (3, K, .7), (10, K, .9), (4, S, .6), (12, S, 1),
                                  (14, S, .5), (6, O, .6)] + [(i, H, .4) for i in range(16)]),
    "bossa": ((120, 145), 16, [(0, K, 1), (3, K, .7), (8, K, 1), (11, K, .7)]
              + [(i, T, .6) for i in (0, 3, 6, 10, 12)] + [(i, H, .5) for i in range(0, 16, 2)]),
    # A band's loop: a rock beat with bass and a pad mixed in.
    "band": ((90, 140), 16, [(0, K, 1), (8, K, 1), (10, K, .7), (4, S, 1), (12, S, 1)]
             + [(i, H, .6) for i in range(0, 16, 2)]),
    "techno": ((125, 138), 16, [(i, K, 1) for i in (0, 4, 8, 12)] + [(4, T, .8), (12, T, .8)]
               + [(i, O, .6) for i in (2, 6, 10, 14)] + [(i, H, .35) for i in range(16)]),
}


# Five more grooves, each labelled as its players count it: disco with the
# open hat on the "and"s, two-step garage, dembow, swung boom-bap with
# sixteenth hats, and metal with the kick on the eighths. Made after the
# weights were fitted, and never fitted on: material the weighing has not seen.
GROOVES = {
    "disco": ((110, 128), 16, [(i, K, 1) for i in (0, 4, 8, 12)] + [(4, S, 1), (12, S, 1)]
              + [(i, O, .6) for i in (2, 6, 10, 14)] + [(i, H, .3) for i in range(16)]),
    "garage": ((128, 136), 16, [(0, K, 1), (7, K, .7), (10, K, .9), (4, S, 1), (12, S, 1)]
               + [(i, H, .5) for i in range(0, 16, 2)] + [(i, H, .3) for i in (3, 11)]),
    "dembow": ((88, 100), 16, [(i, K, 1) for i in (0, 4, 8, 12)]
               + [(i, S, .9) for i in (3, 6, 11, 14)] + [(i, H, .5) for i in range(0, 16, 2)]),
    "boombap": ((84, 96), 16, [(0, K, 1), (7, K, .7), (10, K, .9), (4, S, 1), (12, S, 1)]
                + [(i, H, .45 if i % 2 else .6) for i in range(16)]),
    "metal": ((160, 200), 16, [(i, K, .9) for i in range(0, 16, 2)] + [(4, S, 1), (12, S, 1)]
              + [(i, H, .7) for i in range(0, 16, 4)]),
}


# Real loops from Debian's packages, each copied under a name without digits
# (a number in a name could read as a tempo), with its tempo from its length
# and its onsets: (package, file, copied as, measures, BPM to a tenth).
SONGS = "/usr/share/hydrogen/data/demo_songs"
LMMS = "/usr/share/lmms/samples/beats"
SONIC_PI = "/usr/share/sonic-pi/samples"
REAL = [
    (LMMS, "909beat01.ogg", "lmms-beat.ogg", 2, 121.5),
    (LMMS, "break01.ogg", "lmms-break-a.ogg", 1, 166.8),
    (LMMS, "break02.ogg", "lmms-break-b.ogg", 1, 139.6),
    (LMMS, "break03.ogg", "lmms-break-c.ogg", 1, 166.7),
    (LMMS, "electro_beat01.ogg", "lmms-electro-a.ogg", 2, 120.0),
    (LMMS, "electro_beat02.ogg", "lmms-electro-b.ogg", 1, 120.0),
    (LMMS, "house_loop01.ogg", "lmms-house.ogg", 1, 142.0),
    (LMMS, "jungle01.ogg", "lmms-jungle.ogg", 2, 172.7),
    (SONIC_PI, "loop_amen.flac", "spi-amen.flac", 1, 136.9),
    (SONIC_PI, "loop_amen_full.flac", "spi-amen-full.flac", 4, 140.0),
    (SONIC_PI, "loop_breakbeat.flac", "spi-breakbeat.flac", 1, 126.0),
    (SONIC_PI, "loop_electric.flac", "spi-electric.flac", 1, 97.0),
    (SONIC_PI, "loop_mehackit1.flac", "spi-mehackit-a.flac", 1, 97.0),
    (SONIC_PI, "loop_mehackit2.flac", "spi-mehackit-b.flac", 1, 97.0),
    (SONIC_PI, "loop_perc1.flac", "spi-perc-a.flac", 1, 97.0),
    (SONIC_PI, "loop_perc2.flac", "spi-perc-b.flac", 1, 97.0),
    (SONIC_PI, "loop_weirdo.flac", "spi-weirdo.flac", 2, 97.0),
]


def write_truth(folder, rows):
    """DIR/truth.tsv: per loop its name, kit or package, style, measures and BPM."""
    with open(os.path.join(folder, "truth.tsv"), "w") as truth:
        for row in rows:
            truth.write("\t".join(str(x) for x in row) + "\n")


def read_truth(folder):
    return [line.rstrip("\n").split("\t") for line in open(os.path.join(folder, "truth.tsv"))]


def render_real(folder):
    os.makedirs(folder, exist_ok=True)
    for package, source, name, _, _ in REAL:
        shutil.copyfile(os.path.join(package, source), os.path.join(folder, name))
    write_truth(folder, [(name, os.path.basename(package), "real", measures, bpm)
                         for package, _, name, measures, bpm in REAL])
    print("copied %d real loops into %s" % (len(REAL), folder))


def load(kit, name):
    return load_path(next(os.path.join(KITS, kit, name + ext) for ext in (".flac", ".wav", ".aiff")
                          if os.path.exists(os.path.join(KITS, kit, name + ext))))


def load_path(path):
    data, rate = soundfile.read(path, always_2d=True)
    if data.shape[1] == 1:
        data = np.repeat(data, 2, axis=1)
    if rate != RATE:  # near enough for a one-shot
        at = np.arange(0, len(data) * RATE / rate) * rate / RATE
        data = np.stack([np.interp(at, np.arange(len(data)), data[:, c]) for c in range(2)], 1)
    return data[:, :2]


def render(folder, kits=None, styles=None, seed=58, late=False):
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(seed)
    rows = []
    firsts = []  # where each loop's first written hit is, before its jitter
    index = 0
    for kit, names in (kits or SAMPLES).items():
        drums = [load(kit, n) for n in names]
        for style, ((low, high), steps, hits) in (styles or STYLES).items():
            for measures in ((1, 1, 2, 4) if late else (1, 1, 2, 2)):
                bpm = round(rng.uniform(low, high), 1)
                length = round(RATE * 240 * measures / bpm)
                out = np.zeros((length + RATE * 3, 2))
                step_len = length / (steps * measures)
                swing = rng.choice((0, 0, 0.12, 0.2)) if steps == 16 else 0
                for m in range(measures):
                    pattern = list(hits)
                    if rng.random() < 0.5:  # ghost notes
                        pattern += [(s, S, .25) for s in rng.sample(range(steps), 3)]
                    if m == measures - 1 and rng.random() < 0.4:  # a fill on the last beat
                        pattern = [h for h in pattern if h[0] < steps * 3 // 4]
                        pattern += [(s, rng.choice((S, T)), .9) for s in range(steps * 3 // 4,
                                                                                 steps)]
                    for step, drum, velocity in pattern:
                        at = (m * steps + step) * step_len
                        if step % 2 == 1:
                            at += swing * step_len
                        at = int(at + rng.uniform(-0.002, 0.002) * RATE)
                        if at < 0:
                            at = 0
                        sound = drums[drum] * velocity * rng.uniform(0.85, 1.0)
                        out[at:at + len(sound)] += sound[:len(out) - at]
                if style == "band":
                    add_band(out, length, measures, bpm, rng)
                out = wrapped(out, length)
                shift = rng.random() if late else 1
                if shift < 0.3:  # cut up to 120 ms early: the first beat comes late
                    out = np.roll(out, int(rng.uniform(0.02, 0.12) * RATE), axis=0)
                elif shift < 0.45:  # a pickup: the loop starts half a beat or a beat early
                    out = np.roll(out, int(rng.choice((0.5, 1)) * 60 / bpm * RATE), axis=0)
                if late and index % 5 == 4:
                    name = "loop%03d-%s.ogg" % (index, style)
                    soundfile.write(os.path.join(folder, name), out, RATE, format="OGG",
                                    subtype="VORBIS")
                else:
                    name = "loop%03d-%s.flac" % (index, style)
                    soundfile.write(os.path.join(folder, name), out, RATE, subtype="PCM_24")
                rows.append((name, kit, style, measures, bpm))
                firsts.append(min(int(max(0, step * step_len)) for step, _, _ in hits))
                index += 1
    write_truth(folder, rows)
    with open(os.path.join(folder, "firsts.tsv"), "w") as f:
        f.writelines("%s\t%d\n" % (row[0], first) for row, first in zip(rows, firsts))
    print("rendered %d loops into %s" % (len(rows), folder))


def wrapped(out, length):
    """The loop of `length` frames: the tails ring on into its start, as in a
    loop cut from a take; then it is scaled to just under full scale."""
    tail = out[length:length * 2]
    out = out[:length]
    out[:len(tail)] += tail
    peak = np.max(np.abs(out))
    if peak > 0:
        out *= 0.89 / peak
    return out


def render_songs(folder):
    """The one-measure patterns of Hydrogen's demo songs (hydrogen-data), each
    with at least a dozen notes, on the song's own kit (GMRockKit or
    TR808EmulationKit): grooves written by others, each beat where its
    writer put it (48 ticks to the beat). Each is played at the song's own
    tempo, and again at a slow (60 to 80) or fast (150 to 180) one, where
    the octave is hardest to tell; once or twice round in turn."""
    os.makedirs(folder, exist_ok=True)
    rows, sounds = [], {}
    rng = random.Random(47)
    for path in sorted(glob.glob(os.path.join(SONGS, "*.h2song"))):
        song = ElementTree.parse(path).getroot()
        own = float(song.findtext("bpm"))
        instruments = {}
        for instrument in song.find("instrumentList").findall("instrument"):
            kit = instrument.findtext("drumkit")
            layers = [(float(layer.findtext("min")), float(layer.findtext("max")),
                       layer.findtext("filename"), float(layer.findtext("gain") or 1))
                      for layer in instrument.iter("layer")]
            # The kit and sample names come from the song file: each must be
            # one name within the kits' folder, never a path out of it.
            layers = [layer for layer in layers if one_name(layer[2])]
            if kit and one_name(kit) and layers:
                instruments[instrument.findtext("id")] = (
                    kit, layers, float(instrument.findtext("volume") or 1))
        for pattern in song.find("patternList").findall("pattern"):
            notes = pattern.find("noteList").findall("note")
            if int(pattern.findtext("size")) != 192 or len(notes) < 12:
                continue
            extreme = rng.uniform(60, 80) if rng.random() < 0.5 else rng.uniform(150, 180)
            for bpm in (own, round(extreme, 1)):
                render_pattern(notes, instruments, bpm, folder, rows, sounds,
                               os.path.basename(path)[:-7])
    write_truth(folder, rows)
    print("rendered %d loops into %s" % (len(rows), folder))


def one_name(name):
    """Whether `name` is one name within a folder: no path, no way up."""
    return bool(name) and name not in (".", "..") and os.path.basename(name) == name \
        and "\\" not in name


def render_pattern(notes, instruments, bpm, folder, rows, sounds, song):
    """One pattern of a song's at `bpm`, played once or twice round: each
    pattern once at one tempo and twice at the other, in turn."""
    tick = 60 / bpm / 48 * RATE
    measures = 1 + (len(rows) // 2 + len(rows)) % 2
    length = round(RATE * 240 * measures / bpm)
    out = np.zeros((length + RATE * 3, 2))
    for m, note in ((m, note) for m in range(measures) for note in notes):
        found = instruments.get(note.findtext("instrument"))
        if found is None:
            continue
        kit, layers, volume = found
        velocity = float(note.findtext("velocity"))
        _, _, name, gain = next((layer for layer in layers
                                 if layer[0] <= velocity <= layer[1]), layers[-1])
        if (kit, name) not in sounds:
            sounds[(kit, name)] = load_path(os.path.join(KITS, kit, name))
        sound = sounds[(kit, name)] * velocity * gain * volume
        at = int((192 * m + int(note.findtext("position"))) * tick)
        out[at:at + len(sound)] += sound[:len(out) - at]
    name = "loop%03d-song.flac" % len(rows)
    soundfile.write(os.path.join(folder, name), wrapped(out, length), RATE, subtype="PCM_24")
    rows.append((name, kit, song, measures, bpm))


def add_band(out, length, measures, bpm, rng):
    """A bass note on each beat, a chord's root and fifth, and a pad held over each measure."""
    beat = 60 / bpm
    roots = [rng.choice((41.2, 43.65, 49.0, 55.0)) for _ in range(measures)]
    t = np.arange(int(beat * RATE)) / RATE
    for m in range(measures):
        for b in range(4):
            f = roots[m] * (1.5 if b == 2 else 1)
            note = 0.5 * np.sin(2 * np.pi * f * t) * np.exp(-t * 3)
            at = int((m * 4 + b) * beat * RATE)
            out[at:at + len(note)] += note[:, None][:len(out) - at]
        pad_t = np.arange(int(4 * beat * RATE)) / RATE
        pad = sum(np.sin(2 * np.pi * roots[m] * k * pad_t) for k in (4, 5, 6)) * 0.06
        at = int(m * 4 * beat * RATE)
        out[at:at + len(pad)] += pad[:, None][:len(out) - at]


def auto_tempo(cli, path, measure=None):
    """--bpm auto's tempo, the tracker's estimate and whether it said it was unsure."""
    args = [cli, "--info", "--adapt", "--bpm", "auto"]
    if measure:
        args += ["--measure", str(measure)]
    text = subprocess.run(args + [path], capture_output=True, text=True).stdout
    found = re.search(r"--bpm auto: +([0-9.]+) BPM", text)
    heard = re.search(r"beat tracking: heard ([0-9.]+) BPM", text)
    return (float(found.group(1)) if found else None, float(heard.group(1)) if heard else None,
            "\n  unsure:" in text)


def measure(folder, cli, goal=95.0):
    rows = read_truth(folder)
    right_given = right_auto = right_tracker = moved = unsure_right = unsure_missed = four = 0
    misses = []
    per_style = {}
    for name, kit, style, measures, bpm in rows:
        bpm = float(bpm)
        path = os.path.join(folder, name)
        # --measure names one or two measures: a loop of four has no --measure to give.
        given = auto_tempo(cli, path, measures)[0] if int(measures) <= 2 else None
        if int(measures) > 2:
            four += 1
        elif given is not None and abs(given - bpm) <= 0.1:
            right_given += 1
        else:
            misses.append("--measure %s %s (%s, %s): %s, wanted %.1f" % (measures, name, kit, style,
                                                                        given, bpm))
        found, heard, unsure = auto_tempo(cli, path)
        seconds = soundfile.info(path).duration
        lengths = [240 * m / seconds for m in (1, 2, 4, 8) if 40 <= 240 * m / seconds <= 240]
        # With one candidate the length alone decides, and the tracker is not asked.
        nearest = lengths[0] if len(lengths) == 1 else heard and min(
            lengths, key=lambda c: abs(np.log2(c / heard)))
        if nearest and abs(nearest - bpm) <= 0.1:
            right_tracker += 1
        tally = per_style.setdefault(style, [0, 0])
        tally[1] += 1
        if found is not None and abs(found - bpm) <= 0.1:
            right_auto += 1
            unsure_right += unsure
            tally[0] += 1
        else:
            unsure_missed += unsure
            if tracker_right(heard, bpm):
                moved += 1
            misses.append("auto %s (%s, %s): %s (heard %s%s), wanted %.1f" % (
                name, kit, style, found, heard, ", unsure" if unsure else "", bpm))
    n = len(rows)
    wrong = n - right_auto
    for miss in misses[:40]:
        print("  " + miss)
    print("drum loops: %d" % n)
    print("with --measure: %d of %d within 0.1 BPM (%.1f%%)%s" % (
        right_given, n - four, 100.0 * right_given / (n - four),
        ", leaving out %d loops of four measures" % four if four else ""))
    print("without it:     %d of %d within 0.1 BPM (%.1f%%), floor %.0f%%" % (
        right_auto, n, 100.0 * right_auto / n, goal))
    print("aubio's estimate alone: %d of %d (%.1f%%)" % (right_tracker, n, 100.0 * right_tracker / n))
    print("without --measure, by style: " + ", ".join(
        "%s %d/%d" % (style, right, count) for style, (right, count) in sorted(per_style.items())))
    print("moved away from a beat tracker that was right: %d (%.1f%%, at most 2%%)" % (
        moved, 100.0 * moved / n))
    print("unsure: on %d of %d misses, on %d of %d right answers (%.1f%%)" % (
        unsure_missed, wrong, unsure_right, right_auto, 100.0 * unsure_right / max(1, right_auto)))
    silent = wrong - unsure_missed
    print("wrong without the unsure line: %d (%.1f%%, at most 4%%)" % (silent, 100.0 * silent / n))
    return (right_given == n - four and right_auto >= goal / 100 * n and moved <= 0.02 * n
            and silent <= 0.04 * n)


# The columns of tempo_evidence, in the order of adapt/beat_level.h's Evidence.
EVIDENCE = ["prior", "tracker", "backbeat", "beats", "eighths", "sixteenths", "repeat",
            "silent beats", "density"]
# Set by hand, not fitted: the loops rarely leave a beat silent, so no fit can
# learn what a silent beat says. Every beat played weighs 2, and beats with
# nothing on them -3, so that a tempo at which every other beat is silent
# loses to one at which every beat is played; the rest are fitted around them.
HAND_SET = {"beats": 2.0, "silent beats": -3.0}
# The sets the weights are fitted on; the held-out sets never are.
FIT_SETS = ("render", "render-styles", "real")


def tracker_right(heard, bpm):
    """The beat tracker heard the tempo: within 0.05 octave (3.5%), as
    beat_level.cpp's kTrackerNear; the fit and the measure use this one rule."""
    return heard is not None and heard > 0 and abs(np.log2(heard / bpm)) < 0.05


def fitted_weights(evidence_tool, folders):
    """Fits the weights of --bpm auto's evidence to loops of known tempo: a
    logistic regression on the right tempo against each other one, every loop
    counting once, the values in HAND_SET held. Then, for the page, the same
    without the tracker (its column zero). Both as lists in EVIDENCE's order.
    (The loops where the tracker was right once counted half again as much:
    that let a tracker an octave off tip close calls it should not.)"""
    pairs = []
    for folder in folders:
        truth = {row[0]: float(row[4]) for row in read_truth(folder)}
        files = [os.path.join(folder, name) for name in sorted(truth)]
        lines = subprocess.run([evidence_tool] + files, capture_output=True, text=True).stdout
        loops = {}
        for line in lines.splitlines():
            fields = line.split("\t")
            loops.setdefault(fields[0], []).append(
                (float(fields[2]), float(fields[1]), np.array([float(x) for x in fields[5:]])))
        for path, tempi in loops.items():
            bpm = truth[os.path.basename(path)]
            right = [t for t in tempi if abs(round(t[0], 1) - bpm) <= 0.1]
            if not right:
                continue
            for t in tempi:
                if t is not right[0]:
                    pairs.append(right[0][2] - t[2])
    x = np.array(pairs)
    assert x.shape[1] == len(EVIDENCE), "tempo_evidence gives %d columns" % x.shape[1]
    held = {EVIDENCE.index(name): value for name, value in HAND_SET.items()}
    unheard = x.copy()
    unheard[:, EVIDENCE.index("tracker")] = 0
    found = []
    for features in (x, unheard):
        w = np.zeros(x.shape[1])
        for i, value in held.items():
            w[i] = value
        free = [i for i in range(len(w)) if i not in held]
        for _ in range(3000):
            p = 1 / (1 + np.exp(-(features @ w)))
            step = -(features * (1 - p)[:, None]).mean(0) + 0.01 * w
            w[free] -= step[free]
        found.append(w)
    return found


def weights_text(w):
    return ", ".join("%.3g" % v for v in w)


def fit(evidence_tool, folders, check=None):
    """Prints the two weight arrays as beat_level.cpp holds them; with
    `check`, that file, fails unless it holds exactly these."""
    heard, unheard = fitted_weights(evidence_tool, folders)
    print("columns: " + ", ".join(EVIDENCE))
    print("kWeights: {%s}" % weights_text(heard))
    print("kWeightsUnheard: {%s}" % weights_text(unheard))
    if check is None:
        return True
    text = re.sub(r"\s+", " ", open(check).read())
    same = True
    for name, w in (("kWeights", heard), ("kWeightsUnheard", unheard)):
        found = re.search(name + r" = \{([^}]*)\}", text)
        held = [float(v) for v in found.group(1).split(",")] if found else []
        if held != [float("%.3g" % v) for v in w]:
            print("%s: %s holds {%s}, the fit gives {%s}" % (check, name, ", ".join(
                "%g" % v for v in held), weights_text(w)))
            same = False
    return same


def page(evidence_tool, folder, goal=95.0):
    """The page's Suggest tempo (the same weighing, without the tracker) on
    loops of known tempo: how many right, and the second reading offered.
    True when at least `goal` percent are right."""
    rows = read_truth(folder)
    files = [os.path.join(folder, row[0]) for row in rows]
    lines = subprocess.run([evidence_tool, "--page"] + files, capture_output=True,
                           text=True).stdout.splitlines()
    found = {os.path.basename(f[0]): (float(f[1]), float(f[2]))
             for f in (line.split("\t") for line in lines)}
    right = unsure_right = unsure_missed = 0
    per_style = {}
    for name, _, style, _, bpm in rows:
        bpm, (chosen, second) = float(bpm), found.get(name, (0, 0))
        tally = per_style.setdefault(style, [0, 0])
        tally[1] += 1
        if abs(round(chosen, 1) - bpm) <= 0.1:
            right += 1
            tally[0] += 1
            unsure_right += second > 0
        else:
            unsure_missed += second > 0
    n, wrong = len(rows), len(rows) - right
    print("the page: %d of %d within 0.1 BPM (%.1f%%), floor %.0f%%" % (
        right, n, 100.0 * right / n, goal))
    print("the page, by style: " + ", ".join(
        "%s %d/%d" % (style, r, c) for style, (r, c) in sorted(per_style.items())))
    print("the page's second reading: on %d of %d misses, on %d of %d right answers; "
          "wrong without it: %d (%.1f%%)" % (unsure_missed, wrong, unsure_right, right,
                                            wrong - unsure_missed, 100.0 * (wrong - unsure_missed) / n))
    return right >= goal / 100 * n


def timing(cli):
    """What --bpm auto adds to converting a 6-second loop: medians of 5 runs each."""
    import tempfile
    import time
    cli = os.path.abspath(cli)
    with tempfile.TemporaryDirectory() as folder:
        render(folder, {"Millo-Drums_v.1": SAMPLES["Millo-Drums_v.1"]},
               {"rock": ((80, 80), 16, STYLES["rock"][2])})
        path = os.path.join(folder, sorted(n for n in os.listdir(folder)
                                           if n.endswith(".flac"))[2])  # two measures at 80: 6 s
        def median(*args):
            runs = []
            for _ in range(5):
                start = time.perf_counter()
                subprocess.run([cli, "--adapt"] + list(args), capture_output=True, cwd=folder)
                runs.append(time.perf_counter() - start)
            return sorted(runs)[2]
        plain, auto = median("--bpm", "80", path), median("--bpm", "auto", path)
        started = median("--bpm", "80", "--start", "auto", path)
        print("a %.1f s loop converted: --bpm 80 %.3f s, --bpm auto %.3f s: adds %.3f s (at most 0.3)"
              % (soundfile.info(path).duration, plain, auto, auto - plain))
        print("--start auto adds %.3f s to it" % (started - plain))
        # A minute's take: the loop played over and over.
        loop, rate = soundfile.read(path)
        take = os.path.join(folder, "take.wav")
        soundfile.write(take, np.concatenate([loop] * 10)[:60 * rate], rate, subtype="PCM_16")
        print("--bpm auto on a 60 s take: %.3f s in all (at most 1)" % median("--bpm", "auto", take))


def starts(cli):
    """--start auto on takes: each held-out loop after room noise, some with a soft pickup."""
    import tempfile
    cli = os.path.abspath(cli)
    rng = np.random.default_rng(5)
    right = 0
    rows = []
    with tempfile.TemporaryDirectory() as folder:
        render(folder, HELD_OUT, HELD_OUT_STYLES, seed=85)
        with open(os.path.join(folder, "firsts.tsv")) as f:
            firsts = dict((name, int(at)) for name, at in (line.split("\t") for line in f))
        for name, kit, style, measures, bpm in read_truth(folder):
            loop, rate = soundfile.read(os.path.join(folder, name))
            first = firsts[name]
            # The hit's own attack: where it first reaches a tenth of its peak
            # (each hit lies up to 2 ms either side of its step, and a one-shot
            # may open with some milliseconds of near silence).
            lead = int(rng.uniform(0.05, 0.3) * rate)
            body = np.concatenate([loop, loop])
            early = max(0, first - int(0.003 * rate))
            body[:early] = 0  # no tail rings in before a take
            level = np.max(np.abs(body), axis=1)
            near = level[early:first + int(0.05 * rate)]
            attack = early + int(np.argmax(near >= 0.1 * near.max()))
            take = np.concatenate([np.zeros((lead, 2)), body])
            pickup = rng.random() < 0.5
            if pickup:  # the first hit's first 60 ms, 20 dB down, half a beat early
                at = lead + attack - int(30 / float(bpm) * rate)
                if at > 0:
                    piece = body[attack:attack + int(0.06 * rate)] * 0.1
                    take[at:at + len(piece)] += piece
            take += rng.standard_normal(take.shape) * 10 ** (rng.uniform(-60, -45) / 20)
            path = os.path.join(folder, "take.wav")
            soundfile.write(path, take, rate, subtype="PCM_16")
            out = subprocess.run([cli, "--info", "--start", "auto", path], capture_output=True,
                                 text=True).stdout
            found = re.search(r"loop: .*\(frames ([\d,]+) to", out)
            got = int(found.group(1).replace(",", "")) if found else -1
            truth = (lead + attack) * 44100 // rate  # the loop counts at 44,100 Hz
            ok = truth - 0.003 * 44100 <= got <= truth
            right += ok
            rows.append((name, style, pickup, truth, got, ok))
    for name, style, pickup, truth, got, ok in rows:
        if not ok:
            print("  %s %s%s: first hit at %d, started at %d (%+.1f ms)"
                  % (name, style, " with a pickup" if pickup else "", truth, got,
                     (got - truth) / 44.1))
    share = 100.0 * right / len(rows)
    print("--start auto within 3 ms before the first hit: %d of %d (%.1f%%; at least 95%%)"
          % (right, len(rows), share))
    return share >= 95


if __name__ == "__main__":
    if sys.argv[1] == "render":
        render(sys.argv[2])
    elif sys.argv[1] == "render-held-out":
        render(sys.argv[2], HELD_OUT, HELD_OUT_STYLES, seed=85)
    elif sys.argv[1] == "render-styles":
        render(sys.argv[2], SAMPLES, MORE_STYLES, seed=27, late=True)
    elif sys.argv[1] == "render-grooves":
        render(sys.argv[2], SAMPLES, GROOVES, seed=91, late=True)
    elif sys.argv[1] == "render-songs":
        render_songs(sys.argv[2])
    elif sys.argv[1] == "real":
        render_real(sys.argv[2])
    elif sys.argv[1] == "render-styles-held-out":
        render(sys.argv[2], HELD_OUT, MORE_STYLES, seed=61, late=True)
    elif sys.argv[1] == "render-styles-song-kits":
        render(sys.argv[2], SONG_KITS, MORE_STYLES, seed=73, late=True)
    elif sys.argv[1] == "fit":
        check = sys.argv[sys.argv.index("--check") + 1] if "--check" in sys.argv else None
        folders = [a for a in sys.argv[3:] if a not in ("--check", check)]
        sys.exit(0 if fit(sys.argv[2], folders, check) else 1)
    elif sys.argv[1] == "page":
        sys.exit(0 if page(sys.argv[2], sys.argv[3], float(sys.argv[4]) if len(sys.argv) > 4
                           else 95.0) else 1)
    elif sys.argv[1] == "timing":
        timing(sys.argv[2])
    elif sys.argv[1] == "starts":
        sys.exit(0 if starts(sys.argv[2]) else 1)
    else:
        goal = float(sys.argv[4]) if len(sys.argv) > 4 else 95.0
        sys.exit(0 if measure(sys.argv[2], sys.argv[3], goal) else 1)
