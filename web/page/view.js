// The file shown: what it is, its waveform with the loop region, and the
// loop's facts, for the tempo and measure chosen for it.
import { byId } from './dom.js';
import { measureShort } from './measures.js';
import { drawSeam } from './seam.js';

export const withCommas = (n) => n.toLocaleString('en-US');

export class FileView {
  constructor({ core, session, state, waveform, player, listening }) {
    Object.assign(this, { core, session, state, waveform, player, listening });
    this.region = null;  // set once the Region exists: it redraws through this view
  }

  // The loop region and its facts, after any change of tempo, measure or start.
  showLoop() {
    const { core, session } = this;
    if (!this.state.current || session.kind() !== core.kindWave) return;
    const { tenths, mode } = this.state.chosen();
    const last = core.lastSample(mode, tenths);
    const stored = core.storageWords(last);
    this.waveform.setLoop(last, stored, mode === 0 ? 0 : tenths, session.start());
    // One audition for the loop point drawn and the loop playing.
    const heard = session.audition(tenths, mode, this.state.panel.dither());
    drawSeam(byId('seam'), heard, core.sampleRate);
    this.region?.describe();
    const seconds = ((last + 1) / core.sampleRate).toFixed(3);
    byId('loop-facts').textContent = `: ${seconds} s, ${withCommas(last + 1)} samples; ` +
      `stored in ${withCommas(stored + 1)} words (${(stored + 1) / core.blockWords} block${stored >= core.blockWords ? 's' : ''})`;
    if (this.player.playing === 'loop') this.listening.playLoop(heard);
  }

  // Nothing of the file before stays on screen.
  clear(text) {
    this.player.stop();
    this.state.current = null;
    this.waveform.clear();
    byId('file-info').textContent = text;
    byId('start-info').textContent = byId('loop-facts').textContent = '';
    byId('suggest-note').textContent = '';
    byId('loop-header').replaceChildren();
  }

  show(file, loaded) {
    const { core, session, state } = this;
    state.current = file;
    const isLoop = session.kind() === core.kindLoop;
    byId('params').hidden = isLoop && !state.batch;
    byId('loop-panel').hidden = !isLoop;
    // A loop file dropped on a slot can go into it as it is.
    byId('place-loop').hidden = !(isLoop && state.cardTarget);
    if (state.cardTarget) byId('place-loop').textContent = `Put into ${core.slotName(state.cardTarget.number)}`;
    byId('play-original').hidden = isLoop;
    this.region?.reset();
    this.waveform.setSound((from, to, columns) => session.overview(from, to, columns), session.heldFrames());
    byId('region').hidden = isLoop;
    // Only the file's start is read at first: the loop can go further once the rest is.
    byId('read-all').hidden = isLoop || session.heldFrames() >= session.fileFrames();
    // A loop file's waveform is a picture; a sound file's is the loop start's slider.
    const canvas = this.waveform.canvas;
    canvas.setAttribute('role', isLoop ? 'img' : 'slider');
    canvas.setAttribute('aria-label', isLoop ? 'The loop' : 'Loop start');
    canvas.tabIndex = isLoop ? -1 : 0;
    if (isLoop) for (const name of ['valuemin', 'valuemax', 'valuenow', 'valuetext']) canvas.removeAttribute(`aria-${name}`);
    // The start chosen for this file before, as the module left it at 0 on loading.
    if (!isLoop && state.startOf(file)) session.setStart(state.startOf(file));
    const others = state.files.length - 1;
    const batch = others ? ` One of ${state.files.length} files: OK converts them all, each with its row below.` : '';
    if (isLoop) {
      const tenths = session.loopTempo();
      const mode = session.loopMeasure();
      const last = core.lastSample(mode, tenths);
      this.waveform.setLoop(last, core.storageWords(last), mode === 0 ? 0 : tenths);
      byId('file-info').textContent = `${file.name}: loop file.${batch}`;
      const rows = [['Tempo', `${(tenths / 10).toFixed(1)} BPM`],
        ['Loop length', measureShort(mode)],
        ['Loop', `${withCommas(last + 1)} samples, ${((last + 1) / core.sampleRate).toFixed(3)} s`]];
      byId('loop-header').replaceChildren(...rows.flatMap(([k, v]) => {
        const dt = document.createElement('dt'); dt.textContent = k;
        const dd = document.createElement('dd'); dd.textContent = v;
        return [dt, dd];
      }));
    } else {
      byId('file-info').textContent = `${file.name}: ${session.channels() === 2 ? 'stereo' : 'mono'}, ` +
        `${withCommas(session.fileFrames())} frames` + (loaded.adapted ? `; ${loaded.adapted}` : '') + `.${batch}`;
      this.showLoop();
    }
  }
}
