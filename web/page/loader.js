// Loading a dropped file into the module's session: a WAV or AIFF file the
// core's way, anything else decoded by the browser; read in pieces, with
// progress, stopped by the job's signal, and only as far as the steps need.
import { decodeSound, resample } from './adapt.js';

const FIRST_PART = 8 * 1024 * 1024;
const extension = (name) => name.slice(name.lastIndexOf('.')).toLowerCase();

export class Loader {
  constructor(core, session, onProgress) {
    this.core = core;
    this.session = session;
    this.onProgress = onProgress;
    this.memoryError = core.messageText(core.memoryErrorId);
    this.rateText = () => core.sampleRate.toLocaleString('en-US');
  }

  // The bytes of `part` (of `file`) into the module's buffer, a piece at a
  // time, so that the page shows how far it is and stops when a new drop
  // overtakes it.
  async readInto(file, part, signal) {
    const reader = part.stream().getReader();
    const stop = () => reader.cancel().catch(() => {});
    signal.addEventListener('abort', stop, { once: true });
    try {
      let at = 0;
      for (;;) {
        const { done, value } = await reader.read();
        signal.throwIfAborted();
        if (done) return;
        // A fresh view each time: the module's memory may have moved.
        this.session.inputView().set(value, at);
        at += value.length;
        this.onProgress(file, part.size ? at / part.size : 1);
      }
    } finally {
      signal.removeEventListener('abort', stop);
    }
  }

  // Loads one file into the session: a WAV or AIFF file the core's way,
  // anything else the browser decodes. `{ok, adapted}`, or `{message, detail}`.
  // Only the file's start is read at first (a loop takes at most a megabyte
  // of sound); more, up to all of it, only where a step needs it.
  async load(file, signal, whole = false) {
    let held = whole ? file.size : Math.min(file.size, FIRST_PART);
    for (;;) {
      const loaded = await this.loadPart(file, held, signal);
      if (!loaded.needsMore || held >= file.size) return loaded;
      held = Math.min(file.size, held * 4);
    }
  }

  async loadPart(file, held, signal) {
    this.onProgress(file, 0);
    const room = this.session.reserveInput(held);
    if (!room.ok) return room;
    await this.readInto(file, held < file.size ? file.slice(0, held) : file, signal);
    const opened = this.session.open(file.name, file.size);
    if (opened.ok) return { ok: true, adapted: null };
    if (opened.needsMore) return opened;
    // From what: the WAV reader's own words, or the kind of file.
    const from = opened.message ? opened.detail : `a ${extension(file.name)} file`;
    // A WAV file the WAV reader refuses, and an AIFF file: read as --adapt
    // reads them (another depth or rate, a chunk it walks differently); another
    // rate is then resampled by the browser.
    const own = this.session.decodeOwn();
    if (own.needsMore) return own;
    // Refused there too: in --adapt's words, and no other reader is tried.
    if (!own.ok && own.wavOrAiff) {
      return { message: opened.message || 'This sound file cannot be read.', detail: own.detail };
    }
    if (own.ok && own.rate === this.core.sampleRate) {
      return { ok: true, adapted: `adapted (${from}): read by the page's own reader, rounded to 16 bits` };
    }
    if (own.ok) {
      const resampled = await resample(this.session.ownSamples(), own.channels, own.rate,
        this.core.sampleRate);
      signal.throwIfAborted();
      const floats = this.session.reserveFloats(resampled.length);
      if (!floats.ok) return floats;
      this.session.floatView().set(resampled);
      const used = this.session.useDecoded(file.name, own.channels);
      if (!used.ok) return used;
      return { ok: true, adapted: `adapted (${from}): read by the page's own reader, ` +
        `resampled to ${this.rateText()} Hz by the browser, rounded to 16 bits` };
    }
    // Another kind of file (FLAC, MP3, Ogg): decoded by the browser.
    let bytes = null;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
    } catch (error) {
      // The whole file is more than the browser will hold at once.
      return { message: this.memoryError,
        detail: `${Math.ceil(file.size / 2 ** 20)} MiB, more than the browser can hold to decode` };
    }
    let decoded = null;
    try {
      decoded = await decodeSound(bytes, this.core.sampleRate);
    } catch (error) {
      // Said below, in the reader's words where it had any.
    }
    signal.throwIfAborted();
    if (decoded) {
      const floats = this.session.reserveFloats(decoded.samples.length);
      if (!floats.ok) return floats;
      this.session.floatView().set(decoded.samples);
      const used = this.session.useDecoded(file.name, decoded.channels);
      if (!used.ok) return used;
      return { ok: true, adapted: `adapted (${from}): decoded by the browser (${decoded.channels} ` +
        `channel${decoded.channels > 1 ? 's' : ''}), resampled to ${this.rateText()} Hz, rounded to 16 bits` };
    }
    return opened.message ? opened
      : { message: 'This file is no sound file the browser can decode.', detail: '' };
  }
}
