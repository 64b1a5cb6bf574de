// OK and the other saves: every file of the drop made with the tempo and
// measure chosen for it, numbered by the card's rule, saved once, and each
// outcome said.
import { byId } from './dom.js';
import { numbersFor, replaceQuestion } from './numbering.js';
import { slotText } from './slots.js';
import { downloadAll } from './save.js';

// A failure as the page says it: the catalogue's text, then the file and the
// reason in plain words; in a list, one line that starts with the file.
export const failureText = (file, outcome) =>
  outcome.detail ? `${outcome.message}\n${file.name}: ${outcome.detail}` : outcome.message;
export const failureLine = (file, outcome) =>
  `${file.name}: ${outcome.message}${outcome.detail ? ` (${outcome.detail})` : ''}`;

// A line of the results list.
export function result(text, failed = false) {
  const item = document.createElement('li');
  item.textContent = text;
  if (failed) item.className = 'failed';
  byId('results').append(item);
}

export class Converter {
  constructor({ core, session, state, card, ask, say, load, saved }) {
    Object.assign(this, { core, session, state, card, ask, say, load, saved });
  }

  get toCard() {
    return this.state.cardTarget !== null || this.card.writesFolder;
  }

  // The outcomes of one OK's saves, each once it happened; the first failure is also said.
  reportSaves(outcomes) {
    for (const outcome of outcomes) {
      if (outcome.ok) {
        this.saved.push(outcome.name);
        result(`${outcome.name}: ${outcome.where}`);
      } else {
        result(`${outcome.name}: not saved: ${outcome.error}`, true);
      }
    }
    const failed = outcomes.filter((outcome) => !outcome.ok);
    if (failed.length) {
      this.say(`${failed.map((o) => o.name).join(', ')} ${failed.length === 1 ? 'was' : 'were'} ` +
        `not saved.\n${failed[0].name}: ${failed[0].error}`);
    }
  }

  // True when the card's rule asks about none of these slots, or the user
  // has said to replace the ones it asks about.
  async mayReplace(numbers) {
    const { ask, full } = this.card.planPlacement(numbers);
    const question = replaceQuestion(ask.map((n) => slotText(this.card.slot(n))), full, this.core.maxFileNumber);
    return !question || this.ask(question);
  }

  // The numbers of `count` loop files from the file number, asked about where they replace.
  plan(first, count) {
    const { core, card } = this;
    return numbersFor({ toCard: this.toCard, saved: this.state.savedTo, first, count,
      planNumbers: (n, from) => card.planNumbers(n, from),
      batchProblem: (from, n) => core.batchNumberProblem(from, n),
      fileNumberError: core.messageText(core.fileNumberErrorId) });
  }

  // One save of an OK's outputs. Loop files with a number go into the card:
  // into its folder by the card's steps; into the card in the page as well as
  // the download (they leave with its zip too). The rest, a WAV file above
  // all, of no use to the sampler on its card, is downloaded.
  async deliver(outputs, toCard) {
    const { card } = this;
    const numbered = toCard ? outputs.filter((o) => o.number) : [];
    const written = await card.place(numbered);
    const rest = card.writesFolder ? outputs.filter((o) => !numbered.includes(o)) : outputs;
    this.reportSaves([...written, ...downloadAll(rest)]);
  }

  // OK: the file shown, or every file of the drop, each with its own tempo
  // and measure; then one save of them all. True once it has saved.
  async ok(chosen, signal) {
    const { core, session, state, card } = this;
    const waves = state.files.filter((file) => !core.isLoopName(file.name)).length;
    const planned = this.plan(chosen.fileNumber, waves);
    if (planned.problem) {
      this.say(planned.problem);
      return false;
    }
    const { numbers } = planned;
    if (this.toCard && !(await this.mayReplace(numbers))) return false;
    byId('results').replaceChildren();
    const outputs = [];
    let next = 0;
    // The file the session holds: the one shown, until the next is loaded.
    let held = state.current;
    for (const file of state.files) {
      const isWave = !core.isLoopName(file.name);
      const number = isWave ? numbers[next++] : 0;
      const loaded = file === held ? { ok: true } : await this.load(file, signal);
      held = file;
      signal.throwIfAborted();
      if (!loaded.ok) {
        result(failureLine(file, loaded), true);
        continue;
      }
      const { tenths, mode } = state.chosen(file);
      // From where its loop was placed; a file loaded again starts at 0 until told.
      const placed = session.kind() === core.kindLoop ? { ok: true } : session.setStart(state.startOf(file));
      const output = !placed.ok ? placed : session.kind() === core.kindLoop ? session.saveWave()
        : session.buildLoop(tenths, mode, number, chosen.dither);
      if (output.ok) outputs.push({ name: output.name, bytes: output.bytes, number: isWave ? number : 0, source: file.name });
      else if (state.files.length === 1) this.say(failureText(file, output));
      else result(failureLine(file, output), true);
    }
    const { toCard } = this;
    // What the OK replaces or fills is kept, for Undo.
    const kept = toCard ? card.keep(numbers) : [];
    const emptied = toCard ? numbers.filter((n) => card.slot(n).free) : [];
    await this.deliver(outputs, toCard);
    if (toCard) {
      state.savedTo = { first: chosen.fileNumber, numbers };
      if (outputs.some((o) => o.number)) {
        const into = numbers.map((n) => core.slotName(n)).join(', ');
        card.remember(`saving into ${into}`, () => card.putBack(kept, emptied));
      }
    }
    return true;
  }

  // A loop file dropped on a slot, put into it as it is.
  async placeLoop() {
    const { number } = this.state.cardTarget;
    if (!(await this.mayReplace([number]))) return;
    const file = this.state.current;
    const bytes = new Uint8Array(await file.arrayBuffer());
    byId('results').replaceChildren();
    await this.deliver([{ name: this.core.slotName(number), bytes, number, source: file.name }], true);
  }

  async saveWave() {
    const output = this.session.saveWave();
    if (output.ok) this.reportSaves(downloadAll([output]));
    else this.say(failureText(this.state.current, output));
  }
}
