// The card: a folder's fifty slots L01.T58 ... L50.T58 as a grid, read and
// changed by the module's card model. With a folder the page may write (File
// System Access) each change is made there at once, as the model's steps;
// otherwise the card lives in the page (empty, or a folder opened to view)
// and goes out as one zip.
import { FolderFiles, rememberFolder, rememberedFolder } from './folder.js';
import { download } from './save.js';
import { zipFiles } from './zip.js';

const MEASURES = ['OFF', 'one measure', 'two measures'];
const SLOT_TYPE = 'application/x-loopsmith-slot';
const COLUMNS = 96;
const ARROWS = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -10, ArrowDown: 10 };

const bpm = (tenths) => (tenths % 10 === 0 ? String(tenths / 10) : (tenths / 10).toFixed(1));

// "L07.T58: 128 BPM, one measure, 1.875 s"
export const slotText = (slot) => (slot.ok
  ? `${slot.name}: ${bpm(slot.tempo)} BPM, ${MEASURES[slot.measure]}, ${slot.seconds.toFixed(3)} s`
  : `${slot.name}: unreadable (${slot.detail})`);

// A folder in a drop (the card, dragged from the file manager), taken while
// the drop lasts, as the browser allows its items to be read only then: a
// promise of the handle where the browser gives one, and the entry. Null
// where the drop is not one folder's item.
export function droppedFolder(dataTransfer) {
  const items = [...(dataTransfer.items ?? [])].filter((item) => item.kind === 'file');
  if (items.length !== 1) return null;
  const handle = typeof items[0].getAsFileSystemHandle === 'function'
    ? items[0].getAsFileSystemHandle().catch(() => null) : Promise.resolve(null);
  return { handle, entry: items[0].webkitGetAsEntry?.() ?? null };
}

// The files directly in a dropped folder's entry.
async function entryFiles(entry) {
  const reader = entry.createReader();
  const entries = [];
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!batch.length) break;
    entries.push(...batch);
  }
  return Promise.all(entries.filter((e) => e.isFile)
    .map((e) => new Promise((resolve, reject) => e.file(resolve, reject))));
}

export class CardView {
  // `hooks`: ask(text) -> Promise<bool>, showMessage(text), openSlot(file),
  // dropOnSlot(files, number), dropOnCard(files), moveSlot(from, to), changed(),
  // dropped(folder, otherwise): a drop that may be a folder.
  constructor(core, hooks) {
    this.core = core;
    this.hooks = hooks;
    this.model = new core.Card();
    this.folder = null;     // a FolderFiles, when the card is a folder the page writes
    this.viewName = '';     // a folder opened to view, held in the page
    this.changedInPage = false;
    this.table = this.model.read();
    this.selected = 0;
    this.openedIn = 0;      // ms from opening a folder to its grid drawn
    this.grid = document.getElementById('slots');
    this.build();
  }

  get writesFolder() {
    return this.folder !== null;
  }

  slot(number) {
    return this.table.slots[number - 1];
  }

  // The numbers for `count` new loops, by the card's one rule (the command
  // line's too): from `first`, which may be taken (the caller asks), on
  // through the free numbers above it; too few, and `problem` says so.
  planNumbers(count, first) {
    return this.model.planNumbers(count, first);
  }

  firstFree() {
    return this.table.free.length ? this.table.free[0] : 0;
  }

  // A folder the page may write: chosen now, or the one remembered.
  async choose() {
    const handle = await window.showDirectoryPicker({ id: 'card', mode: 'readwrite' });
    // Remembered on the side: the card opens whether or not the browser keeps it.
    rememberFolder(handle).catch(() => {});
    await this.openFolder(new FolderFiles(handle));
  }

  async remembered() {
    return rememberedFolder();
  }

  async reopen(handle) {
    const folder = new FolderFiles(handle);
    if (!(await folder.allowed())) throw new Error(`the browser did not allow ${handle.name} to be written`);
    await this.openFolder(folder);
  }

  async openFolder(folder) {
    const start = performance.now();
    const files = await folder.list();
    this.folder = folder;
    this.viewName = '';
    await this.hold(files);
    // A swap cut off here before is carried to its end first.
    await this.carryOut(this.model.finish(), false);
    this.refresh();
    this.openedIn = performance.now() - start;
  }

  // A folder chosen with the file input: seen, and edited only in the page.
  async view(fileList) {
    const files = [...fileList].filter((file) => (file.webkitRelativePath || file.name).split('/').length <= 2);
    this.folder = null;
    this.viewName = fileList.length ? (fileList[0].webkitRelativePath || '').split('/')[0] : '';
    await this.hold(files);
    this.refresh();
  }

  // Whether a drop (droppedFolder's) is a folder: then it is opened as the
  // card, to write where the browser lets the page, else to view.
  async openDropped(found) {
    const handle = await found.handle;
    if (handle?.kind === 'directory' && handle.requestPermission) {
      rememberFolder(handle).catch(() => {});
      await this.reopen(handle);
      return true;
    }
    if (!found.entry?.isDirectory) return false;
    this.folder = null;
    this.viewName = found.entry.name;
    await this.hold(await entryFiles(found.entry));
    this.refresh();
    return true;
  }

  async hold(files) {
    this.changedInPage = false;
    this.lastChange = null;  // another card, or the same read again: nothing to undo
    this.model.clear();
    this.selected = 0;
    // Of a loop file, and of the card's own files, as much as the loop reader
    // ever reads: up to the longest loop file; of any other, its name and size.
    const heldOf = (file) => (/\.t58$/i.test(file.name) || file.name.startsWith('.loopsmith-')
      ? Math.min(file.size, this.core.largestLoopFile) : 0);
    // One read of all of them, which the browser does far faster than one each.
    const all = new Uint8Array(
      await new Blob(files.map((file) => file.slice(0, heldOf(file)))).arrayBuffer());
    let at = 0;
    for (const file of files) {
      const held = heldOf(file);
      if (held && this.model.reserveFile(held).ok) this.model.fileView().set(all.subarray(at, at + held));
      at += held;
      this.model.add(file.name, file.size, false);
    }
  }

  // The model's steps on the folder; a step that fails is said, and the
  // folder read again so the grid shows what is there.
  // Whether the card in the page was rearranged since its last zip (the loops
  // an OK makes are downloaded as they are made): a reload would lose that.
  get unsaved() {
    return !this.folder && this.changedInPage;
  }

  async carryOut(outcome, readAgain = true) {
    if (!this.folder && outcome.ok && outcome.steps.length) this.changedInPage = true;
    if (this.folder && outcome.steps.length) {
      try {
        await this.folder.run(outcome.steps);
      } catch (error) {
        // The card's own files are named in the user's words, not ours.
        const said = String(error.message ?? error)
          .replace(/\.loopsmith-swap\.T58|\.loopsmith-swap/g, 'the swap in progress')
          .replace(/\.loopsmith-card/g, "the card's names");
        if (readAgain) await this.openFolder(this.folder).catch(() => {});
        this.hooks.showMessage(`The card refused a step: ${said}\n` +
          (readAgain ? 'It was read again, and the grid shows what it holds now (a swap cut off is finished). ' : '') +
          'Check that the card is in place and writable, then try again.');
        return false;
      }
    }
    if (!outcome.ok) {
      this.hooks.showMessage(`${outcome.message}\n${outcome.detail}`.trim());
      return false;
    }
    return true;
  }

  // Loop files made by an OK go into their slots.
  // Each keeps the name of the sound it came from (`source`) in the card's
  // index; on a folder only the index is written here, the loop already is.
  async place(outputs) {
    // "2026-12-08 16:30", this computer's time, as the command line writes it.
    const now = new Date();
    const two = (n) => String(n).padStart(2, '0');
    const made = `${now.getFullYear()}-${two(now.getMonth() + 1)}-${two(now.getDate())} ` +
      `${two(now.getHours())}:${two(now.getMinutes())}`;
    for (const { number, bytes, source } of outputs) {
      this.model.reserveFile(bytes.length);
      this.model.fileView().set(bytes);
      const outcome = this.model.place(number, source ?? '', made);
      const loop = this.core.slotName(number);
      // In the page the name is kept as the loop is: it leaves with the card's zip.
      if (this.folder) await this.carryOut({ ...outcome, steps: outcome.steps.filter((step) => step.name !== loop) });
      else if (!outcome.ok) this.hooks.showMessage(`${outcome.message}\n${outcome.detail}`.trim());
    }
    this.refresh();
  }

  // A backup's loops (backupIn's) back under their numbers, after one
  // question that lists what they would replace.
  async restore(loops) {
    if (!loops.size) {
      this.hooks.showMessage('The backup holds no loop file named for a slot (L01.T58 to L50.T58); nothing was put back.');
      return;
    }
    const numbers = [...loops.keys()].map((name) => Number(name.slice(1, 3))).sort((a, b) => a - b);
    const taken = numbers.map((n) => this.slot(n)).filter((slot) => !slot.free);
    const count = `${loops.size} loop${loops.size === 1 ? '' : 's'}`;
    if (!(await this.hooks.ask(`Put back ${count} under ${loops.size === 1 ? 'its number' : 'their numbers'}` +
      (taken.length ? `, replacing ${taken.map(slotText).join('; ')}?` : '?'), 'Put back'))) return;
    const kept = this.keep(numbers);
    const emptied = numbers.filter((n) => this.slot(n).free);
    this.remember(`putting back ${count}`, () => this.putBack(kept, emptied));
    for (const number of numbers) {
      const bytes = loops.get(this.core.slotName(number));
      this.model.reserveFile(bytes.length);
      this.model.fileView().set(bytes);
      if (!(await this.carryOut(this.model.place(number, '', '')))) break;
    }
    this.refresh();
  }

  // The musician's name for the selected loop, asked for in the browser's own prompt.
  async labelSelected() {
    const slot = this.slot(this.selected);
    if (!slot || slot.free) return;
    const label = window.prompt(`A name for ${slot.name}:`, slot.label ?? '');
    if (label === null) return;
    await this.carryOut(this.model.label(slot.number, label.trim()));
    this.refresh();
    this.focusSlot(slot.number);
  }

  async move(from, to) {
    const target = this.slot(to);
    const outcome = target.free ? this.model.move(from, to) : this.model.swap(from, to);
    if (await this.carryOut(outcome)) {
      this.remember(`${target.free ? 'move' : 'swap'} of ${this.core.slotName(from)} and ${this.core.slotName(to)}`,
        () => this.move(to, from));
    }
    this.selected = to;
    this.refresh();
  }

  // The last removal, move, swap or replace, undone while the page is open:
  // the page keeps the bytes it removed or replaced.
  remember(what, undo) {
    this.lastChange = { what, undo };
    this.hooks.changed();
  }

  async undo() {
    const change = this.lastChange;
    if (!change) return;
    this.lastChange = null;
    await change.undo();
    this.lastChange = null;  // an undo is not itself undone
    this.refresh();
  }

  // The loops now in these slots, to put back should the change be undone.
  keep(numbers) {
    return numbers.filter((n) => !this.slot(n).free)
      .map((n) => ({ number: n, bytes: new Uint8Array(this.model.bytes(this.core.slotName(n))) }));
  }

  // Loops back into their slots as they were, and the slots left empty by the change emptied.
  async putBack(kept, emptied) {
    for (const { number, bytes } of kept) {
      this.model.reserveFile(bytes.length);
      this.model.fileView().set(bytes);
      await this.carryOut(this.model.place(number, '', ''));
    }
    for (const number of emptied) {
      if (!this.slot(number).free) await this.carryOut(this.model.remove(number, true));
    }
  }

  async removeSelected() {
    const slot = this.slot(this.selected);
    if (!slot || slot.free) return;
    // A loop marked read-only is named so: the question is the purpose --force states.
    const text = slot.readOnly
      ? `${slotText(slot)} is marked read-only. Remove it from the card anyway?`
      : `Remove ${slotText(slot)} from the card?`;
    if (!(await this.hooks.ask(text, 'Remove'))) return;
    const kept = this.keep([slot.number]);
    if (await this.carryOut(this.model.remove(slot.number, true))) {
      this.remember(`removal of ${slot.name}`, () => this.putBack(kept, []));
    }
    this.selected = 0;
    this.refresh();
    // The Remove button goes with the selection: the focus stays in the grid.
    this.focusSlot(slot.number);
  }

  // The card as it stands in the page, every file of it, as one zip.
  downloadZip() {
    const files = this.table.slots.filter((slot) => !slot.free)
      .map((slot) => ({ name: slot.name, bytes: this.model.bytes(slot.name) }));
    if (!files.length) return null;
    // Named after the card it backs up, so several cards' zips stay apart.
    const name = `${this.folder?.name || this.viewName || 'card'}.zip`;
    download(name, zipFiles(files));
    this.changedInPage = false;
    return name;
  }

  fileOf(number) {
    const slot = this.slot(number);
    return new File([this.model.bytes(slot.name)], slot.name);
  }

  refresh() {
    this.table = this.model.read();
    this.render();
    this.hooks.changed();
  }

  // Fifty slots, made once; each drop, click and drag is handled on the grid.
  build() {
    for (let n = this.core.minFileNumber; n <= this.core.maxFileNumber; n += 1) {
      const item = document.createElement('li');
      item.className = 'slot';
      item.dataset.number = String(n);
      // One stop in the tab order for the whole grid; arrows move within it.
      item.tabIndex = n === this.core.minFileNumber ? 0 : -1;
      item.setAttribute('role', 'option');
      item.draggable = true;
      const canvas = document.createElement('canvas');
      canvas.width = COLUMNS;
      canvas.height = 28;
      canvas.setAttribute('aria-hidden', 'true');
      const head = document.createElement('span');
      head.className = 'slot-name';
      const facts = document.createElement('span');
      facts.className = 'slot-facts';
      const mark = document.createElement('span');
      mark.className = 'slot-mark';
      item.append(head, facts, canvas, mark);
      this.grid.append(item);
    }
    const numberAt = (event) => Number(event.target.closest?.('.slot')?.dataset.number ?? 0);
    this.grid.addEventListener('click', (event) => {
      const n = numberAt(event);
      if (n) this.pick(n);
    });
    this.grid.addEventListener('keydown', (event) => {
      const n = numberAt(event);
      if (n && (event.key === 'Enter' || event.key === ' ')) {
        event.preventDefault();
        this.pick(n);
      } else if (n && event.altKey && ARROWS[event.key]) {
        // The keyboard's drag: Alt and an arrow moves the loop to the next slot, or swaps.
        event.preventDefault();
        const to = n + ARROWS[event.key];
        if (to >= this.core.minFileNumber && to <= this.core.maxFileNumber && !this.slot(n).free) {
          this.hooks.moveSlot(n, to);
          this.focusSlot(to);
        }
      } else if (n && !event.altKey && (ARROWS[event.key] || event.key === 'Home' || event.key === 'End')) {
        event.preventDefault();
        const to = event.key === 'Home' ? this.core.minFileNumber
          : event.key === 'End' ? this.core.maxFileNumber : n + ARROWS[event.key];
        if (to >= this.core.minFileNumber && to <= this.core.maxFileNumber) this.focusSlot(to);
      } else if (n && event.key === 'Delete') {
        this.selected = n;
        this.removeSelected().catch((error) => this.hooks.showMessage(String(error.message ?? error)));
      }
    });
    this.grid.addEventListener('dragstart', (event) => {
      const n = numberAt(event);
      if (!n || this.slot(n).free) {
        event.preventDefault();
        return;
      }
      event.dataTransfer.setData(SLOT_TYPE, String(n));
      event.dataTransfer.effectAllowed = 'move';
    });
    const box = document.getElementById('card');
    box.addEventListener('dragover', (event) => {
      event.preventDefault();
      this.grid.querySelectorAll('.over').forEach((e) => e.classList.remove('over'));
      event.target.closest?.('.slot')?.classList.add('over');
    });
    box.addEventListener('dragleave', () => {
      this.grid.querySelectorAll('.over').forEach((e) => e.classList.remove('over'));
    });
    box.addEventListener('drop', (event) => {
      event.preventDefault();
      event.stopPropagation();
      this.grid.querySelectorAll('.over').forEach((e) => e.classList.remove('over'));
      const n = numberAt(event);
      const from = Number(event.dataTransfer.getData(SLOT_TYPE) || 0);
      if (from) {
        if (n && n !== from) this.hooks.moveSlot(from, n);
      } else if (event.dataTransfer.files.length) {
        const folder = droppedFolder(event.dataTransfer);
        const files = [...event.dataTransfer.files];
        this.hooks.dropped(folder, () => (n ? this.hooks.dropOnSlot(files, n) : this.hooks.dropOnCard(files)));
      }
    });
  }

  pick(number) {
    this.selected = number;
    this.render();
    const slot = this.slot(number);
    if (!slot.free && slot.ok) this.hooks.openSlot(this.fileOf(number));
  }

  // The slot that takes the grid's one tab stop, focused.
  focusSlot(number) {
    for (const item of this.grid.children) item.tabIndex = Number(item.dataset.number) === number ? 0 : -1;
    this.grid.children[number - 1].focus();
  }

  render() {
    const { slots, strays } = this.table;
    for (const item of this.grid.children) {
      const slot = slots[Number(item.dataset.number) - 1];
      const [head, facts, canvas, mark] = item.children;
      head.textContent = this.core.slotName(slot.number).slice(0, 3);
      item.classList.toggle('free', slot.free);
      item.classList.toggle('unreadable', !slot.free && !slot.ok);
      item.classList.toggle('selected', slot.number === this.selected);
      item.setAttribute('aria-selected', String(slot.number === this.selected));
      const g = canvas.getContext('2d');
      g.clearRect(0, 0, canvas.width, canvas.height);
      if (slot.free) {
        facts.textContent = 'free';
        mark.textContent = '';
        item.title = `${this.core.slotName(slot.number)}: free; drop files here`;
        item.setAttribute('aria-label', item.title);
        continue;
      }
      item.title = slotText(slot);
      item.setAttribute('aria-label', [item.title, slot.label || (slot.source ? `from ${slot.source}` : ''),
        slot.readOnly ? 'read-only' : ''].filter(Boolean).join(', '));
      mark.textContent = [slot.readOnly ? 'read-only' : '', slot.ok ? '' : 'unreadable'].filter(Boolean).join(', ');
      if (!slot.ok) {
        facts.textContent = slot.detail;
        continue;
      }
      const named = slot.label || slot.source || '';
      facts.textContent = `${named ? `${named}\n` : ''}${bpm(slot.tempo)} BPM\n` +
        `${['OFF', '1 measure', '2 measures'][slot.measure]}\n${slot.seconds.toFixed(3)} s`;
      const peaks = this.model.peaks(slot.number, COLUMNS);
      g.fillStyle = getComputedStyle(canvas).color;
      const middle = canvas.height / 2;
      for (let x = 0; x < peaks.length / 2; x += 1) {
        const top = middle - peaks[2 * x + 1] * middle;
        g.fillRect(x, top, 1, Math.max(1, (peaks[2 * x + 1] - peaks[2 * x]) * middle));
      }
    }
    const list = document.getElementById('strays');
    list.replaceChildren(...strays.map((stray) => {
      const item = document.createElement('li');
      item.textContent = `${stray.name}: ${stray.why}`;
      return item;
    }));
    document.getElementById('strays-box').hidden = strays.length === 0;
    const taken = slots.filter((slot) => !slot.free).length;
    const of = `${taken} of ${slots.length} slots taken`;
    document.getElementById('card-where').textContent = this.folder
      ? `${this.folder.name}: ${of}; changes are saved there at once.`
      : `${this.viewName ? `${this.viewName} (view only)` : 'A card in this page'}: ` +
        `${of}; download it as a zip to keep it.` +
        (typeof window.showDirectoryPicker === 'function' ? ''
          : ' This browser cannot write to a folder; in Chrome or Edge, "Open card…" writes to the card itself.');
    document.getElementById('remove-slot').disabled = !this.selected || this.slot(this.selected).free;
    document.getElementById('label-slot').disabled = !this.selected || this.slot(this.selected).free;
    const undo = document.getElementById('undo-card');
    undo.disabled = !this.lastChange;
    undo.textContent = this.lastChange ? `Undo ${this.lastChange.what}` : 'Undo';
    document.getElementById('download-card').disabled = taken === 0;
  }
}
