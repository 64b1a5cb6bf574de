// Where the loop starts in the sound: dragged along the waveform (snapping
// to hits), nudged a beat or a sample, put on the first hit, optionally moved
// back to a zero crossing. The module takes every start, as the command
// line's --start takes one; the page only chooses it.
import { byId } from './dom.js';
import { withCommas } from './view.js';

const SNAP_PIXELS = 8;

export class Region {
  constructor({ core, session, state, waveform, view, say }) {
    Object.assign(this, { core, session, state, waveform, view, say });
    this.hits = null;
    this.drag = null;
    const canvas = waveform.canvas;
    canvas.addEventListener('pointerdown', (event) => this.grab(event));
    canvas.addEventListener('pointermove', (event) => this.move(event));
    canvas.addEventListener('pointerup', (event) => this.release(event));
    canvas.addEventListener('pointercancel', () => this.cancel());
    canvas.addEventListener('keydown', (event) => this.key(event));
    byId('start-back').addEventListener('click', (event) => this.nudge(-1, event.shiftKey));
    byId('start-on').addEventListener('click', (event) => this.nudge(1, event.shiftKey));
    byId('first-hit').addEventListener('click', () => this.firstHit());
  }

  get active() {
    return this.state.current && this.session.kind() === this.core.kindWave;
  }

  // A new file: its hits are found when first wanted.
  reset() {
    this.hits = null;
    this.drag = null;
  }

  hitFrames() {
    this.hits ??= this.session.hits();
    return this.hits;
  }

  // A beat at the tempo chosen, in frames.
  beat() {
    return Math.round((this.core.sampleRate * 600) / this.state.chosen().tenths);
  }

  // The loop from `frame` on, if the module takes it; the view follows (and the audition).
  place(frame) {
    let start = Math.max(0, Math.min(Math.round(frame), this.session.heldFrames() - 1));
    if (byId('snap-zero').checked) start = this.session.zeroCrossingBefore(start);
    const placed = this.session.setStart(start);
    if (!placed.ok) {
      this.say(`${placed.message}\n${this.state.current.name}: ${placed.detail}`);
      return;
    }
    this.state.setStart(this.state.current, start);
    this.view.showLoop();
  }

  nudge(direction, oneSample) {
    if (!this.active) return;
    this.place(this.session.start() + direction * (oneSample ? 1 : this.beat()));
  }

  firstHit() {
    if (!this.active) return;
    const { frames, why } = this.hitFrames();
    if (!frames.length) {
      this.say(`No first hit in ${this.state.current.name}: ${why}; the loop stays where it is.`);
      return;
    }
    this.place(frames[0]);
  }

  // The nearest hit within a few pixels of `frame`, or `frame`.
  snapped(frame) {
    if (!byId('snap-hits').checked) return frame;
    let best = frame;
    let nearest = SNAP_PIXELS / this.waveform.scale;
    for (const hit of this.hitFrames().frames) {
      const distance = Math.abs(hit - frame);
      if (distance <= nearest) {
        best = hit;
        nearest = distance;
      }
    }
    return best;
  }

  grab(event) {
    if (!this.active || event.button !== 0) return;
    const frame = this.waveform.frameAt(event.offsetX);
    const start = this.session.start();
    const last = this.core.lastSample(this.state.chosen().mode, this.state.chosen().tenths);
    // Inside the loop it is carried by where it was taken; outside, its start jumps there.
    this.drag = { offset: frame >= start && frame <= start + last ? frame - start : 0, at: start };
    this.waveform.canvas.setPointerCapture(event.pointerId);
    this.move(event);
  }

  move(event) {
    if (!this.drag) return;
    const frame = this.waveform.frameAt(event.offsetX) - this.drag.offset;
    this.drag.at = Math.max(0, Math.min(this.snapped(frame), this.session.heldFrames() - 1));
    this.waveform.setStart(this.drag.at);
  }

  release(event) {
    if (!this.drag) return;
    this.move(event);
    const { at } = this.drag;
    this.drag = null;
    this.place(at);
  }

  cancel() {
    this.drag = null;
    this.waveform.setStart(this.session.start());
  }

  key(event) {
    if (!this.active) return;
    const steps = { ArrowLeft: -1, ArrowRight: 1, ArrowDown: -1, ArrowUp: 1 };
    if (event.key in steps) {
      this.nudge(steps[event.key], event.shiftKey);
    } else if (event.key === 'Home') {
      this.place(0);
    } else {
      return;
    }
    event.preventDefault();
  }

  // The start's line and the slider's values for assistive technology.
  describe() {
    const rate = this.core.sampleRate;
    const start = this.session.start();
    const held = this.session.heldFrames();
    const seconds = (frames) => `${(frames / rate).toFixed(3)} s`;
    const canvas = this.waveform.canvas;
    canvas.setAttribute('aria-valuemin', '0');
    canvas.setAttribute('aria-valuemax', (held / rate).toFixed(3));
    canvas.setAttribute('aria-valuenow', (start / rate).toFixed(3));
    canvas.setAttribute('aria-valuetext', `starts at ${seconds(start)}`);
    const read = held < this.session.fileFrames() ? `, of the first ${seconds(held)} read` : '';
    byId('start-info').textContent = `Loop from ${seconds(start)} (frame ${withCommas(start)}${read})`;
  }
}
