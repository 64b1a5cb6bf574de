// Listening: the loop as the sampler will play it (12-bit, with an optional
// click on the beat), or the original; the playhead drawn while it plays.
import { byId } from './dom.js';

export class Listening {
  constructor({ core, session, state, player, waveform, panel }) {
    Object.assign(this, { core, session, state, player, waveform, panel });
    this.ticking = false;
    byId('play-loop').addEventListener('click', () => this.playLoop());
    byId('click').addEventListener('change', () => { if (this.player.playing === 'loop') this.playLoop(); });
    byId('play-original').addEventListener('click', () => {
      this.player.play(this.session.samples(), this.session.channels(), 'original');
      this.startTicking();
    });
    byId('stop').addEventListener('click', () => this.stop());
  }

  stop() {
    this.player.stop();
    this.waveform.setPlayhead(null);
  }

  // The loop of the file the session holds, with the tempo and measure chosen
  // for it; `heard`, the audition when the caller has just made it.
  playLoop(heard = null) {
    if (this.session.kind() === this.core.kindLoop) {
      this.player.play(this.session.samples(), 1, 'loop');
    } else {
      const { tenths, mode } = this.state.chosen();
      const samples = heard ?? this.session.audition(tenths, mode, this.panel.dither());
      this.player.play(samples, 1, 'loop', byId('click').checked && mode !== 0 ? tenths : 0);
    }
    this.startTicking();
  }

  // One animation loop while anything plays.
  startTicking() {
    if (this.ticking) return;
    this.ticking = true;
    const tick = () => {
      const frame = this.player.position();
      this.waveform.setPlayhead(frame);
      this.ticking = frame !== null;
      if (this.ticking) requestAnimationFrame(tick);
    };
    requestAnimationFrame(tick);
  }
}
