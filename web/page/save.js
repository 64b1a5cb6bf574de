// Saving the outputs of one OK as one download: the file itself, or one zip
// of them all. (Loop files for a card's folder go through the card's steps.)
import { zipFiles } from './zip.js';

// A browser saves a second download of one name under another ("L01 (1).T58"),
// which the sampler would not read.
export const RENAMED = 'if Downloads already holds a file of that name, the browser names this one differently';

// Whether this browser lets a page write a folder (the File System Access API).
export const canWriteFolders = () => typeof window.showDirectoryPicker === 'function';

// The outputs as one download; each output's outcome: { name, ok, where }.
export function downloadAll(outputs, zipName = 'loopsmith.zip') {
  if (outputs.length === 1) {
    download(outputs[0].name, outputs[0].bytes);
    return [{ name: outputs[0].name, ok: true, where: `downloaded (${RENAMED})` }];
  }
  if (!outputs.length) return [];
  download(zipName, zipFiles(outputs));
  return [...outputs.map(({ name }) => ({ name, ok: true, where: `in ${zipName}, downloaded` })),
    { name: zipName, ok: true, where: `downloaded (${RENAMED})` }];
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
