// The page's pure modules under node: no browser, no module, no DOM.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { MessageQueue } from '../../web/page/message_queue.js';
import { numbersFor, replaceQuestion } from '../../web/page/numbering.js';
import { Batch } from '../../web/page/batch.js';
import { cardWhere, inUserWords, madeStamp, slotFacts, slotLabel, slotText } from '../../web/page/slots.js';
import { JobQueue, isAbort } from '../../web/page/jobs.js';
import { readdirSync, readFileSync } from 'node:fs';

test('messages wait their turn and none is lost', () => {
  const shown = [];
  const queue = new MessageQueue((text) => shown.push(text));
  ['one', 'two', 'three'].forEach((text) => queue.say(text));
  assert.deepEqual(shown, ['one']);
  queue.closed();
  queue.closed();
  queue.say('four');
  queue.closed();
  assert.deepEqual(shown, ['one', 'two', 'three', 'four']);
  queue.closed();
  queue.say('five');
  assert.deepEqual(shown.at(-1), 'five');
  assert.equal(queue.said.length, 5);
});

test('numbers: the card plan, the same OK again, and up from the file number', () => {
  const plan = (count, first) => (count > 2 ? { problem: 'only 2 numbers are free' }
    : { numbers: Array.from({ length: count }, (_, i) => first + 2 * i), problem: '' });
  const base = { planNumbers: plan, batchProblem: (first, n) => (first + n - 1 > 50 ? 'past 50' : ''),
    fileNumberError: 'File number error' };
  const rows = [
    [{ toCard: true, first: 5, count: 2 }, { numbers: [5, 7] }],
    [{ toCard: true, first: 5, count: 3 }, { problem: 'Nothing was saved: only 2 numbers are free. Free some slots, or choose a lower file number.' }],
    [{ toCard: true, first: 5, count: 2, saved: { first: 5, numbers: [5, 9] } }, { numbers: [5, 9] }],
    [{ toCard: true, first: 6, count: 2, saved: { first: 5, numbers: [5, 9] } }, { numbers: [6, 8] }],
    [{ toCard: false, first: 48, count: 3 }, { numbers: [48, 49, 50] }],
    [{ toCard: false, first: 49, count: 3 }, { problem: 'File number error\npast 50' }],
  ];
  for (const [given, expected] of rows) assert.deepEqual(numbersFor({ ...base, ...given }), expected, JSON.stringify(given));
  assert.equal(replaceQuestion([], true, 50), '');
  assert.equal(replaceQuestion(['L01.T58: a', 'L02.T58: b'], false, 50), 'Replace L01.T58: a; L02.T58: b?');
  assert.match(replaceQuestion(['L01.T58: a'], true, 50), /^The card is full \(50 of 50 numbers taken\)\. Replace/);
});

test('a batch row: suggested, typed, or the panel\'s', () => {
  const file = (name) => ({ name });
  const batch = new Batch([file('a.wav'), file('L03.T58'), file('b.wav'), file('c.wav')], (n) => n.endsWith('.T58'));
  const [a, loop, b, c] = batch.rows;
  assert.deepEqual(batch.sounds, [a, b, c]);
  batch.suggested(a, { tenths: 1280, measures: 2, source: 'the file name', second: 640, secondMeasures: 1 });
  batch.suggested(b, { tenths: 0, failure: 'no tempo in a loop chunk, the name or the length; give --bpm N' });
  assert.deepEqual([a.tenths, a.measure, a.second.tenths], [1280, 2, 640]);
  assert.match(a.note, /^128\.0 BPM from the file name \(2 measures\)/);
  assert.equal(b.note, "no tempo in a loop chunk, the name or the length; the panel's tempo is taken unless you type one");
  const panel = { tenths: 1200, mode: 1 };
  assert.deepEqual(batch.chosen(a, panel), { tenths: 1280, mode: 2 });
  assert.deepEqual(batch.chosen(b, panel), panel);
  for (const [text, ok, tenths] of [['97.5', true, 975], ['97.55', false, 975], ['300', false, 975],
    ['x', false, 975], ['', true, null], ['40', true, 400]]) {
    assert.equal(batch.setTempo(c, text, 40, 240), ok, text);
    assert.equal(c.tenths, tenths, text);
  }
  batch.takeSecond(a);
  assert.deepEqual([a.tenths, a.measure, a.second], [640, 1, null]);
  batch.number([4, 5, 6]);
  assert.deepEqual(batch.rows.map((row) => row.number), [4, 0, 5, 6]);
  assert.equal(batch.rowOf(loop.file), loop);
});

test('slots as the page says them', () => {
  const loop = { number: 7, name: 'L07.T58', free: false, ok: true, tempo: 1275, measure: 2, seconds: 3.765,
    source: 'break.wav', label: '', readOnly: true };
  const rows = [
    [slotText(loop), 'L07.T58: 127.5 BPM, two measures, 3.765 s'],
    [slotText({ name: 'L08.T58', ok: false, detail: 'it holds 0 bytes' }), 'L08.T58: unreadable (it holds 0 bytes)'],
    [slotFacts(loop), '127.5 BPM\n2 measures\n3.765 s'],
    [slotFacts({ free: true }), 'free'],
    [slotLabel(loop, 'L07.T58'), 'L07.T58: 127.5 BPM, two measures, 3.765 s, from break.wav, read-only'],
    [slotLabel({ ...loop, label: 'Verse', readOnly: false }, 'L07.T58'), 'L07.T58: 127.5 BPM, two measures, 3.765 s, Verse'],
    [slotLabel({ number: 9, free: true }, 'L09.T58'), 'L09.T58: free; drop files here'],
    [inUserWords('.loopsmith-swap.T58 and .loopsmith-swap, .loopsmith-card'), "the swap in progress and the swap in progress, the card's names"],
    [madeStamp(new Date(2026, 11, 8, 9, 5)), '2026-12-08 09:05'],
    [cardWhere({ folderName: 'GIG', taken: 3, total: 50 }), 'GIG: 3 of 50 slots taken; changes are saved there at once.'],
    [cardWhere({ folderName: 'GIG', taken: 3, total: 50, indexProblem: 'line 2 is not an entry' }),
      "GIG: 3 of 50 slots taken; changes are saved there at once. The loops' names are left aside: line 2 is not an entry."],
    [cardWhere({ viewName: 'OLD', taken: 0, total: 50, writesFolders: true }), 'OLD (view only): 0 of 50 slots taken; download it as a zip to keep it.'],
  ];
  for (const [got, expected] of rows) assert.equal(got, expected);
  assert.match(cardWhere({ taken: 0, total: 50, writesFolders: false }), /in Chrome or Edge/);
});

test('one job at a time; a new input aborts the ones waiting', async () => {
  const busy = [];
  const jobs = new JobQueue((on) => busy.push(on));
  const ran = [];
  const first = jobs.run(async () => { await new Promise((r) => setTimeout(r, 10)); ran.push(1); });
  await new Promise((r) => setTimeout(r, 0));  // the first has started
  const second = jobs.run(async () => ran.push(2));
  const third = jobs.replace(async () => ran.push(3));
  await first.catch(() => {});
  await assert.rejects(second, (error) => isAbort(error));
  await third;
  await new Promise((r) => setTimeout(r, 0));
  assert.deepEqual(ran, [1, 3]);
  assert.deepEqual(busy, [true, false]);
});

test('every module of the page keeps to one job: none over 300 lines', () => {
  const folder = new URL('../../web/page/', import.meta.url);
  const long = readdirSync(folder).filter((name) => name.endsWith('.js'))
    .filter((name) => readFileSync(new URL(name, folder), 'utf8').split('\n').length - 1 > 300);
  assert.deepEqual(long, []);
});
