// The loop point, drawn: the loop's last 10 ms, then its first 10 ms, as the
// sampler plays them round. A jump where they meet is a click.

export function drawSeam(canvas, samples, sampleRate) {
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
  const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
  canvas.width = width;
  canvas.height = height;
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, width, height);
  if (!samples || samples.length < 2) return;
  const side = Math.min(Math.round(sampleRate / 100), Math.floor(samples.length / 2));
  const shown = [...samples.subarray(samples.length - side), ...samples.subarray(0, side)];
  const mid = height / 2;
  const style = getComputedStyle(document.documentElement);
  g.strokeStyle = style.getPropertyValue('--block');
  g.setLineDash([3, 3]);
  g.beginPath();
  g.moveTo(Math.round(width / 2) + 0.5, 0);
  g.lineTo(Math.round(width / 2) + 0.5, height);
  g.stroke();
  g.setLineDash([]);
  g.strokeStyle = getComputedStyle(canvas).color;
  g.lineWidth = Math.max(1, ratio);
  g.beginPath();
  shown.forEach((value, i) => {
    const px = (i / (shown.length - 1)) * width;
    const py = mid - (value / 32768) * (mid - 2);
    if (i === 0) g.moveTo(px, py);
    else g.lineTo(px, py);
  });
  g.stroke();
}
