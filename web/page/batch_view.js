// The batch table: one row per file of a drop, each with its tempo (as
// suggested, or typed), its measure, the loop file it becomes, and a button
// to hear it; one OK then makes them all.
import { byId } from './dom.js';
import { bpmText } from './suggestion.js';
import { MEASURE_CHOICES } from './measures.js';

export class BatchView {
  // `onPlay(row)`: hear the row's loop; `onChange(row)`: its tempo or measure
  // changed; `plan(count)`: the numbers an OK would give `count` loops now.
  constructor({ core, state, onPlay, onChange, plan }) {
    Object.assign(this, { core, state, onPlay, onChange, plan });
    this.body = byId('batch-rows');
  }

  // The rows numbered as an OK would number them, and drawn.
  renumber() {
    const { batch } = this.state;
    if (batch) batch.number(this.plan(batch.sounds.length));
    this.render();
  }

  render() {
    const { batch } = this.state;
    byId('batch').hidden = !batch;
    if (!batch) {
      this.body.replaceChildren();
      return;
    }
    this.body.replaceChildren(...batch.rows.map((row) => this.rowOf(row)));
  }

  cell(...content) {
    const td = document.createElement('td');
    td.append(...content);
    return td;
  }

  rowOf(row) {
    const { core, state } = this;
    const tr = document.createElement('tr');
    const name = row.file.name;
    const head = document.createElement('th');
    head.scope = 'row';
    head.textContent = name;
    tr.append(head);
    if (row.loop || row.failed) {
      const td = this.cell(row.failed || 'loop file: becomes a WAV file of its loop');
      td.colSpan = 5;
      if (row.failed) td.className = 'failed';
      tr.append(td);
      return tr;
    }
    const panel = state.panel.current();
    const { mode } = state.batch.chosen(row, panel);
    const tempo = document.createElement('input');
    Object.assign(tempo, { type: 'number', min: core.minBpm, max: core.maxBpm, step: 0.1, inputMode: 'decimal' });
    tempo.value = row.tenths === null ? '' : String(row.tenths / 10);
    tempo.placeholder = bpmText(panel.tenths);
    tempo.setAttribute('aria-label', `Tempo of ${name} in BPM; empty takes the panel's`);
    tempo.addEventListener('change', () => {
      if (!state.batch.setTempo(row, tempo.value, core.minBpm, core.maxBpm)) {
        tempo.value = row.tenths === null ? '' : String(row.tenths / 10);
        return;
      }
      this.changed(row);
    });
    const note = document.createElement('span');
    note.className = 'note';
    note.textContent = row.note;
    if (row.second) {
      const other = document.createElement('button');
      other.type = 'button';
      other.textContent = row.second.label;
      other.setAttribute('aria-label', `${name}: take ${row.second.label} instead`);
      other.addEventListener('click', () => {
        state.batch.takeSecond(row);
        this.changed(row);
      });
      note.append(', or ', other);
    }
    const measure = document.createElement('select');
    measure.setAttribute('aria-label', `Loop length of ${name}`);
    for (const [value, text] of MEASURE_CHOICES) measure.add(new Option(text, String(value), false, value === mode));
    measure.addEventListener('change', () => {
      row.measure = Number(measure.value);
      this.changed(row);
    });
    const play = document.createElement('button');
    play.type = 'button';
    play.textContent = 'Play';
    play.setAttribute('aria-label', `Play the loop of ${name}`);
    play.addEventListener('click', () => this.onPlay(row));
    tr.append(this.cell(tempo), this.cell(note), this.cell(measure),
      this.cell(row.number ? core.slotName(row.number) : '—'), this.cell(play));
    return tr;
  }

  // One row again, keeping the focus where it was.
  changed(row) {
    const index = this.state.batch.rows.indexOf(row);
    const old = this.body.children[index];
    const focused = old.contains(document.activeElement)
      ? [...old.querySelectorAll('input, select, button')].indexOf(document.activeElement) : -1;
    const fresh = this.rowOf(row);
    old.replaceWith(fresh);
    if (focused >= 0) {
      const controls = fresh.querySelectorAll('input, select, button');
      (controls[focused] ?? controls[0])?.focus();
    }
    this.onChange(row);
  }
}
