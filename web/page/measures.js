// The loop length's words, one table for the whole page. A mode is the
// loop file's own: 0 for OFF, 1 or 2 measures.
const WORDS = [
  { text: 'OFF', short: 'OFF', choice: 'OFF' },
  { text: 'one measure', short: '1 measure', choice: 'One measure' },
  { text: 'two measures', short: '2 measures', choice: 'Two measures' },
];

// "one measure", as in a sentence.
export const measureText = (mode) => WORDS[mode].text;
// "1 measure", where room is short.
export const measureShort = (mode) => WORDS[mode].short;
// The choices in the panel's order: one, two, OFF.
export const MEASURE_CHOICES = [1, 2, 0].map((mode) => [mode, WORDS[mode].choice]);
