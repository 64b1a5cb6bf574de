// The page: files in, the panel, the waveform, listening and saving. Every
// decision about bytes, names, lengths and messages is the core's; the page
// runs one job at a time through the module's one session.
import { loadCore } from './module.js';
import { Panel } from './panel.js';
import { Waveform } from './waveform.js';
import { Player } from './player.js';
import { RENAMED, Saver } from './save.js';
import { CardView, droppedFolder, slotText } from './card.js';
import { Loader } from './loader.js';
import { backupIn } from './restore.js';
import { JobQueue, isAbort } from './jobs.js';


const $ = (id) => document.getElementById(id);
const withCommas = (n) => n.toLocaleString('en-US');

// A failure as the page says it: the catalogue's text, then the file and the
// reason in plain words; in a list, one line that starts with the file.
const failureText = (file, outcome) =>
  outcome.detail ? `${outcome.message}\n${file.name}: ${outcome.detail}` : outcome.message;
const failureLine = (file, outcome) =>
  `${file.name}: ${outcome.message}${outcome.detail ? ` (${outcome.detail})` : ''}`;

async function main() {
  const core = await loadCore();
  const session = new core.Session();
  const KIND_WAVE = core.kindWave;
  const KIND_LOOP = core.kindLoop;
  const dialog = $('message');
  const messages = [];
  // Messages wait their turn: one shown at a time, none lost to the next.
  const waiting = [];
  const showMessage = (text) => {
    messages.push(text);
    if (dialog.open) {
      waiting.push(text);
      return;
    }
    $('message-text').textContent = text;
    dialog.showModal();
  };
  dialog.addEventListener('close', () => {
    if (!waiting.length) return;
    $('message-text').textContent = waiting.shift();
    dialog.showModal();
  });
  const panel = new Panel(core, showMessage);
  const waveform = new Waveform($('waveform'), core.sampleRate, core.blockWords);
  const player = new Player(core.sampleRate);
  const saver = new Saver();
  let files = [];  // the files of the last drop, in order
  // Where an OK put this drop's loops on the card: a second OK saves them
  // there again, asking about each, instead of taking more free numbers.
  let savedTo = null;  // { first, numbers }
  let current = null;  // the file shown, whose sound the session holds
  let cardTarget = null;  // a drop on the card: { number } where it starts

  // A question with two answers; true for the first.
  // Every question here would destroy a loop: its button names the act, and
  // Cancel has the focus, so Enter never removes or replaces by accident.
  const ask = (text, yes = 'Replace') => new Promise((resolve) => {
    const question = $('question');
    const before = document.activeElement;
    $('question-text').textContent = text;
    $('question-yes').textContent = yes;
    question.returnValue = '';
    // The busy line would be stale while the question waits (no work goes on).
    const busyLine = $('busy').hidden;
    $('busy').hidden = true;
    question.addEventListener('close', () => {
      $('busy').hidden = busyLine;
      if (before && before.isConnected && before !== document.body) before.focus();
      resolve(question.returnValue === 'yes');
    }, { once: true });
    question.showModal();
    $('question-no').focus();
  });

  const busy = (on) => {
    panel.busy = on;
    document.body.classList.toggle('busy', on);
    $('ok').disabled = on;
    $('save-wave').disabled = on;
    $('place-loop').disabled = on;
    $('busy').hidden = !on;
    if (!on) $('progress').removeAttribute('value');
  };
  const queue = new JobQueue(busy);
  const card = new CardView(core, {
    ask,
    showMessage,
    changed: () => {
      saver.folder = card.folder;
      $('target').textContent = card.folder ? `the card ${card.folder.name}` : 'Downloads';
    },
    openSlot: (file) => open([file], null, true),
    dropOnSlot: (list, number) => open(list, { number }),
    dropOnCard: (list) => backupIn([...list], core).then((backup) => {
      if (backup) queue.run(() => card.restore(backup)).catch(report);
      else open(list, { number: card.firstFree() || core.minFileNumber });
    }).catch(report),
    dropped,
    moveSlot: (from, to) => queue.run(() => card.move(from, to)).catch(report),
  });
  // A reload or a closed tab would empty a card held only in the page.
  window.addEventListener('beforeunload', (event) => {
    if (!card.unsaved) return;
    event.preventDefault();
    event.returnValue = '';
  });
  const page = { core, session, player, saver, messages, saved: [], queue, card, showMessage };
  window.loopsmithPage = page;

  // Anything a job did not expect still reaches the user, but an overtaken job is no failure.
  const report = (error) => {
    if (!isAbort(error)) showMessage(`The page could not finish: ${error.message ?? error}`);
  };
  const result = (text, failed = false) => {
    const item = document.createElement('li');
    item.textContent = text;
    if (failed) item.className = 'failed';
    $('results').append(item);
  };
  const loader = new Loader(core, session, (file, fraction) => {
    $('busy-text').textContent = `Loading ${file.name}…`;
    $('progress').value = fraction;
  });
  const load = (file, signal, whole) => loader.load(file, signal, whole);

  function showLoop() {
    if (!current || session.kind() !== KIND_WAVE) return;
    const { tenths, mode } = panel.current();
    const last = core.lastSample(mode, tenths);
    const stored = core.storageWords(last);
    waveform.setLoop(last, stored, mode === 0 ? 0 : tenths);
    const seconds = ((last + 1) / core.sampleRate).toFixed(3);
    $('loop-info').textContent = `Loop: ${seconds} s, ${withCommas(last + 1)} samples; ` +
      `stored in ${withCommas(stored + 1)} words (${(stored + 1) / core.blockWords} block${stored >= core.blockWords ? 's' : ''}); ` +
      `the file holds ${withCommas(session.fileFrames())} frames`;
    if (player.playing === 'loop') playLoop();
  }
  panel.onChange = showLoop;

  // Nothing of the file before stays on screen.
  function clearView(text) {
    player.stop();
    current = null;
    waveform.clear();
    $('file-info').textContent = text;
    $('loop-info').textContent = '';
    $('suggest-note').textContent = '';
    $('loop-header').replaceChildren();
  }

  function show(file, loaded) {
    current = file;
    const isLoop = session.kind() === KIND_LOOP;
    $('params').hidden = isLoop;
    $('loop-panel').hidden = !isLoop;
    // A loop file dropped on a slot can go into it as it is.
    $('place-loop').hidden = !(isLoop && cardTarget);
    if (cardTarget) $('place-loop').textContent = `Put into ${core.slotName(cardTarget.number)}`;
    $('play-original').hidden = isLoop;
    waveform.setSamples(session.samples(), session.channels(), session.frames());
    const others = files.length - 1;
    const batch = others ? ` One of ${files.length} files: OK converts them all, WAV files numbered up from the file number.` : '';
    if (isLoop) {
      const tenths = session.loopTempo();
      const mode = session.loopMeasure();
      const last = core.lastSample(mode, tenths);
      waveform.setLoop(last, core.storageWords(last), mode === 0 ? 0 : tenths);
      $('file-info').textContent = `${file.name}: loop file.${batch}`;
      const rows = [['Tempo', `${(tenths / 10).toFixed(1)} BPM`],
        ['Measure', mode === 1 ? '1' : mode === 2 ? '2' : 'OFF'],
        ['Loop', `${withCommas(last + 1)} samples, ${((last + 1) / core.sampleRate).toFixed(3)} s`]];
      $('loop-header').replaceChildren(...rows.flatMap(([k, v]) => {
        const dt = document.createElement('dt'); dt.textContent = k;
        const dd = document.createElement('dd'); dd.textContent = v;
        return [dt, dd];
      }));
    } else {
      $('file-info').textContent = `${file.name}: ${session.channels() === 2 ? 'stereo' : 'mono'}, ` +
        `${withCommas(session.fileFrames())} frames` + (loaded.adapted ? `; ${loaded.adapted}` : '') + `.${batch}`;
      showLoop();
    }
  }

  // A drop: the first file of it that loads is shown; those before it are
  // listed with their messages (a single file's goes to the message box).
  function open(list, target = null, play = false) {
    // Listening goes on with the new file's loop, as it does after a change of tempo.
    const listening = play || player.playing === 'loop';
    files = [...list];
    cardTarget = target;
    savedTo = null;
    document.body.classList.add('has-file');
    panel.reset();
    // Into the card: the slot dropped on, or its next free number.
    const first = target ? target.number : card.firstFree();
    if (first && (target || card.writesFolder)) panel.setFileNumber(first);
    $('results').replaceChildren();
    $('work').hidden = false;
    clearView(`Loading ${files[0].name}…`);
    queue.replace(async (signal) => {
      for (const file of files) {
        const loaded = await load(file, signal);
        if (loaded.ok) {
          show(file, loaded);
          if (listening) playLoop();
          return;
        }
        if (files.length === 1) {
          $('work').hidden = true;
          document.body.classList.remove('has-file');
          showMessage(failureText(file, loaded));
          return;
        }
        result(failureLine(file, loaded), true);
      }
      clearView('No file of this drop can be converted.');
    }).catch(report);
  }

  // The outcomes of one OK's saves, each once it happened; the first failure is also said.
  function reportSaves(outcomes) {
    for (const outcome of outcomes) {
      if (outcome.ok) {
        page.saved.push(outcome.name);
        result(`${outcome.name}: ${outcome.where}`);
      } else {
        result(`${outcome.name}: not saved: ${outcome.error}`, true);
      }
    }
    const failed = outcomes.filter((outcome) => !outcome.ok);
    if (failed.length) {
      showMessage(`${failed.map((o) => o.name).join(', ')} ${failed.length === 1 ? 'was' : 'were'} ` +
        `not saved.\n${failed[0].name}: ${failed[0].error}`);
    }
  }

  // True when none of these slots holds a loop, or the user has said to replace them.
  async function mayReplace(numbers) {
    const taken = numbers.map((n) => card.slot(n)).filter((slot) => !slot.free);
    const full = card.table.free.length === 0
      ? `The card is full (${core.maxFileNumber} of ${core.maxFileNumber} numbers taken). ` : '';
    return !taken.length || ask(`${full}Replace ${taken.map(slotText).join('; ')}?`);
  }

  // The numbers of an OK's loop files: up from the file number, as the dialog
  // numbers a batch; or, into a card, the file number and then the free
  // numbers above it, replacing a loop only after a question.
  async function numbersOf(chosen, waves) {
    if (cardTarget || card.writesFolder) {
      if (savedTo && savedTo.first === chosen.fileNumber && savedTo.numbers.length === waves) {
        return (await mayReplace(savedTo.numbers)) ? savedTo.numbers : null;
      }
      const plan = card.planNumbers(waves, chosen.fileNumber);
      if (plan.problem) {
        showMessage(`Nothing was saved: ${plan.problem}. Free some slots, or choose a lower file number.`);
        return null;
      }
      return (await mayReplace(plan.numbers)) ? plan.numbers : null;
    }
    const problem = core.batchNumberProblem(chosen.fileNumber, waves);
    if (problem) {
      showMessage(`${core.messageText(core.fileNumberErrorId)}\n${problem}`);
      return null;
    }
    return Array.from({ length: waves }, (_, i) => chosen.fileNumber + i);
  }

  // One save of an OK's outputs; loop files with a number go into the card as
  // well: in the page at once (they leave with its zip), into a folder once written.
  async function deliver(outputs, toCard) {
    if (toCard && !card.writesFolder) await card.place(outputs.filter((o) => o.number));
    const outcomes = await saver.saveAll(outputs, 'loopsmith.zip');
    reportSaves(outcomes);
    if (toCard && card.writesFolder) {
      const written = new Set(outcomes.filter((o) => o.ok).map((o) => o.name));
      await card.place(outputs.filter((o) => o.number && written.has(o.name)));
    }
  }

  // OK: the file shown, or every file of the drop; then one save of them all.
  panel.onOk = (chosen) => queue.run(async (signal) => {
    player.stop();
    const numbers = await numbersOf(chosen, files.filter((file) => !core.isLoopName(file.name)).length);
    if (!numbers) return;
    $('results').replaceChildren();
    const outputs = [];
    let next = 0;
    const shown = current;
    for (const file of files) {
      const isWave = !core.isLoopName(file.name);
      const number = isWave ? numbers[next++] : 0;
      const loaded = file === shown ? { ok: true } : await load(file, signal);
      signal.throwIfAborted();
      if (!loaded.ok) {
        result(failureLine(file, loaded), true);
        continue;
      }
      const output = session.kind() === KIND_LOOP ? session.saveWave()
        : session.buildLoop(chosen.tenths, chosen.measureMode, number, chosen.dither);
      if (output.ok) {
        outputs.push({ name: output.name, bytes: output.bytes, number: isWave ? number : 0, source: file.name });
      }
      else if (files.length === 1) showMessage(failureText(file, output));
      else result(failureLine(file, output), true);
    }
    const toCard = cardTarget !== null || card.writesFolder;
    // What the OK replaces or fills is kept, for Undo.
    const kept = toCard ? card.keep(numbers) : [];
    const emptied = toCard ? numbers.filter((n) => card.slot(n).free) : [];
    await deliver(outputs, toCard);
    if (toCard) {
      savedTo = { first: chosen.fileNumber, numbers };
      if (outputs.some((o) => o.number)) {
        const into = numbers.map((n) => core.slotName(n)).join(', ');
        card.remember(`saving into ${into}`, () => card.putBack(kept, emptied));
      }
    }
    // The session holds the file shown again.
    if (files.length > 1 && shown) {
      const back = await load(shown, signal);
      if (!back.ok) clearView('');
    }
    panel.renew();
  }).catch(report);
  panel.onCancel = () => {
    queue.replace(async () => {}).catch(report);
    files = [];
    clearView('');
    $('work').hidden = true;
    document.body.classList.remove('has-file');
    panel.reset();
  };

  $('save-wave').addEventListener('click', () => queue.run(async () => {
    const output = session.saveWave();
    if (output.ok) reportSaves(await saver.saveAll([output]));
    else showMessage(failureText(current, output));
  }).catch(report));
  $('place-loop').addEventListener('click', () => queue.run(async () => {
    const { number } = cardTarget;
    if (!(await mayReplace([number]))) return;
    const bytes = new Uint8Array(await current.arrayBuffer());
    $('results').replaceChildren();
    await deliver([{ name: core.slotName(number), bytes, number, source: current.name }], true);
  }).catch(report));
  $('suggest').addEventListener('click', () => queue.run(async (signal) => {
    let found = session.suggestTempo();
    if (found.needsMore && current) {
      // The tags lie past the start read so far: the whole file, once.
      const shown = current;
      const loaded = await load(shown, signal, true);
      if (!loaded.ok) return;
      found = session.suggestTempo();
    }
    if (found.tenths === 0) {
      // The command line's words, but for what to do about it here.
      $('suggest-note').textContent = (found.failure || 'no tempo in a loop chunk, the name or the length')
        .replace(/; give --bpm N$/, '; set the tempo by hand');
      return;
    }
    panel.setTenths(found.tenths);
    const held = (measures) => (measures ? ` (${measures === 1 ? '1 measure' : `${measures} measures`})` : '');
    const note = $('suggest-note');
    note.textContent = `${(found.tenths / 10).toFixed(1)} BPM from ${found.source}` +
      (found.second ? held(found.measures) : '') +
      (found.adjusted ? `, ${found.adjusted}` : '') + (found.notes ? ` (${found.notes})` : '');
    if (found.second) {
      // Too close to call: the other octave is one click away.
      const other = document.createElement('button');
      other.type = 'button';
      other.id = 'suggest-second';
      other.textContent = `${(found.second / 10).toFixed(1)} BPM${held(found.secondMeasures)}`;
      other.addEventListener('click', () => {
        panel.setTenths(found.second);
        other.remove();
      });
      note.append(', or ', other);
    }
  }).catch(report));

  // One animation loop while anything plays.
  let ticking = false;
  const tick = () => {
    const frame = player.position();
    waveform.setPlayhead(frame);
    ticking = frame !== null;
    if (ticking) requestAnimationFrame(tick);
  };
  const startTicking = () => {
    if (!ticking) {
      ticking = true;
      requestAnimationFrame(tick);
    }
  };
  function playLoop() {
    if (session.kind() === KIND_LOOP) {
      player.play(session.samples(), 1, 'loop');
    } else {
      const { tenths, mode } = panel.current();
      const samples = session.audition(tenths, mode, panel.dither());
      player.play(samples, 1, 'loop', $('click').checked && mode !== 0 ? tenths : 0);
    }
    startTicking();
  }
  $('play-loop').addEventListener('click', playLoop);
  $('click').addEventListener('change', () => { if (player.playing === 'loop') playLoop(); });
  $('play-original').addEventListener('click', () => {
    player.play(session.samples(), session.channels(), 'original');
    startTicking();
  });
  $('stop').addEventListener('click', () => { player.stop(); waveform.setPlayhead(null); });

  // A drop that is one folder (the card, from the file manager) opens it as
  // the card; any other goes on as files.
  function dropped(folder, otherwise) {
    if (!folder) {
      otherwise();
      return;
    }
    openCard(async () => {
      if (!(await card.openDropped(folder))) otherwise();
    });
  }

  // The card: a folder chosen (where the browser lets a page write one), the
  // one remembered from the last visit, or a folder opened to view.
  const openCard = (how) => queue.run(async () => {
    try {
      await how();
    } catch (error) {
      if (error.name !== 'AbortError') showMessage(`The card could not be opened.\n${error.message ?? error}`);
    }
  }).catch(report);
  if (saver.canChooseFolder()) {
    $('open-card').hidden = false;
    $('open-card').addEventListener('click', () => openCard(() => card.choose()));
    card.remembered().then((handle) => {
      if (!handle) return;
      $('reopen-card').textContent = `Open ${handle.name} again`;
      $('reopen-card').hidden = false;
      $('reopen-card').addEventListener('click', () => openCard(() => card.reopen(handle)));
    });
  }
  $('card-input').addEventListener('change', (event) => {
    const list = [...event.target.files];
    event.target.value = '';
    openCard(() => card.view(list));
  });
  $('undo-card').addEventListener('click', () => queue.run(() => card.undo()).catch(report));
  $('label-slot').addEventListener('click', () => queue.run(() => card.labelSelected()).catch(report));
  $('remove-slot').addEventListener('click', () => queue.run(() => card.removeSelected()).catch(report));
  $('download-card').addEventListener('click', () => {
    const name = card.downloadZip();
    if (name) result(`${name}: downloaded (${RENAMED})`);
  });
  card.render();

  const drop = $('drop');
  drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    if (!event.dataTransfer.files.length) return;
    const files = [...event.dataTransfer.files];
    dropped(droppedFolder(event.dataTransfer), () => open(files));
  });
  // The whole page takes drops, so a near miss does not open the file in the tab.
  window.addEventListener('dragover', (event) => event.preventDefault());
  window.addEventListener('drop', (event) => event.preventDefault());
  $('file-input').addEventListener('change', (event) => {
    if (event.target.files.length) open(event.target.files);
    event.target.value = '';
  });
  page.ready = true;
}

main();
