// The page: files in, the panel, the waveform, listening and saving. Every
// decision about bytes, names, lengths and messages is the core's.
import { loadCore } from './module.js';
import { Panel } from './panel.js';
import { Waveform } from './waveform.js';
import { Player } from './player.js';
import { Saver } from './save.js';
import { decodeSound } from './adapt.js';

const KIND_WAVE = 1;
const KIND_LOOP = 2;
const FORMAT_ERROR = 'Wave file format error';

const $ = (id) => document.getElementById(id);
const withCommas = (n) => n.toLocaleString('en-US');
const extension = (name) => name.slice(name.lastIndexOf('.')).toLowerCase();

async function main() {
  const core = await loadCore();
  const session = new core.Session();
  const dialog = $('message');
  const messages = [];
  const showMessage = (text) => {
    messages.push(text);
    $('message-text').textContent = text;
    if (!dialog.open) dialog.showModal();
  };
  const panel = new Panel(core, showMessage);
  const waveform = new Waveform($('waveform'));
  const player = new Player();
  const saver = new Saver();
  let files = [];  // the files of the last drop, in order
  let current = null;

  const page = { core, session, player, saver, messages, saved: [] };
  window.loopsmithPage = page;

  const result = (text, failed = false) => {
    const item = document.createElement('li');
    item.textContent = text;
    if (failed) item.className = 'failed';
    $('results').append(item);
  };

  // Loads one file into the session: a WAV file the core's way, anything else
  // the browser decodes; null with the message shown when it cannot be.
  async function load(file, quiet = false) {
    // Room first: a file the page cannot hold is said so before it is read.
    const room = session.reserveInput(file.size);
    if (!room.ok) {
      const text = `${room.message}\n${file.name}: ${room.detail}`;
      if (!quiet) showMessage(text);
      return { message: text };
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    session.inputView().set(bytes);
    const opened = session.open(file.name);
    if (opened.ok) return { adapted: null };
    const kind = extension(file.name);
    if (opened.message && !(kind === '.wav' && opened.message === FORMAT_ERROR)) {
      if (!quiet) showMessage(opened.message);
      return { message: opened.message };
    }
    // Another rate, depth or kind of file: decoded by the browser.
    try {
      const decoded = await decodeSound(bytes);
      if (!session.reserveFloats(decoded.samples.length).ok) throw new RangeError('no room');
      session.floatView().set(decoded.samples);
      const used = session.useDecoded(file.name, decoded.channels);
      if (used.ok) {
        // From what: the WAV reader's own words, or the kind of file.
        const from = opened.message ? opened.detail : `a ${kind} file`;
        return { adapted: `adapted (${from}): decoded by the browser (${decoded.channels} ` +
          `channel${decoded.channels > 1 ? 's' : ''}), resampled to 44,100 Hz, rounded to 16 bits` };
      }
    } catch (error) {
      // Falls through to the message below.
    }
    const text = opened.message || 'This file is no sound file the browser can decode.';
    if (!quiet) showMessage(text);
    return { message: text };
  }

  function showLoop() {
    if (!current || session.kind() !== KIND_WAVE) return;
    const { tenths, mode } = panel.current();
    const last = core.sampleCount(mode, tenths);
    const stored = core.storageWords(last);
    waveform.setLoop(last, stored);
    const seconds = ((last + 1) / 44100).toFixed(3);
    $('loop-info').textContent = `Loop: ${seconds} s, ${withCommas(last + 1)} samples; ` +
      `stored in ${withCommas(stored + 1)} words (${(stored + 1) / 65536} block${stored >= 65536 ? 's' : ''}); ` +
      `the file holds ${withCommas(session.fileFrames())} frames`;
  }
  panel.onChange = showLoop;

  async function open(list) {
    player.stop();
    files = [...list];
    $('results').replaceChildren();
    current = null;
    const first = files[0];
    const loaded = await load(first);
    panel.reset();
    if (loaded.message) {
      $('work').hidden = files.length === 1;
      return;
    }
    current = first;
    $('work').hidden = false;
    const isLoop = session.kind() === KIND_LOOP;
    $('params').hidden = isLoop;
    $('loop-panel').hidden = !isLoop;
    $('play-original').hidden = isLoop;
    const samples = session.samples().slice();
    waveform.setSamples(samples, session.channels(), session.frames());
    const batch = files.length > 1 ? ` One of ${files.length} files: OK converts them all, WAV files numbered up from the file number.` : '';
    if (isLoop) {
      const tenths = session.loopTempo();
      const mode = session.loopMeasure();
      const last = core.sampleCount(mode, tenths);
      waveform.setLoop(last, core.storageWords(last));
      $('file-info').textContent = `${first.name}: loop file.${batch}`;
      const rows = [['Tempo', `${(tenths / 10).toFixed(1)} BPM`],
        ['Measure', mode === 1 ? '1' : mode === 2 ? '2' : 'OFF'],
        ['Loop', `${withCommas(last + 1)} samples, ${((last + 1) / 44100).toFixed(3)} s`]];
      $('loop-header').replaceChildren(...rows.flatMap(([k, v]) => {
        const dt = document.createElement('dt'); dt.textContent = k;
        const dd = document.createElement('dd'); dd.textContent = v;
        return [dt, dd];
      }));
      $('loop-info').textContent = '';
    } else {
      $('file-info').textContent = `${first.name}: ${session.channels() === 2 ? 'stereo' : 'mono'}, ` +
        `${withCommas(session.fileFrames())} frames` + (loaded.adapted ? `; ${loaded.adapted}` : '') + `.${batch}`;
      showLoop();
    }
  }

  async function saveOutput(output) {
    const where = await saver.save(output.name, output.bytes.slice());
    page.saved.push(output.name);
    result(`${output.name}: ${where}`);
  }

  // OK: this file, or every file of the drop, numbered up from the file number.
  panel.onOk = async (chosen) => {
    player.stop();
    let number = chosen.fileNumber;
    for (const file of files) {
      const loaded = file === current ? {} : await load(file, true);
      if (loaded.message) {
        result(`${file.name}: ${loaded.message}`, true);
        if (extension(file.name) !== '.t58') number++;
        continue;
      }
      if (session.kind() === KIND_LOOP) {
        const output = session.saveWave();
        if (output.ok) await saveOutput(output); else result(`${file.name}: ${output.message}`, true);
        continue;
      }
      if (number > 50) {
        result(`${file.name}: ${core.messageText(136)}`, true);
        continue;
      }
      const output = session.buildLoop(chosen.tempo, chosen.measureMode, number, false);
      number++;
      if (output.ok) await saveOutput(output);
      else if (files.length === 1) showMessage(output.message);
      else result(`${file.name}: ${output.message}`, true);
    }
    if (files.length > 1 && current) await load(current, true);
    panel.renew();
  };
  panel.onCancel = () => {
    player.stop();
    files = [];
    current = null;
    $('work').hidden = true;
    panel.reset();
  };

  $('save-wave').addEventListener('click', async () => {
    const output = session.saveWave();
    if (output.ok) await saveOutput(output); else showMessage(output.message);
  });
  $('suggest').addEventListener('click', () => {
    const { mode } = panel.current();
    const found = session.suggestTempo(mode === 2 ? 2 : 1);
    if (found.tenths === 0) {
      $('suggest-note').textContent = 'no tempo in a loop chunk, the name or the length';
      return;
    }
    panel.setTempo(Math.round(found.tenths / 10));
    $('suggest-note').textContent = `${(found.tenths / 10).toFixed(1)} BPM from ${found.source}` +
      (found.tenths % 10 ? ' (the slider takes whole BPM)' : '');
  });

  const tick = () => {
    const frame = player.position();
    waveform.setPlayhead(frame);
    if (frame !== null) requestAnimationFrame(tick);
  };
  $('play-loop').addEventListener('click', () => {
    if (session.kind() === KIND_LOOP) {
      player.play(session.samples().slice(), 1);
    } else {
      const { tenths, mode } = panel.current();
      player.play(session.audition(tenths, mode, false).slice(), 1);
    }
    requestAnimationFrame(tick);
  });
  $('play-original').addEventListener('click', () => {
    player.play(session.samples().slice(), session.channels());
    requestAnimationFrame(tick);
  });
  $('stop').addEventListener('click', () => { player.stop(); waveform.setPlayhead(null); });

  if (saver.canChooseFolder()) {
    $('choose-folder').hidden = false;
    $('choose-folder').addEventListener('click', async () => {
      try {
        $('target').textContent = `the folder ${await saver.chooseFolder()}`;
      } catch (error) {
        // The user closed the picker: downloads, as before.
      }
    });
  }

  const drop = $('drop');
  drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    if (event.dataTransfer.files.length) open(event.dataTransfer.files);
  });
  // The whole page takes drops, so a near miss does not open the file in the tab.
  window.addEventListener('dragover', (event) => event.preventDefault());
  window.addEventListener('drop', (event) => event.preventDefault());
  $('file-input').addEventListener('change', (event) => {
    if (event.target.files.length) open(event.target.files);
    event.target.value = '';
  });
  page.ready = true;
}

main();
