// Other sound files: decoded by the browser and brought to 44,100 Hz by an
// OfflineAudioContext at that rate. The core mixes and rounds them.
export async function decodeSound(bytes) {
  const context = new OfflineAudioContext(1, 1, 44100);
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
