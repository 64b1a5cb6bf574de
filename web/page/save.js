// Saving the outputs of one OK as one download: the file itself, or one zip
// of them all. (Loop files for a card's folder go through the card's steps.)
import { zipFiles } from './zip.js';

// A browser saves a second download of one name under another ("L01 (1).T58"),
// which the sampler would not read.
export const RENAMED = 'if Downloads already holds a file of that name, the browser names this one differently';

export class Saver {
  canChooseFolder() {
    return typeof window.showDirectoryPicker === 'function';
  }

  // Each output's outcome: { name, ok, where }.
  async saveAll(rest, zipName) {
    const outcomes = [];
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
