// A slot as the page says it: its facts, its names (the card index's source
// and the musician's label), and the card's state in one line.
import { measureShort, measureText } from './measures.js';

// The card's index of names, beside the loops; it goes into the card's zip.
export const INDEX_NAME = '.loopsmith-card';

const slotBpm = (tenths) => (tenths % 10 === 0 ? String(tenths / 10) : (tenths / 10).toFixed(1));

// "L07.T58: 128 BPM, one measure, 1.875 s"
export const slotText = (slot) => (slot.ok
  ? `${slot.name}: ${slotBpm(slot.tempo)} BPM, ${measureText(slot.measure)}, ${slot.seconds.toFixed(3)} s`
  : `${slot.name}: unreadable (${slot.detail})`);

// The name shown for a loop: the musician's label, else the sound it came
// from; none for a loop the index does not know.
export const slotNamed = (slot) => slot.label || slot.source || '';

// The lines inside a slot of the grid, under its name.
export function slotFacts(slot) {
  if (slot.free) return 'free';
  if (!slot.ok) return slot.detail;
  return `${slotBpm(slot.tempo)} BPM\n${measureShort(slot.measure)}\n${slot.seconds.toFixed(3)} s`;
}

// What a screen reader says of a slot; `name`, its file name, as a free slot has none.
export function slotLabel(slot, name) {
  if (slot.free) return `${name}: free; drop files here`;
  return [slotText(slot), slot.label || (slot.source ? `from ${slot.source}` : ''),
    slot.readOnly ? 'read-only' : ''].filter(Boolean).join(', ');
}

// The line under the card's buttons: where it is, how full, how it is kept,
// and why its names are left aside where its index does not read.
export function cardWhere({ folderName, viewName, taken, total, writesFolders, indexProblem }) {
  const of = `${taken} of ${total} slots taken`;
  const names = indexProblem ? ` The loops' names are left aside: ${indexProblem}.` : '';
  if (folderName) return `${folderName}: ${of}; changes are saved there at once.${names}`;
  return `${viewName ? `${viewName} (view only)` : 'A card in this page'}: ${of}; download it as a zip to keep it.` +
    (writesFolders ? '' : ' This browser cannot write to a folder; in Chrome or Edge, "Open card…" writes to the card itself.') +
    names;
}

// The card's own files named in the user's words, not ours.
export const inUserWords = (text) => text
  .replace(/\.loopsmith-swap\.T58|\.loopsmith-swap/g, 'the swap in progress')
  .replace(/\.loopsmith-card/g, "the card's names");

// "2026-12-08 16:30": when a loop was made, this computer's time, as the
// command line writes it in the card's index.
export function madeStamp(date) {
  const two = (n) => String(n).padStart(2, '0');
  return `${date.getFullYear()}-${two(date.getMonth() + 1)}-${two(date.getDate())} ` +
    `${two(date.getHours())}:${two(date.getMinutes())}`;
}
