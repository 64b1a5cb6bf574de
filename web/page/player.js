// Playback with Web Audio: a buffer source that loops seamlessly, and where
// it is, for the playhead.
export class Player {
  constructor() {
    this.context = null;
    this.source = null;
    this.started = 0;
    this.length = 0;
  }

  // Interleaved 16-bit samples, one or two channels, at 44,100 Hz.
  play(samples, channels) {
    this.stop();
    if (!this.context) this.context = new AudioContext({ sampleRate: 44100 });
    const frames = Math.floor(samples.length / channels);
    const buffer = this.context.createBuffer(channels, Math.max(1, frames), 44100);
    for (let c = 0; c < channels; c++) {
      const out = buffer.getChannelData(c);
      for (let i = 0; i < frames; i++) out[i] = samples[i * channels + c] / 32768;
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
  }

  stop() {
    if (this.source) {
      this.source.stop();
      this.source.disconnect();
      this.source = null;
    }
  }

  // The frame playing now, or null.
  position() {
    if (!this.source || this.length === 0) return null;
    const frame = Math.floor((this.context.currentTime - this.started) * 44100);
    return frame % this.length;
  }
}
