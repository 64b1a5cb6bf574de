// A suggested tempo in the page's words: where it came from, what was
// adjusted, what is doubtful, and a close second reading where there is one.
export const bpmText = (tenths) => (tenths / 10).toFixed(1);

const heldIn = (measures) => (measures ? ` (${measures === 1 ? '1 measure' : `${measures} measures`})` : '');

// `{ text, second }`: second is `{ tenths, label }` when the sound left the
// call close, else null.
export function suggestionNote(found) {
  const text = `${bpmText(found.tenths)} BPM from ${found.source}` +
    (found.second ? heldIn(found.measures) : '') +
    (found.adjusted ? `, ${found.adjusted}` : '') + (found.notes ? ` (${found.notes})` : '');
  const second = found.second
    ? { tenths: found.second, label: `${bpmText(found.second)} BPM${heldIn(found.secondMeasures)}` } : null;
  return { text, second };
}

// Why nothing was suggested: the command line's words, but with what to do
// about it here.
export const noSuggestion = (found) =>
  (found.failure || 'no tempo in a loop chunk, the name or the length')
    .replace(/; give --bpm N$/, '; set the tempo by hand');
