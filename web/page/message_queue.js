// Messages wait their turn: one is shown at a time, and none is lost to the
// one after it. `present(text)` shows one; closed() is called when it goes.
export class MessageQueue {
  constructor(present) {
    this.present = present;
    this.said = [];     // every message, in order, for the record
    this.waiting = [];
    this.showing = false;
  }

  say(text) {
    this.said.push(text);
    if (this.showing) {
      this.waiting.push(text);
      return;
    }
    this.showing = true;
    this.present(text);
  }

  closed() {
    this.showing = this.waiting.length > 0;
    if (this.showing) this.present(this.waiting.shift());
  }
}
