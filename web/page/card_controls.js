// The card's buttons: open a folder to write (where the browser lets a page
// write one), the one remembered from the last visit, or one to view; name,
// remove, undo, download. Returns openCard(how), which runs an opening as a
// job and says why it failed.
import { byId } from './dom.js';
import { rememberedFolder } from './folder.js';
import { RENAMED, canWriteFolders } from './save.js';
import { result } from './convert.js';

export function bindCardControls({ card, queue, say, report }) {
  const openCard = (how) => queue.run(async () => {
    try {
      await how();
    } catch (error) {
      if (error.name !== 'AbortError') say(`The card could not be opened.\n${error.message ?? error}`);
    }
  }).catch(report);
  if (canWriteFolders()) {
    byId('open-card').hidden = false;
    byId('open-card').addEventListener('click', () => openCard(() => card.choose()));
    rememberedFolder().then((handle) => {
      if (!handle) return;
      byId('reopen-card').textContent = `Open ${handle.name} again`;
      byId('reopen-card').hidden = false;
      byId('reopen-card').addEventListener('click', () => openCard(() => card.reopen(handle)));
    });
  }
  byId('card-input').addEventListener('change', (event) => {
    const list = [...event.target.files];
    event.target.value = '';
    openCard(() => card.view(list));
  });
  const job = (step) => () => queue.run(step).catch(report);
  byId('undo-card').addEventListener('click', job(() => card.undo()));
  byId('label-slot').addEventListener('click', job(() => card.labelSelected()));
  byId('remove-slot').addEventListener('click', job(() => card.removeSelected()));
  byId('download-card').addEventListener('click', () => {
    const name = card.downloadZip();
    if (name) result(`${name}: downloaded (${RENAMED})`);
  });
  return openCard;
}
