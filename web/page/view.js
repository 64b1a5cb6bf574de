// The file shown: what it is, its waveform with the loop region, and the
// loop's facts, for the tempo and measure chosen for it.
import { byId } from './dom.js';
import { measureShort } from './measures.js';

const withCommas = (n) => n.toLocaleString('en-US');

export class FileView {
  constructor({ core, session, state, waveform, player, listening }) {
    Object.assign(this, { core, session, state, waveform, player, listening });
  }

  // The loop region and its facts, after any change of tempo or measure.
  showLoop() {
    const { core, session } = this;
    if (!this.state.current || session.kind() !== core.kindWave) return;
    const { tenths, mode } = this.state.chosen();
    const last = core.lastSample(mode, tenths);
    const stored = core.storageWords(last);
    this.waveform.setLoop(last, stored, mode === 0 ? 0 : tenths);
    const seconds = ((last + 1) / core.sampleRate).toFixed(3);
    byId('loop-info').textContent = `Loop: ${seconds} s, ${withCommas(last + 1)} samples; ` +
      `stored in ${withCommas(stored + 1)} words (${(stored + 1) / core.blockWords} block${stored >= core.blockWords ? 's' : ''}); ` +
      `the file holds ${withCommas(session.fileFrames())} frames`;
    if (this.player.playing === 'loop') this.listening.playLoop();
  }

  // Nothing of the file before stays on screen.
  clear(text) {
    this.player.stop();
    this.state.current = null;
    this.waveform.clear();
    byId('file-info').textContent = text;
    byId('loop-info').textContent = '';
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
    this.waveform.setSamples(session.samples(), session.channels(), session.frames());
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
