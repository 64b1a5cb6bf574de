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
    this.tempoText = document.getElementById('tempo-text');
    this.timeText = document.getElementById('time-text');
    this.fileNumber = document.getElementById('file-number');
    this.radios = [...document.querySelectorAll('input[name="measure"]')];
    this.onChange = () => {};
    this.onOk = () => {};
    this.onCancel = () => {};
    this.model = null;

    // Every slider action, also one that leaves it where it was (a key at its end).
    const scroll = () => this.act(() => this.model.onTempoScroll(Number(this.tempo.value)));
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
    document.getElementById('params').addEventListener('submit', (event) => {
      event.preventDefault();
      this.act(() => this.model.onOK());
      if (this.model.ending() === ENDING_OK) this.onOk(this.model.handedBack());
    });
    document.getElementById('cancel').addEventListener('click', () => {
      this.model.onCancel();
      this.onCancel();
    });
  }

  // As the dialog opens on every drop: 120 BPM, one measure, file number 1.
  reset() {
    if (this.model) this.model.delete();
    this.model = new this.core.LoopParamModel();
    this.show();
  }

  // After a save the same file may be saved again: a fresh model, given the
  // same choices as events.
  renew() {
    const tempo = this.model.sliderPosition();
    const mode = this.model.measureMode();
    const number = this.model.fileNumberText();
    this.reset();
    this.model.onTempoScroll(tempo);
    this.model.onMeasure(mode);
    this.model.onFileNumberEdited(number);
    this.show();
  }

  // Tempo in tenths and measure mode as the model holds them now.
  current() {
    return { tenths: this.model.sliderPosition() * 10, mode: this.model.measureMode() };
  }

  setTempo(bpm) {
    this.tempo.value = String(bpm);
    this.act(() => this.model.onTempoScroll(bpm));
  }

  act(event) {
    event();
    this.show();
  }

  show() {
    const m = this.model;
    this.tempo.value = String(m.sliderPosition());
    this.tempoText.value = `${m.tempoText()} BPM`;
    this.timeText.value = m.timeText();
    for (const radio of this.radios) radio.checked = Number(radio.value) === m.measureMode();
    // Rewritten only when it differs, so the caret of a field being typed in stays.
    if (this.fileNumber.value !== m.fileNumberText()) this.fileNumber.value = m.fileNumberText();
    this.onChange();
    const message = m.takeMessage();
    if (message) this.showMessage(message);
  }
}
