// Other sound files: decoded by the browser and brought to the core's rate
// (`sampleRate`) by an OfflineAudioContext at that rate. The core mixes and rounds them.
export async function decodeSound(bytes, sampleRate) {
  const context = new OfflineAudioContext(1, 1, sampleRate);
  const decoded = await context.decodeAudioData(bytes.buffer.slice(0));
  const channels = decoded.numberOfChannels;
  const frames = decoded.length;
  const samples = new Float32Array(frames * channels);
  for (let c = 0; c < channels; c++) {
    const data = decoded.getChannelData(c);
    for (let i = 0; i < frames; i++) samples[i * channels + c] = data[i];
  }
  return { samples, channels };
}

// Interleaved samples at `rate` brought to the core's rate by the browser.
export async function resample(samples, channels, rate, sampleRate) {
  const frames = Math.floor(samples.length / channels);
  const out = Math.ceil((frames * sampleRate) / rate);
  const context = new OfflineAudioContext(channels, Math.max(1, out), sampleRate);
  const buffer = context.createBuffer(channels, Math.max(1, frames), rate);
  for (let c = 0; c < channels; c++) {
    const data = buffer.getChannelData(c);
    for (let i = 0; i < frames; i++) data[i] = samples[i * channels + c];
  }
  const source = context.createBufferSource();
  source.buffer = buffer;
  source.connect(context.destination);
  source.start();
  const rendered = await context.startRendering();
  const result = new Float32Array(rendered.length * channels);
  for (let c = 0; c < channels; c++) {
    const data = rendered.getChannelData(c);
    for (let i = 0; i < rendered.length; i++) result[i * channels + c] = data[i];
  }
  return result;
}
