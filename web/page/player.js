// Playback with Web Audio: a buffer source that loops seamlessly, and where
// it is, for the playhead.
export class Player {
  // `rate`: the core's, at which every sound it gives is played.
  constructor(rate) {
    this.rate = rate;
    this.context = null;
    this.source = null;
    this.started = 0;
    this.length = 0;
    this.playing = null;  // 'loop' or 'original' while a sound plays
  }

  // Interleaved 16-bit samples, one or two channels, at 44,100 Hz; a new sound
  // takes the place of the one playing at once. With `clickTenths`, a click on
  // every beat of that tempo (a higher one on the bar) is mixed in.
  play(samples, channels, what, clickTenths = 0) {
    this.stop();
    if (!this.context) this.context = new AudioContext({ sampleRate: this.rate });
    const frames = Math.floor(samples.length / channels);
    const buffer = this.context.createBuffer(channels, Math.max(1, frames), this.rate);
    for (let c = 0; c < channels; c++) {
      const out = buffer.getChannelData(c);
      for (let i = 0; i < frames; i++) out[i] = samples[i * channels + c] / 32768;
      if (clickTenths > 0) addClicks(out, clickTenths, this.rate);
    }
    const source = this.context.createBufferSource();
    source.buffer = buffer;
    source.loop = true;
    source.loopStart = 0;
    source.loopEnd = buffer.duration;
    source.connect(this.context.destination);
    this.context.resume();
    source.start();
    this.source = source;
    this.started = this.context.currentTime;
    this.length = frames;
    this.playing = what;
  }

  stop() {
    if (this.source) {
      this.source.stop();
      this.source.disconnect();
      this.source = null;
    }
    this.playing = null;
  }

  // The frame being heard now, or null: the context's clock less the time the
  // sound takes to reach the speakers.
  position() {
    if (!this.source || this.length === 0) return null;
    const stamp = this.context.getOutputTimestamp ? this.context.getOutputTimestamp() : null;
    const heard = stamp && stamp.contextTime > 0 ? stamp.contextTime
      : this.context.currentTime - (this.context.outputLatency || this.context.baseLatency || 0);
    const frame = Math.floor(Math.max(0, heard - this.started) * this.rate);
    return frame % this.length;
  }
}

// A short decaying tone on every beat, an octave up on the first of each bar.
function addClicks(out, tenths, rate) {
  const beat = (rate * 600) / tenths;
  const length = Math.floor(rate * 0.02);
  for (let n = 0; n * beat < out.length; n++) {
    const start = Math.round(n * beat);
    const pitch = n % 4 === 0 ? 2000 : 1000;
    for (let i = 0; i < length && start + i < out.length; i++) {
      const tone = 0.5 * Math.sin((2 * Math.PI * pitch * i) / rate) * (1 - i / length);
      out[start + i] = Math.max(-1, Math.min(1, out[start + i] + tone));
    }
  }
}
