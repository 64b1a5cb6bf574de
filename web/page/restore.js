// A backup put back on the card: a zip the page made ("Download card (zip)"),
// or several loop files named for their slots. The bytes come from anyone:
// only entries named L01.T58 ... L50.T58 and no larger than a loop file are
// even unpacked.
import { INDEX_NAME, slotText } from './slots.js';
// The loops of a drop by slot name ("L04.T58"), where the drop is a backup
// (a zip, or two or more loop files named for their slots and nothing
// else), and the card's index of names a zip holds: `{ loops, index }`.
// Null for any other drop, which goes on as files.
export async function backupIn(files, core) {
  // The card's own rule for its names: L and two digits in the module's range.
  const isSlotName = (name) => /^L\d\d\.T58$/i.test(name) &&
    Number(name.slice(1, 3)) >= core.minFileNumber && Number(name.slice(1, 3)) <= core.maxFileNumber;
  const largestLoopFile = core.largestLoopFile;
  const zips = files.filter((file) => /\.zip$/i.test(file.name));
  const loops = files.filter((file) => isSlotName(file.name));
  if (zips.length + loops.length !== files.length || (!zips.length && loops.length < 2)) return null;
  const found = new Map();
  let index = null;
  const leaf = (path) => path.split('/').pop();
  for (const zip of zips) {
    const entries = globalThis.fflate.unzipSync(new Uint8Array(await zip.arrayBuffer()), {
      filter: (entry) => (isSlotName(leaf(entry.name)) || leaf(entry.name) === INDEX_NAME) &&
        entry.originalSize <= largestLoopFile,
    });
    for (const [path, bytes] of Object.entries(entries)) {
      if (leaf(path) === INDEX_NAME) index = bytes;
      else found.set(leaf(path).toUpperCase(), bytes);
    }
  }
  for (const file of loops) {
    if (file.size <= largestLoopFile) found.set(file.name.toUpperCase(), new Uint8Array(await file.arrayBuffer()));
  }
  return { loops: found, index };
}

// A backup's loops (backupIn's) back under their numbers on `card` (a
// CardView), after one question that lists what they would replace.
export async function restoreInto(card, { loops, index }) {
  if (!loops.size) {
    card.hooks.showMessage('The backup holds no loop file named for a slot (L01.T58 to L50.T58); nothing was put back.');
    return;
  }
  const numbers = [...loops.keys()].map((name) => Number(name.slice(1, 3))).sort((a, b) => a - b);
  const taken = numbers.map((n) => card.slot(n)).filter((slot) => !slot.free);
  const count = `${loops.size} loop${loops.size === 1 ? '' : 's'}`;
  if (!(await card.hooks.ask(`Put back ${count} under ${loops.size === 1 ? 'its number' : 'their numbers'}` +
    (taken.length ? `, replacing ${taken.map(slotText).join('; ')}?` : '?'), 'Put back'))) return;
  const kept = card.keep(numbers);
  const emptied = numbers.filter((n) => card.slot(n).free);
  card.remember(`putting back ${count}`, () => card.putBack(kept, emptied));
  for (const number of numbers) {
    if (!(await card.carryOut(card.placed(number, loops.get(card.core.slotName(number)))))) break;
  }
  // Their names, where the backup kept them and the card has none.
  if (index && card.model.reserveFile(index.length).ok) {
    card.model.fileView().set(index);
    await card.carryOut(card.model.adoptNames());
  }
  card.refresh();
}
