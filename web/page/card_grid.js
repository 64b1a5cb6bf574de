// The card's grid: fifty slots made once, drawn from the model's table, and
// one listbox for the keyboard (one tab stop; arrows, Home and End move,
// Enter opens, Delete removes, Alt and an arrow moves the loop). Each drop,
// click and drag is handled on the grid and handed to the card.
import { byId } from './dom.js';
import { droppedFolder } from './dropped.js';
import { canWriteFolders } from './save.js';
import { cardWhere, slotFacts, slotLabel, slotNamed, slotText } from './slots.js';

const SLOT_TYPE = 'application/x-loopsmith-slot';
const COLUMNS = 96;
const ARROWS = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -10, ArrowDown: 10 };

export class CardGrid {
  constructor(card) {
    this.card = card;
    this.list = byId('slots');
    const { core } = card;
    for (let n = core.minFileNumber; n <= core.maxFileNumber; n += 1) {
      const item = document.createElement('li');
      item.className = 'slot';
      item.dataset.number = String(n);
      item.tabIndex = n === core.minFileNumber ? 0 : -1;
      item.setAttribute('role', 'option');
      item.draggable = true;
      const canvas = document.createElement('canvas');
      canvas.width = COLUMNS;
      canvas.height = 28;
      canvas.setAttribute('aria-hidden', 'true');
      const parts = ['slot-name', 'slot-label', 'slot-facts', 'slot-mark'].map((name) => {
        const span = document.createElement('span');
        span.className = name;
        return span;
      });
      item.append(parts[0], parts[1], parts[2], canvas, parts[3]);
      this.list.append(item);
    }
    this.list.addEventListener('click', (event) => {
      const n = this.numberAt(event);
      if (n) this.pick(n);
    });
    this.list.addEventListener('keydown', (event) => this.key(event));
    this.list.addEventListener('dragstart', (event) => {
      const n = this.numberAt(event);
      if (!n || card.slot(n).free) {
        event.preventDefault();
        return;
      }
      event.dataTransfer.setData(SLOT_TYPE, String(n));
      event.dataTransfer.effectAllowed = 'move';
    });
    const box = byId('card');
    const unmark = () => this.list.querySelectorAll('.over').forEach((e) => e.classList.remove('over'));
    box.addEventListener('dragover', (event) => {
      event.preventDefault();
      unmark();
      event.target.closest?.('.slot')?.classList.add('over');
    });
    box.addEventListener('dragleave', unmark);
    box.addEventListener('drop', (event) => {
      event.preventDefault();
      event.stopPropagation();
      unmark();
      const n = this.numberAt(event);
      const from = Number(event.dataTransfer.getData(SLOT_TYPE) || 0);
      const { hooks } = card;
      if (from) {
        if (n && n !== from) hooks.moveSlot(from, n);
      } else if (event.dataTransfer.files.length) {
        const files = [...event.dataTransfer.files];
        hooks.dropped(droppedFolder(event.dataTransfer),
          () => (n ? hooks.dropOnSlot(files, n) : hooks.dropOnCard(files)));
      }
    });
  }

  numberAt(event) {
    return Number(event.target.closest?.('.slot')?.dataset.number ?? 0);
  }

  inRange(n) {
    return n >= this.card.core.minFileNumber && n <= this.card.core.maxFileNumber;
  }

  key(event) {
    const n = this.numberAt(event);
    if (!n) return;
    const { card } = this;
    if (event.key === 'Enter' || event.key === ' ') {
      event.preventDefault();
      this.pick(n);
    } else if (event.altKey && ARROWS[event.key]) {
      // The keyboard's drag: Alt and an arrow moves the loop to the next slot, or swaps.
      event.preventDefault();
      const to = n + ARROWS[event.key];
      if (this.inRange(to) && !card.slot(n).free) {
        card.hooks.moveSlot(n, to);
        this.focusSlot(to);
      }
    } else if (ARROWS[event.key] || event.key === 'Home' || event.key === 'End') {
      event.preventDefault();
      const to = event.key === 'Home' ? card.core.minFileNumber
        : event.key === 'End' ? card.core.maxFileNumber : n + ARROWS[event.key];
      if (this.inRange(to)) this.focusSlot(to);
    } else if (event.key === 'Delete') {
      card.selected = n;
      card.removeSelected().catch((error) => card.hooks.showMessage(String(error.message ?? error)));
    }
  }

  pick(number) {
    const { card } = this;
    card.selected = number;
    this.render();
    const slot = card.slot(number);
    if (!slot.free && slot.ok) card.hooks.openSlot(card.fileOf(number));
  }

  // The slot that takes the grid's one tab stop, focused.
  focusSlot(number) {
    for (const item of this.list.children) item.tabIndex = Number(item.dataset.number) === number ? 0 : -1;
    this.list.children[number - 1].focus();
  }

  drawPeaks(canvas, number) {
    const peaks = this.card.model.peaks(number, COLUMNS);
    const g = canvas.getContext('2d');
    g.fillStyle = getComputedStyle(canvas).color;
    const middle = canvas.height / 2;
    for (let x = 0; x < peaks.length / 2; x += 1) {
      const top = middle - peaks[2 * x + 1] * middle;
      g.fillRect(x, top, 1, Math.max(1, (peaks[2 * x + 1] - peaks[2 * x]) * middle));
    }
  }

  render() {
    const { card } = this;
    const { core } = card;
    const { slots, strays } = card.table;
    for (const item of this.list.children) {
      const slot = slots[Number(item.dataset.number) - 1];
      const [head, label, facts, canvas, mark] = item.children;
      const name = core.slotName(slot.number);
      head.textContent = name.slice(0, 3);
      item.classList.toggle('free', slot.free);
      item.classList.toggle('unreadable', !slot.free && !slot.ok);
      item.classList.toggle('selected', slot.number === card.selected);
      item.setAttribute('aria-selected', String(slot.number === card.selected));
      canvas.getContext('2d').clearRect(0, 0, canvas.width, canvas.height);
      facts.textContent = slotFacts(slot);
      label.textContent = slot.free ? '' : slotNamed(slot);
      item.title = slot.free ? slotLabel(slot, name) : slotText(slot);
      item.setAttribute('aria-label', slotLabel(slot, name));
      mark.textContent = slot.free ? ''
        : [slot.readOnly ? 'read-only' : '', slot.ok ? '' : 'unreadable'].filter(Boolean).join(', ');
      if (!slot.free && slot.ok) this.drawPeaks(canvas, slot.number);
    }
    byId('strays').replaceChildren(...strays.map((stray) => {
      const item = document.createElement('li');
      item.textContent = `${stray.name}: ${stray.why}`;
      return item;
    }));
    byId('strays-box').hidden = strays.length === 0;
    const taken = slots.filter((slot) => !slot.free).length;
    byId('card-where').textContent = cardWhere({ folderName: card.folder?.name, viewName: card.viewName,
      taken, total: slots.length, writesFolders: canWriteFolders(),
      indexProblem: card.table.indexProblem });
    const none = !card.selected || card.slot(card.selected).free;
    byId('remove-slot').disabled = none;
    byId('label-slot').disabled = none;
    const undo = byId('undo-card');
    undo.disabled = !card.lastChange;
    undo.textContent = card.lastChange ? `Undo ${card.lastChange.what}` : 'Undo';
    byId('download-card').disabled = taken === 0;
  }
}
