// The dropped sound with the loop drawn over it. The min/max columns are
// computed once per file; a change of tempo or measure redraws the overlay only.

export class Waveform {
  // `sampleRate` and `blockWords`: the core's, for the beats and block ends drawn over the loop.
  constructor(canvas, sampleRate, blockWords) {
    this.blockWords = blockWords;
    this.canvas = canvas;
    this.sampleRate = sampleRate;
    this.frames = 0;
    this.columns = null;
    this.background = document.createElement('canvas');
    this.loop = null;
    this.playhead = null;
  }

  // Interleaved 16-bit samples of one or two channels.
  setSamples(samples, channels, frames) {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(this.canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(this.canvas.clientHeight * ratio));
    this.canvas.width = this.background.width = width;
    this.canvas.height = this.background.height = height;
    this.frames = frames;
    this.samples = samples;
    this.channels = channels;
    this.loop = null;
    this.columns = null;
  }

  // Nothing drawn: no file.
  clear() {
    this.frames = 0;
    this.samples = null;
    this.loop = null;
    this.columns = null;
    this.playhead = null;
    const g = this.canvas.getContext('2d');
    g.clearRect(0, 0, this.canvas.width, this.canvas.height);
  }

  // The loop at the chosen tempo and measure: its last sample, the last word
  // the loop file stores, and the tempo in tenths for the beat and bar grid
  // (0 for none: OFF follows no tempo).
  setLoop(lastSample, lastWord, tenths = 0) {
    this.loop = { last: lastSample, stored: lastWord, tenths };
    const span = Math.max(this.frames, lastWord + 1);
    if (!this.columns || this.span !== span) this.drawBackground(span);
    this.draw();
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
    const perColumn = span / width;
    for (let x = 0; x < width; x++) {
      const from = Math.floor(x * perColumn);
      const to = Math.min(this.frames, Math.floor((x + 1) * perColumn));
      if (from >= to) continue;
      let low = 0;
      let high = 0;
      for (let f = from; f < to; f++) {
        let v = this.samples[f * this.channels];
        if (this.channels === 2) v = (v + this.samples[f * 2 + 1]) / 2;
        if (v < low) low = v;
        if (v > high) high = v;
      }
      const top = mid - (high / 32768) * mid;
      const bottom = mid - (low / 32768) * mid;
      g.fillRect(x, top, 1, Math.max(1, bottom - top));
    }
    this.columns = true;
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
    const { last, stored } = this.loop;
    band(0, last + 1, style.getPropertyValue('--loop'), 0.16);
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
    for (let word = this.blockWords; word <= this.span; word += this.blockWords) {
      g.beginPath();
      g.moveTo(Math.round(x(word)) + 0.5, 0);
      g.lineTo(Math.round(x(word)) + 0.5, height);
      g.stroke();
    }
    g.setLineDash([]);
    // Beats and bars over the loop, to see whether the tempo fits the sound.
    if (this.loop.tenths > 0) {
      const beat = (this.sampleRate * 600) / this.loop.tenths;
      g.strokeStyle = getComputedStyle(this.canvas).color;
      for (let n = 1; n * beat < last + 1; n++) {
        g.globalAlpha = n % 4 === 0 ? 0.55 : 0.2;
        g.lineWidth = n % 4 === 0 ? 2 : 1;
        g.beginPath();
        g.moveTo(Math.round(x(n * beat)) + 0.5, 0);
        g.lineTo(Math.round(x(n * beat)) + 0.5, height);
        g.stroke();
      }
      g.globalAlpha = 1;
      g.lineWidth = 1;
    }
    g.strokeStyle = style.getPropertyValue('--loop');
    g.lineWidth = 2;
    g.beginPath();
    g.moveTo(x(last + 1), 0);
    g.lineTo(x(last + 1), height);
    g.stroke();
    g.lineWidth = 1;
    if (this.playhead !== null) {
      // The canvas's own text colour, which follows the colour scheme (the
      // keyword CanvasText on a canvas does not).
      g.strokeStyle = getComputedStyle(this.canvas).color;
      g.lineWidth = 2;
      g.beginPath();
      g.moveTo(x(this.playhead), 0);
      g.lineTo(x(this.playhead), height);
      g.stroke();
    }
  }
}
