// The held sound with the loop drawn over it, from its start. The min/max
// columns come from the module once per file; a change of tempo, measure or
// start redraws the overlay only.

export class Waveform {
  // `sampleRate` and `blockWords`: the core's, for the beats and block ends drawn over the loop.
  constructor(canvas, sampleRate, blockWords) {
    this.blockWords = blockWords;
    this.canvas = canvas;
    this.sampleRate = sampleRate;
    this.frames = 0;
    this.overview = null;
    this.background = document.createElement('canvas');
    this.loop = null;
    this.start = 0;
    this.playhead = null;
  }

  // `frames` of sound, whose columns `overview(from, to, columns)` gives as min/max pairs.
  setSound(overview, frames) {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(this.canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(this.canvas.clientHeight * ratio));
    this.canvas.width = this.background.width = width;
    this.canvas.height = this.background.height = height;
    this.frames = frames;
    this.overview = overview;
    this.loop = null;
    this.span = 0;
    this.start = 0;
  }

  // Nothing drawn: no file.
  clear() {
    this.frames = 0;
    this.overview = null;
    this.loop = null;
    this.playhead = null;
    const g = this.canvas.getContext('2d');
    g.clearRect(0, 0, this.canvas.width, this.canvas.height);
  }

  // The loop at the chosen tempo and measure from `start`: its last sample,
  // the last word the loop file stores, and the tempo in tenths for the beat
  // and bar grid (0 for none: OFF follows no tempo).
  setLoop(lastSample, lastWord, tenths = 0, start = 0) {
    this.loop = { last: lastSample, stored: lastWord, tenths };
    this.start = start;
    const span = Math.max(this.frames, start + lastWord + 1);
    if (this.span !== span) this.drawBackground(span);
    this.draw();
  }

  // The start shown while it is dragged, before the module takes it.
  setStart(start) {
    this.start = start;
    this.draw();
  }

  // The frame under a point `px` CSS pixels from the canvas's left.
  frameAt(px) {
    const width = this.canvas.clientWidth || 1;
    return Math.round((Math.max(0, Math.min(px, width)) / width) * this.span);
  }

  // CSS pixels per frame.
  get scale() {
    return (this.canvas.clientWidth || 1) / Math.max(1, this.span);
  }

  setPlayhead(frame) {
    this.playhead = frame;
    this.draw();
  }

  drawBackground(span) {
    this.span = span;
    const { width, height } = this.background;
    const g = this.background.getContext('2d');
    g.clearRect(0, 0, width, height);
    const mid = height / 2;
    g.fillStyle = getComputedStyle(this.canvas).color || '#333';
    // The columns the sound fills; the rest of the span is the loop's silence.
    const filled = Math.min(width, Math.ceil((this.frames / span) * width));
    const pairs = this.overview(0, Math.round((filled / width) * span), filled);
    for (let x = 0; x < filled && 2 * x + 1 < pairs.length; x++) {
      const top = mid - (pairs[2 * x + 1] / 32768) * mid;
      const bottom = mid - (pairs[2 * x] / 32768) * mid;
      g.fillRect(x, top, 1, Math.max(1, bottom - top));
    }
  }

  draw() {
    const { width, height } = this.canvas;
    const g = this.canvas.getContext('2d');
    g.clearRect(0, 0, width, height);
    if (!this.loop) return;
    const style = getComputedStyle(document.documentElement);
    const x = (frame) => (frame / this.span) * width;
    const band = (from, to, color, alpha) => {
      if (to <= from) return;
      g.globalAlpha = alpha;
      g.fillStyle = color;
      g.fillRect(x(from), 0, x(to) - x(from), height);
      g.globalAlpha = 1;
    };
    const { start } = this;
    const last = start + this.loop.last;
    const stored = start + this.loop.stored;
    band(0, start, style.getPropertyValue('--cut'), 0.35);
    band(start, last + 1, style.getPropertyValue('--loop'), 0.16);
    band(last + 1, this.frames, style.getPropertyValue('--cut'), 0.35);
    // Silence the loop file holds: after the sound within the loop, and after
    // the loop up to the block end; a stripe along the foot, under the sound cut off.
    band(Math.min(this.frames, last + 1), last + 1, style.getPropertyValue('--pad'), 0.3);
    g.globalAlpha = 0.6;
    g.fillStyle = style.getPropertyValue('--pad');
    g.fillRect(x(last + 1), height * 0.9, x(stored + 1) - x(last + 1), height * 0.1);
    g.globalAlpha = 1;
    g.drawImage(this.background, 0, 0);
    g.strokeStyle = style.getPropertyValue('--block');
    g.setLineDash([4, 4]);
    for (let word = this.blockWords; word <= this.loop.stored + 1; word += this.blockWords) {
      g.beginPath();
      g.moveTo(Math.round(x(start + word)) + 0.5, 0);
      g.lineTo(Math.round(x(start + word)) + 0.5, height);
      g.stroke();
    }
    g.setLineDash([]);
    // Beats and bars over the loop, to see whether the tempo fits the sound.
    if (this.loop.tenths > 0) {
      const beat = (this.sampleRate * 600) / this.loop.tenths;
      g.strokeStyle = getComputedStyle(this.canvas).color;
      for (let n = 1; n * beat < this.loop.last + 1; n++) {
        g.globalAlpha = n % 4 === 0 ? 0.55 : 0.2;
        g.lineWidth = n % 4 === 0 ? 2 : 1;
        g.beginPath();
        g.moveTo(Math.round(x(start + n * beat)) + 0.5, 0);
        g.lineTo(Math.round(x(start + n * beat)) + 0.5, height);
        g.stroke();
      }
      g.globalAlpha = 1;
      g.lineWidth = 1;
    }
    g.strokeStyle = style.getPropertyValue('--loop');
    g.lineWidth = 2;
    for (const edge of [start, last + 1]) {
      g.beginPath();
      g.moveTo(x(edge), 0);
      g.lineTo(x(edge), height);
      g.stroke();
    }
    g.lineWidth = 1;
    if (this.playhead !== null) {
      // The canvas's own text colour, which follows the colour scheme (the
      // keyword CanvasText on a canvas does not). What plays starts at the start.
      g.strokeStyle = getComputedStyle(this.canvas).color;
      g.lineWidth = 2;
      g.beginPath();
      g.moveTo(x(start + this.playhead), 0);
      g.lineTo(x(start + this.playhead), height);
      g.stroke();
    }
  }
}
