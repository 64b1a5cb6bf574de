// The page: files in, the panel, the waveform, listening and saving. Every
// decision about bytes, names, lengths and messages is the core's; the page
// runs one job at a time through the module's one session. This module only
// joins the others: the state lives in PageState.
import { loadCore } from './module.js';
import { byId } from './dom.js';
import { Panel } from './panel.js';
import { Waveform } from './waveform.js';
import { Player } from './player.js';
import { CardView } from './card.js';
import { droppedFolder } from './dropped.js';
import { Loader } from './loader.js';
import { backupIn, restoreInto } from './restore.js';
import { JobQueue, isAbort } from './jobs.js';
import { ask, messageBox } from './messages.js';
import { bindCardControls } from './card_controls.js';
import { PageState } from './state.js';
import { Listening } from './listen.js';
import { FileView } from './view.js';
import { Region } from './region.js';
import { Batch } from './batch.js';
import { BatchView } from './batch_view.js';
import { Converter, failureLine, failureText, result } from './convert.js';
import { noSuggestion, suggestionNote } from './suggestion.js';

async function main() {
  const core = await loadCore();
  const session = new core.Session();
  const messages = messageBox();
  const say = (text) => messages.say(text);
  const panel = new Panel(core, say);
  const state = new PageState(panel);
  const waveform = new Waveform(byId('waveform'), core.sampleRate, core.blockWords);
  const player = new Player(core.sampleRate);
  const listening = new Listening({ core, session, state, player, waveform, panel });
  const view = new FileView({ core, session, state, waveform, player, listening });
  view.region = new Region({ core, session, state, waveform, view, say });

  // A button disabled while the page works loses the focus: it gets it back after.
  let refocus = null;
  const busy = (on) => {
    panel.busy = on;
    document.body.classList.toggle('busy', on);
    const buttons = ['ok', 'save-wave', 'place-loop'].map(byId);
    if (on && buttons.includes(document.activeElement)) refocus = document.activeElement;
    for (const button of buttons) button.disabled = on;
    byId('busy').hidden = !on;
    if (on) return;
    byId('progress').removeAttribute('value');
    if (refocus?.offsetParent && document.activeElement === document.body) refocus.focus();
    refocus = null;
  };
  const queue = new JobQueue(busy);
  // Anything a job did not expect still reaches the user, but an overtaken job is no failure.
  const report = (error) => {
    if (!isAbort(error)) say(`The page could not finish: ${error.message ?? error}`);
  };
  const loader = new Loader(core, session, (file, fraction) => {
    byId('busy-text').textContent = `Loading ${file.name}…`;
    byId('progress').value = fraction;
  });
  const load = (file, signal, whole) => loader.load(file, signal, whole);

  const card = new CardView(core, {
    ask,
    showMessage: say,
    changed: () => {
      byId('target').textContent = card.folder ? `the card ${card.folder.name}` : 'Downloads';
      batchView.renumber();
    },
    openSlot: (file) => open([file], null, true),
    dropOnSlot: (list, number) => open(list, { number }),
    dropOnCard: (list) => backupIn([...list], core).then((backup) => {
      if (backup) queue.run(() => restoreInto(card, backup)).catch(report);
      else open(list, { number: card.firstFree() || core.minFileNumber });
    }).catch(report),
    dropped,
    moveSlot: (from, to) => queue.run(() => card.move(from, to)).catch(report),
  });
  const page = { core, session, player, messages: messages.said, saved: [], queue, card, state, showMessage: say,
    region: view.region };
  window.loopsmithPage = page;
  const converter = new Converter({ core, session, state, card, ask, say, load, saved: page.saved });

  // The batch table: a row's Play shows its file and plays its loop.
  const batchView = new BatchView({
    core,
    state,
    onPlay: (row) => queue.run(async (signal) => {
      if (state.current !== row.file) {
        const loaded = await load(row.file, signal);
        if (!loaded.ok) return;
        view.show(row.file, loaded);
      }
      listening.playLoop();
    }).catch(report),
    onChange: (row) => { if (row.file === state.current) view.showLoop(); },
    // The loop numbers the rows would take, as OK would take them.
    plan: (count) => {
      const first = Number(panel.model?.fileNumberText());
      return (Number.isInteger(first) && converter.plan(first, count).numbers) || [];
    },
  });
  byId('file-number').addEventListener('input', () => batchView.renumber());
  panel.onChange = () => {
    view.showLoop();
    batchView.renumber();
  };
  // A reload or a closed tab would empty a card held only in the page.
  window.addEventListener('beforeunload', (event) => {
    if (!card.unsaved) return;
    event.preventDefault();
    event.returnValue = '';
  });

  // Each file of a batch weighed for its tempo, as Suggest tempo weighs one;
  // then the file shown is loaded again.
  async function suggestAll(signal) {
    const shown = state.current;
    for (const row of state.batch.sounds) {
      byId('busy-text').textContent = `Finding the tempo of ${row.file.name}…`;
      let loaded = await load(row.file, signal);
      if (!loaded.ok) {
        row.failed = failureLine(row.file, loaded);
        continue;
      }
      let found = session.suggestTempo();
      if (found.needsMore) {
        loaded = await load(row.file, signal, true);
        if (loaded.ok) found = session.suggestTempo();
      }
      state.batch.suggested(row, found);
    }
    if (shown) {
      const back = await load(shown, signal);
      if (back.ok) view.show(shown, back);
      else view.clear('');
    }
    batchView.renumber();
  }

  // A drop: the first file of it that loads is shown; those before it are
  // listed with their messages (a single file's goes to the message box).
  function open(list, target = null, play = false) {
    // Listening goes on with the new file's loop, as it does after a change of tempo.
    const keepListening = play || player.playing === 'loop';
    const files = [...list];
    state.dropped(files, target, files.length > 1 ? new Batch(files, (name) => core.isLoopName(name)) : null);
    document.body.classList.add('has-file');
    panel.reset();
    // Into the card: the slot dropped on, or its next free number.
    const first = target ? target.number : card.firstFree();
    if (first && (target || card.writesFolder)) panel.setFileNumber(first);
    byId('results').replaceChildren();
    byId('work').hidden = false;
    batchView.renumber();
    view.clear(`Loading ${files[0].name}…`);
    queue.replace(async (signal) => {
      for (const file of files) {
        const loaded = await load(file, signal);
        if (loaded.ok) {
          view.show(file, loaded);
          if (state.batch) await suggestAll(signal);
          if (keepListening) listening.playLoop();
          return;
        }
        if (files.length === 1) {
          byId('work').hidden = true;
          document.body.classList.remove('has-file');
          say(failureText(file, loaded));
          return;
        }
        state.batch.rowOf(file).failed = failureLine(file, loaded);
        result(failureLine(file, loaded), true);
      }
      batchView.render();
      view.clear('No file of this drop can be converted.');
    }).catch(report);
  }

  panel.onOk = (chosen) => queue.run(async (signal) => {
    player.stop();
    const shown = state.current;
    if (!(await converter.ok(chosen, signal))) return;
    // The session holds the file shown again.
    if (state.files.length > 1 && shown) {
      const back = await load(shown, signal);
      if (!back.ok) view.clear('');
    }
    panel.renew();
  }).catch(report);
  panel.onCancel = () => {
    queue.replace(async () => {}).catch(report);
    state.dropped([], null, null);
    view.clear('');
    batchView.render();
    byId('work').hidden = true;
    document.body.classList.remove('has-file');
    panel.reset();
  };

  // The rest of a long take, for the loop to be placed anywhere in it.
  byId('read-all').addEventListener('click', () => queue.run(async (signal) => {
    const file = state.current;
    const loaded = await load(file, signal, true);
    if (loaded.ok) view.show(file, loaded);
    else say(failureText(file, loaded));
  }).catch(report));
  byId('save-wave').addEventListener('click', () => queue.run(() => converter.saveWave()).catch(report));
  byId('place-loop').addEventListener('click', () => queue.run(() => converter.placeLoop()).catch(report));
  // Suggest tempo: for the file shown; in a batch, into its row.
  byId('suggest').addEventListener('click', () => queue.run(async (signal) => {
    let found = session.suggestTempo();
    const shown = state.current;
    if (found.needsMore && shown) {
      // The tags lie past the start read so far: the whole file, once.
      const loaded = await load(shown, signal, true);
      if (!loaded.ok) return;
      found = session.suggestTempo();
    }
    const note = byId('suggest-note');
    const row = state.batch?.rowOf(shown);
    if (row) {
      state.batch.suggested(row, found);
      batchView.changed(row);
      note.textContent = found.tenths ? `${shown.name}: ${row.note}` : noSuggestion(found);
      return;
    }
    if (found.tenths === 0) {
      note.textContent = noSuggestion(found);
      return;
    }
    panel.setTenths(found.tenths);
    const { text, second } = suggestionNote(found);
    note.textContent = text;
    if (second) {
      // Too close to call: the other octave is one click away.
      const other = document.createElement('button');
      other.type = 'button';
      other.id = 'suggest-second';
      other.textContent = second.label;
      other.addEventListener('click', () => {
        panel.setTenths(second.tenths);
        other.remove();
      });
      note.append(', or ', other);
    }
  }).catch(report));

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

  const openCard = bindCardControls({ card, queue, say, report });
  card.render();

  const drop = byId('drop');
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
  byId('file-input').addEventListener('change', (event) => {
    if (event.target.files.length) open(event.target.files);
    event.target.value = '';
  });
  page.ready = true;
}

main();
