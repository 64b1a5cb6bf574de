// Saving: a download, or, where the browser lets a page write into a folder
// (the File System Access API), straight into a chosen folder such as the
// sampler's card. A file written there replaces one of its name only when it
// is complete: the browser writes a temporary file and swaps it in on close.
export class Saver {
  constructor() {
    this.folder = null;
  }

  canChooseFolder() {
    return typeof window.showDirectoryPicker === 'function';
  }

  async chooseFolder() {
    this.folder = await window.showDirectoryPicker({ mode: 'readwrite' });
    return this.folder.name;
  }

  // Returns where the file went, in words.
  async save(name, bytes) {
    if (this.folder) {
      const file = await this.folder.getFileHandle(name, { create: true });
      const writable = await file.createWritable();
      await writable.write(bytes);
      await writable.close();
      return `${this.folder.name}/${name}`;
    }
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
    return `downloaded ${name}`;
  }
}
