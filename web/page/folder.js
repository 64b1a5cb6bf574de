// A folder the user chose, through the File System Access API: its files,
// and the three changes a card takes (write, move, remove), each finished
// before the next starts. A write goes to a temporary file that the browser
// puts in place on close, so a file is never seen half written.
export class FolderFiles {
  constructor(handle) {
    this.handle = handle;
    this.name = handle.name;
  }

  // The files directly in the folder, as File objects.
  async list() {
    const files = [];
    for await (const entry of this.handle.values()) {
      if (entry.kind !== 'file') continue;
      try {
        files.push(await entry.getFile());
      } catch (error) {
        // Gone since it was listed (another program's write that finished): not there.
        if (error.name !== 'NotFoundError') throw error;
      }
    }
    return files;
  }

  async exists(name) {
    try {
      await this.handle.getFileHandle(name);
      return true;
    } catch (error) {
      if (error.name === 'NotFoundError') return false;
      throw error;
    }
  }

  // A name that was free stays free when the write fails: the browser makes
  // the empty file at once, and an empty Lnn.T58 would show as a broken loop.
  async write(name, bytes) {
    const existed = await this.exists(name);
    let writable = null;
    try {
      const file = await this.handle.getFileHandle(name, { create: true });
      writable = await file.createWritable();
      await writable.write(bytes);
      await writable.close();
    } catch (error) {
      if (writable) await writable.abort().catch(() => {});
      if (!existed) await this.handle.removeEntry(name).catch(() => {});
      throw error;
    }
  }

  // Never over another file. The browser's move would replace one, so the
  // name is looked at first; where the browser cannot move, a copy is
  // complete before the old name goes, so the loop is always under one of them.
  async move(name, to) {
    if (await this.exists(to)) throw new Error(`${to} is taken`);
    const file = await this.handle.getFileHandle(name);
    if (typeof file.move === 'function') {
      await file.move(to);
      return;
    }
    await this.write(to, new Uint8Array(await (await file.getFile()).arrayBuffer()));
    await this.handle.removeEntry(name);
  }

  async remove(name) {
    await this.handle.removeEntry(name);
  }

  // The card model's steps, in order; the first that fails stops the rest
  // and is thrown with the file it was about (`step`) and why (`reason`).
  async run(steps) {
    for (const step of steps) {
      try {
        if (step.kind === 'write') await this.write(step.name, step.bytes);
        else if (step.kind === 'move') await this.move(step.name, step.to);
        else await this.remove(step.name);
      } catch (error) {
        const reason = error.message ?? String(error);
        throw Object.assign(new Error(`${step.name}: ${reason}`), { step: step.name, reason });
      }
    }
  }

  async allowed() {
    const options = { mode: 'readwrite' };
    if (typeof this.handle.queryPermission !== 'function') return true;
    if (await this.handle.queryPermission(options) === 'granted') return true;
    return await this.handle.requestPermission(options) === 'granted';
  }
}

// The folder opened last, kept for the next visit: the browser keeps a
// folder's handle in IndexedDB and asks the user again before it is used.
const DB = 'loopsmith';
const STORE = 'folders';
const request = (r) => new Promise((resolve, reject) => {
  r.onsuccess = () => resolve(r.result);
  r.onerror = () => reject(r.error);
});
// One request in a connection of its own, closed once its transaction is
// done: an open connection would hold up another tab's upgrade or deletion.
async function inStore(mode, ask) {
  const open = indexedDB.open(DB, 1);
  open.onupgradeneeded = () => open.result.createObjectStore(STORE);
  const db = await request(open);
  try {
    const transaction = db.transaction(STORE, mode);
    const done = new Promise((resolve, reject) => {
      transaction.oncomplete = resolve;
      transaction.onabort = () => reject(transaction.error);
    });
    const result = await request(ask(transaction.objectStore(STORE)));
    await done;
    return result;
  } finally {
    db.close();
  }
}
export const rememberFolder = (handle) => inStore('readwrite', (store) => store.put(handle, 'card'));
export const rememberedFolder = async () => {
  try {
    return (await inStore('readonly', (store) => store.get('card'))) ?? null;
  } catch (error) {
    return null;  // no IndexedDB (a private window): nothing remembered
  }
};
