// The WebAssembly module's interface, as web/bindings.cpp binds it: what the
// page may call. Every byte array it returns is a copy the page owns; the two
// views (inputView, floatView) are valid only until the next call.

export interface Outcome {
  ok: boolean;
  message: string;  // the catalogue's text of the first failure, empty if none
  detail: string;   // the failure in plain words
}

export interface Output extends Outcome {
  name: string;       // the output's file name: "L07.T58", "take.WAV"
  bytes: Uint8Array;  // the output file
}

export interface Suggestion {
  tenths: number;    // the tempo in tenths of BPM; 0 for none
  measures: number;  // how many measures the file holds at it; 0 if unknown
  second: number;    // a close second tempo in tenths, when the sound left it unsure; else 0
  secondMeasures: number;
  source: string;    // "the loop chunk", "the file name", "the loop length"
  adjusted: string;  // "halved from 250.0 BPM", or empty
  notes: string;     // doubts, joined with "; "
  failure: string;   // why there is none (the command line's words)
  needsMore: boolean;  // the tags lie past the part of the file held
}

export interface Session {
  // Room for a dropped file of `size` bytes (a number, so sizes past 4 GiB
  // are seen as they are); a refusal says "Memory error" and the size.
  reserveInput(size: number): Outcome;
  inputView(): Uint8Array;
  // `wholeSize`: the file's size, of which the input holds the start; an
  // Output with needsMore asks for more of it.
  // otherFormat: a WAV file refused for its depth or rate, which
  // decodeOwn() may still read.
  open(name: string, wholeSize: number): Output & { needsMore: boolean; otherFormat: boolean };
  reserveFloats(count: number): Outcome;
  floatView(): Float32Array;
  useDecoded(name: string, channels: number): Output;
  // The page's own WAV and AIFF reader over the file opened; at a rate other
  // than 44,100 its samples wait in ownSamples() for the browser to resample.
  decodeOwn(): Output & { needsMore: boolean; rate: number; channels: number };
  ownSamples(): Float32Array;
  kind(): number;  // kindWave or kindLoop, 0 for none
  channels(): number;
  frames(): number;
  fileFrames(): number;
  samples(): Int16Array;
  loopTempo(): number;    // tenths of BPM, from a loop file's header
  loopMeasure(): number;  // 0 (OFF), 1 or 2
  buildLoop(tenths: number, measureMode: number, fileNumber: number, dither: boolean): Output;
  audition(tenths: number, measureMode: number, dither: boolean): Int16Array;
  saveWave(): Output;
  suggestTempo(): Suggestion;
  delete(): void;
}

export interface LoopParamModel {
  onTempoScroll(position: number): void;
  onMeasure(mode: number): void;
  onFileNumberEdited(text: string): void;
  onFileNumberStep(step: number): void;
  onOK(): void;
  onCancel(): void;
  sliderPosition(): number;
  measureMode(): number;
  tempoText(): string;
  timeText(): string;
  fileNumberText(): string;
  takeMessage(): string;
  ending(): number;  // 0 open, 1 OK, 2 Cancel
  handedBack(): { tempo: number; measureMode: number; fileNumber: number };
  delete(): void;
}

// One slot of a card: free, or the loop file named for its number.
export interface Slot extends Partial<Outcome> {
  number: number;
  free: boolean;
  name?: string;         // "L07.T58"
  tempo?: number;        // tenths of BPM
  measure?: number;      // 0 (OFF), 1 or 2
  loopSamples?: number;
  seconds?: number;
  size?: number;
  readOnly?: boolean;
  source?: string;       // the card's index: the sound it was made from
  made?: string;         // "2026-12-08 16:30"
  label?: string;        // the musician's name for it
}

// What a change did to the copy of the card, and the steps that make the
// same change on the folder itself, in order.
export interface CardChange extends Outcome {
  steps: { kind: 'write' | 'move' | 'remove'; name: string; to: string; bytes: Uint8Array }[];
}

export interface Card {
  clear(): void;
  // A file of the folder: reserveFile and fileView for the bytes held (a loop
  // file whole), then add; add alone for a file known by its name and size.
  reserveFile(size: number): Outcome;
  fileView(): Uint8Array;
  add(name: string, size: number, readOnly: boolean): void;
  read(): { slots: Slot[]; strays: { name: string; why: string }[]; free: number[] };
  // `columns` pairs of lowest and highest sample of slot N's loop, -1 to 1.
  peaks(number: number, columns: number): Float32Array;
  bytes(name: string): Uint8Array | null;
  // The numbers for `count` new loops: the lowest free (`first` 0), or
  // `first` and the free numbers above it; too few, and `problem` says so.
  planNumbers(count: number, first: number): { numbers: number[]; problem: string };
  // Of these numbers, those to ask about before writing; whether the card is full.
  planPlacement(numbers: number[]): { ask: number[]; full: boolean };
  move(from: number, to: number): CardChange;  // to a free number only
  swap(a: number, b: number): CardChange;
  remove(number: number, force: boolean): CardChange;  // a read-only loop only with force
  finish(): CardChange;                        // a swap that was cut off
  // The file reserved, into slot N, recorded in the card's index as made
  // from `source` at `made` (no record for an empty source).
  place(number: number, source: string, made: string): CardChange;
  label(number: number, label: string): CardChange;
  // The file reserved is a backup's index: its names for the loops without one.
  adoptNames(): CardChange;
  delete(): void;
}

export interface Core {
  Session: { new (): Session };
  Card: { new (): Card };
  LoopParamModel: { new (): LoopParamModel };
  messageText(id: number): string;
  lastSample(measureMode: number, tenths: number): number;   // the loop's last sample: its length - 1
  storageWords(lastSample: number): number;                   // the loop file's last word
  isLoopName(name: string): boolean;
  slotName(number: number): string;  // "L07.T58"
  // Why `waves` WAV files numbered from `firstNumber` cannot be saved, or "".
  batchNumberProblem(firstNumber: number, waves: number): string;
  readonly minBpm: number;
  readonly maxBpm: number;
  readonly minFileNumber: number;
  readonly maxFileNumber: number;
  readonly largestLoopFile: number;  // bytes: all a loop file's reader ever reads
  readonly sampleRate: number;  // Hz, of every sound the core takes and gives
  readonly kindWave: number;
  readonly kindLoop: number;
  readonly fileNumberErrorId: number;
  readonly memoryErrorId: number;
}

export default function createLoopsmith(): Promise<Core>;
