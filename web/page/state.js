// What the page holds between events, in one place: the drop, the file
// shown (whose sound the module's session holds), where the drop's loops
// go, and its batch table.
export class PageState {
  constructor(panel) {
    this.panel = panel;
    this.files = [];         // the files of the last drop, in order
    this.current = null;     // the file shown
    this.cardTarget = null;  // a drop on a slot: { number }
    this.batch = null;       // a Batch, for a drop of several files
    // Where an OK put this drop's loops on the card: a second OK saves them
    // there again, asking about each, instead of taking more free numbers.
    this.savedTo = null;     // { first, numbers }
    this.starts = new Map(); // file -> the frame its loop starts at, where not 0
  }

  dropped(files, target, batch) {
    this.files = [...files];
    this.cardTarget = target;
    this.batch = batch;
    this.savedTo = null;
    this.starts = new Map();
  }

  startOf(file) {
    return this.starts.get(file) ?? 0;
  }

  setStart(file, frame) {
    this.starts.set(file, frame);
  }

  // The tempo (tenths) and measure mode a file's loop is made with: its
  // batch row's, else the panel's.
  chosen(file = this.current) {
    const panel = this.panel.current();
    const row = this.batch?.rowOf(file);
    return row ? this.batch.chosen(row, panel) : panel;
  }
}
