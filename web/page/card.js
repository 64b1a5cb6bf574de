// The card: a folder's fifty slots L01.T58 ... L50.T58 as a grid, read and
// changed by the module's card model. With a folder the page may write (File
// System Access) each change is made there at once, as the model's steps;
// otherwise the card lives in the page (empty, or a folder opened to view)
// and goes out as one zip.
import { FolderFiles, rememberFolder } from './folder.js';
import { download } from './save.js';
import { zipFiles } from './zip.js';
import { entryFiles } from './dropped.js';
import { INDEX_NAME, inUserWords, madeStamp, slotText } from './slots.js';
import { CardGrid } from './card_grid.js';

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
    this.lastChange = null;
    this.grid = new CardGrid(this);
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

  // Which of these numbers the card's rule asks about before a write, and whether it is full.
  planPlacement(numbers) {
    return this.model.planPlacement(numbers);
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

  // Whether the card in the page was rearranged since its last zip (the loops
  // an OK makes are downloaded as they are made): a reload would lose that.
  get unsaved() {
    return !this.folder && this.changedInPage;
  }

  // The model's steps on the folder; a step that fails is said, and the
  // folder read again so the grid shows what is there.
  async carryOut(outcome, readAgain = true) {
    if (!this.folder && outcome.ok && outcome.steps.length) this.changedInPage = true;
    if (this.folder && outcome.steps.length) {
      try {
        await this.folder.run(outcome.steps);
      } catch (error) {
        const said = inUserWords(String(error.message ?? error));
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

  // Loop files made by an OK into their slots, by the model's steps: the
  // loop, then the name of the sound it came from (`source`) in the card's
  // index. On a folder, each loop's outcome once its write has closed:
  // { name, ok, where } or { name, ok: false, error }; in the page, none
  // (the loops leave with the card's zip).
  async place(outputs) {
    const made = madeStamp(new Date());
    const outcomes = [];
    // A swap another tab left cut off is finished before anything else.
    if (this.folder && !(await this.carryOut(this.model.finish()))) return outputs.map(({ number }) =>
      ({ name: this.core.slotName(number), ok: false, error: 'the card refused the step before it' }));
    let readAgain = false;
    for (const { number, bytes, source } of outputs) {
      const name = this.core.slotName(number);
      const outcome = this.placed(number, bytes, source ?? '', made);
      if (!this.folder) {
        if (!outcome.ok) this.hooks.showMessage(`${outcome.message}\n${outcome.detail}`.trim());
        continue;
      }
      try {
        await this.folder.run(outcome.steps);
        outcomes.push({ name, ok: true, where: `saved in ${this.folder.name}` });
      } catch (error) {
        readAgain = true;
        // The loop is on the card unless its own write failed; only its name may be missing.
        outcomes.push(error.step === name ? { name, ok: false, error: error.reason }
          : { name, ok: true, where: `saved in ${this.folder.name}, but its name was not kept (${inUserWords(error.message)})` });
      }
    }
    // The grid shows what the folder holds after a step that failed.
    if (readAgain) await this.openFolder(this.folder).catch(() => {});
    this.refresh();
    return outcomes;
  }

  // The musician's name for the selected loop, asked for in the browser's own prompt.
  async labelSelected() {
    const slot = this.slot(this.selected);
    if (!slot || slot.free) return;
    const label = window.prompt(`A name for ${slot.name}:`, slot.label ?? '');
    if (label === null) return;
    await this.carryOut(this.model.label(slot.number, label.trim()));
    this.refresh();
    this.grid.focusSlot(slot.number);
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
      .map((n) => ({ number: n, bytes: this.model.bytes(this.core.slotName(n)) }));
  }

  // A loop's bytes into slot `number` of the model, with the name of the sound
  // it came from: the model's change and its steps (none where there was no room).
  placed(number, bytes, source = '', made = '') {
    const room = this.model.reserveFile(bytes.length);
    if (!room.ok) return { ...room, steps: [] };
    this.model.fileView().set(bytes);
    return this.model.place(number, source, made);
  }

  // Loops back into their slots as they were, and the slots left empty by the change emptied.
  async putBack(kept, emptied) {
    for (const { number, bytes } of kept) await this.carryOut(this.placed(number, bytes));
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
    this.grid.focusSlot(slot.number);
  }

  // The card as it stands in the page, every file of it, as one zip.
  downloadZip() {
    const files = this.table.slots.filter((slot) => !slot.free)
      .map((slot) => ({ name: slot.name, bytes: this.model.bytes(slot.name) }));
    if (!files.length) return null;
    // The loops' names go with them, for a restore to give back.
    const index = this.model.bytes(INDEX_NAME);
    if (index) files.push({ name: INDEX_NAME, bytes: index });
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

  render() {
    this.grid.render();
  }

  refresh() {
    this.table = this.model.read();
    this.grid.render();
    this.hooks.changed();
  }
}
