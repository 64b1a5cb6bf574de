// Saving the outputs of one OK: loop files into the card's folder where the
// page may write one (the File System Access API), each reported once its
// write has closed; the rest as one download, the file itself or one zip.
import { zipFiles } from './zip.js';

// A browser saves a second download of one name under another ("L01 (1).T58"),
// which the sampler would not read.
export const RENAMED = 'if Downloads already holds a file of that name, the browser names this one differently';

export class Saver {
  constructor() {
    this.folder = null;  // a FolderFiles
  }

  canChooseFolder() {
    return typeof window.showDirectoryPicker === 'function';
  }

  // Each output's outcome: { name, ok, where } or { name, ok: false, error }.
  // Only loop files with a number go into the card's folder; a WAV file (Save
  // WAV, or a loop file turned back) is of no use to the sampler there, and
  // goes to the downloads.
  async saveAll(outputs, zipName) {
    const toCard = this.folder ? outputs.filter((o) => o.number) : [];
    const outcomes = [];
    for (const { name, bytes } of toCard) {
      try {
        await this.folder.write(name, bytes);
        outcomes.push({ name, ok: true, where: `saved in ${this.folder.name}` });
      } catch (error) {
        outcomes.push({ name, ok: false, error: error.message ?? String(error) });
      }
    }
    const rest = outputs.filter((o) => !toCard.includes(o));
    if (rest.length === 1) {
      download(rest[0].name, rest[0].bytes);
      outcomes.push({ name: rest[0].name, ok: true, where: `downloaded (${RENAMED})` });
    } else if (rest.length > 1) {
      download(zipName, zipFiles(rest));
      outcomes.push(...rest.map(({ name }) => ({ name, ok: true, where: `in ${zipName}, downloaded` })),
        { name: zipName, ok: true, where: `downloaded (${RENAMED})` });
    }
    return outcomes;
  }
}

export function download(name, bytes) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}
