// Saving the outputs of one OK: into the card's folder where the page may
// write one (the File System Access API), each reported once its write has
// closed; otherwise one download, the file itself or one zip of them all.
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

  // Each output's outcome, in order: { name, ok, where } or { name, ok: false, error }.
  async saveAll(outputs, zipName) {
    if (this.folder) {
      const outcomes = [];
      for (const { name, bytes } of outputs) {
        try {
          await this.folder.write(name, bytes);
          outcomes.push({ name, ok: true, where: `saved in ${this.folder.name}` });
        } catch (error) {
          outcomes.push({ name, ok: false, error: error.message ?? String(error) });
        }
      }
      return outcomes;
    }
    if (outputs.length === 0) return [];
    if (outputs.length === 1) {
      download(outputs[0].name, outputs[0].bytes);
      return [{ name: outputs[0].name, ok: true, where: `downloaded (${RENAMED})` }];
    }
    download(zipName, zipFiles(outputs));
    return outputs.map(({ name }) => ({ name, ok: true, where: `in ${zipName}, downloaded` }))
      .concat([{ name: zipName, ok: true, where: `downloaded (${RENAMED})` }]);
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
