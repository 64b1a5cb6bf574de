// The Loop Parameters controls, bound to the core's LoopParamModel, which
// holds every rule: the page only moves values and shows what it says.
const ENDING_OK = 1;
const NAVIGATION = new Set(['ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown', 'PageUp',
  'PageDown', 'Home', 'End']);

export class Panel {
  constructor(core, showMessage) {
    this.core = core;
    this.showMessage = showMessage;
    this.tempo = document.getElementById('tempo');
    this.tempoNumber = document.getElementById('tempo-number');
    this.tempoText = document.getElementById('tempo-text');
    this.ditherBox = document.getElementById('dither');
    // A tempo with a decimal, typed or suggested, in tenths; null while the
    // slider's whole BPM is the tempo. The loop file and the command line take
    // tenths; the slider, as the dialog's, whole BPM.
    this.tenths = null;
    this.timeText = document.getElementById('time-text');
    this.fileNumber = document.getElementById('file-number');
    this.radios = [...document.querySelectorAll('input[name="measure"]')];
    this.onChange = () => {};
    this.onOk = () => {};
    this.onCancel = () => {};
    this.model = null;

    this.tempo.min = core.minBpm;
    this.tempo.max = core.maxBpm;
    this.tempoNumber.min = core.minBpm;
    this.tempoNumber.max = core.maxBpm;
    // Every slider action, also one that leaves it where it was (a key at its end).
    const scroll = () => this.act(() => {
      this.tenths = null;
      this.model.onTempoScroll(Number(this.tempo.value));
    });
    this.tempoNumber.addEventListener('change', () => {
      const bpm = Number(this.tempoNumber.value);
      const tenths = Math.round(bpm * 10);
      if (this.tempoNumber.value === '' || !(bpm >= core.minBpm && bpm <= core.maxBpm) ||
          Math.abs(bpm * 10 - tenths) > 1e-6) {
        this.show();  // back to the tempo that holds
        return;
      }
      this.setTenths(tenths);
    });
    this.ditherBox.addEventListener('change', () => this.onChange());
    this.tempo.addEventListener('input', scroll);
    this.tempo.addEventListener('change', scroll);
    this.tempo.addEventListener('keyup', (event) => { if (NAVIGATION.has(event.key)) scroll(); });
    this.tempo.addEventListener('pointerup', scroll);
    for (const radio of this.radios) {
      radio.addEventListener('change', () => this.act(() => this.model.onMeasure(Number(radio.value))));
    }
    // Typing is only noted; the next event checks it.
    this.fileNumber.addEventListener('input', () => this.model.onFileNumberEdited(this.fileNumber.value));
    this.fileNumber.addEventListener('keydown', (event) => {
      if (event.key !== 'ArrowUp' && event.key !== 'ArrowDown') return;
      event.preventDefault();
      this.act(() => this.model.onFileNumberStep(event.key === 'ArrowUp' ? 1 : -1));
    });
    document.getElementById('step-up').addEventListener('click',
      () => this.act(() => this.model.onFileNumberStep(1)));
    document.getElementById('step-down').addEventListener('click',
      () => this.act(() => this.model.onFileNumberStep(-1)));
    this.busy = false;  // while the page works, OK is taken by nothing
    document.getElementById('params').addEventListener('submit', (event) => {
      event.preventDefault();
      if (this.busy) return;
      this.act(() => this.model.onOK());
      if (this.model.ending() !== ENDING_OK) return;
      const back = this.model.handedBack();
      this.onOk({ tenths: this.current().tenths, measureMode: back.measureMode,
        fileNumber: back.fileNumber, dither: this.dither() });
    });
    document.getElementById('cancel').addEventListener('click', () => {
      this.model.onCancel();
      this.onCancel();
    });
  }

  // As the dialog opens on every drop: 120 BPM, one measure, file number 1,
  // no dither (a pad's dither must not carry over to the drum loop after it).
  reset() {
    if (this.model) this.model.delete();
    this.model = new this.core.LoopParamModel();
    this.tenths = null;
    this.ditherBox.checked = false;
    this.show();
  }

  // After a save the same file may be saved again: a fresh model, given the
  // same choices as events.
  renew() {
    const tempo = this.model.sliderPosition();
    const { tenths } = this;
    const mode = this.model.measureMode();
    const number = this.model.fileNumberText();
    const dither = this.dither();
    this.reset();
    this.ditherBox.checked = dither;
    this.tenths = tenths;
    this.model.onTempoScroll(tempo);
    this.model.onMeasure(mode);
    this.model.onFileNumberEdited(number);
    this.show();
  }

  // The file number as if typed: a card's next free number, or the slot dropped on.
  setFileNumber(number) {
    this.act(() => this.model.onFileNumberEdited(String(number)));
  }

  // Tempo in tenths and measure mode as they stand now.
  current() {
    return { tenths: this.tenths ?? this.model.sliderPosition() * 10, mode: this.model.measureMode() };
  }

  dither() {
    return this.ditherBox.checked;
  }

  // A tempo in tenths: the slider goes to its whole BPM, the decimal is kept.
  setTenths(tenths) {
    this.act(() => {
      this.model.onTempoScroll(Math.round(tenths / 10));
      this.tenths = tenths % 10 === 0 ? null : tenths;
    });
  }

  act(event) {
    event();
    this.show();
  }

  show() {
    const m = this.model;
    const { tenths, mode } = this.current();
    this.tempo.value = String(m.sliderPosition());
    const bpm = this.tenths === null ? m.tempoText() : (tenths / 10).toFixed(1);
    this.tempoText.value = `${bpm} BPM`;
    this.tempo.setAttribute('aria-valuetext', `${bpm} BPM`);
    if (document.activeElement !== this.tempoNumber) this.tempoNumber.value = String(tenths / 10);
    // The dialog's time, unless the loop is cut shorter (the longest loop is
    // 5.944 s) or the tempo has a decimal: then the loop's real length.
    const seconds = (this.core.lastSample(mode, tenths) + 1) / this.core.sampleRate;
    const shown = Number(m.timeText());
    this.timeText.value = this.tenths === null && shown <= seconds + 0.001 ? m.timeText()
      : String(Number(seconds.toFixed(3)));
    for (const radio of this.radios) radio.checked = Number(radio.value) === m.measureMode();
    // Rewritten only when it differs, so the caret of a field being typed in stays.
    if (this.fileNumber.value !== m.fileNumberText()) this.fileNumber.value = m.fileNumberText();
    this.onChange();
    const message = m.takeMessage();
    if (message) this.showMessage(message);
  }
}
