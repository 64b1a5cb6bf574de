// A batch: the files of one drop, each a row with the tempo and measure its
// loop takes and the number it goes to. A row's tempo is the one suggested
// for its file or typed in it; a row with none takes the panel's.
import { noSuggestion, suggestionNote } from './suggestion.js';

export class Batch {
  // `files`: the drop, in order; `isLoopName(name)`: a loop file, which
  // becomes a WAV file and takes no tempo, measure or number.
  constructor(files, isLoopName) {
    this.rows = [...files].map((file) => ({
      file,
      loop: isLoopName(file.name),
      tenths: null,    // null: the panel's
      measure: null,   // null: the panel's
      note: '',        // where the tempo came from, or why there is none
      second: null,    // a close second reading: { tenths, label }
      failed: '',      // the file cannot be converted, and why
      number: 0,
    }));
  }

  // The rows that make loop files.
  get sounds() {
    return this.rows.filter((row) => !row.loop);
  }

  rowOf(file) {
    return this.rows.find((row) => row.file === file) ?? null;
  }

  // What the page's suggestion found for the row's file. A file that holds
  // two measures at its tempo keeps both, as a musician cut it.
  suggested(row, found) {
    if (!found.tenths) {
      row.note = `${noSuggestion(found).replace(/; set the tempo by hand$/, '')}; ` +
        "the panel's tempo is taken unless you type one";
      return;
    }
    const { text, second } = suggestionNote(found);
    row.tenths = found.tenths;
    row.note = text;
    row.second = second && { ...second, measures: found.secondMeasures };
    row.measure = found.measures === 2 ? 2 : null;
  }

  // The close second reading instead, with the measures it holds.
  takeSecond(row) {
    const { tenths, measures } = row.second;
    row.tenths = tenths;
    if (measures === 1 || measures === 2) row.measure = measures;
    row.note = 'the second reading';
    row.second = null;
  }

  // A tempo typed in a row, in BPM: taken if it is in range and to a tenth;
  // empty gives the row back to the panel. False if refused.
  setTempo(row, text, minBpm, maxBpm) {
    if (text.trim() === '') {
      row.tenths = null;
      row.note = "the panel's tempo";
      return true;
    }
    const bpm = Number(text);
    const tenths = Math.round(bpm * 10);
    if (!(bpm >= minBpm && bpm <= maxBpm) || Math.abs(bpm * 10 - tenths) > 1e-6) return false;
    row.tenths = tenths;
    row.note = 'set by hand';
    row.second = null;
    return true;
  }

  // The tempo (tenths) and measure mode the row's loop is made with, given
  // the panel's `{ tenths, mode }`.
  chosen(row, panel) {
    return { tenths: row.tenths ?? panel.tenths, mode: row.measure ?? panel.mode };
  }

  // The loop numbers, one per sound row in order (a failed row keeps its
  // number, as a batch is numbered by its files).
  number(numbers) {
    this.sounds.forEach((row, i) => { row.number = numbers[i] ?? 0; });
  }
}
