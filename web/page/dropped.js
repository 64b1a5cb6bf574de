// A folder in a drop (the card, dragged from the file manager), taken while
// the drop lasts, as the browser allows its items to be read only then.

// A promise of the folder's handle where the browser gives one, and its
// entry. Null where the drop is not one folder's item.
export function droppedFolder(dataTransfer) {
  const items = [...(dataTransfer.items ?? [])].filter((item) => item.kind === 'file');
  if (items.length !== 1) return null;
  const handle = typeof items[0].getAsFileSystemHandle === 'function'
    ? items[0].getAsFileSystemHandle().catch(() => null) : Promise.resolve(null);
  return { handle, entry: items[0].webkitGetAsEntry?.() ?? null };
}

// The files directly in a dropped folder's entry.
export async function entryFiles(entry) {
  const reader = entry.createReader();
  const entries = [];
  for (;;) {
    const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!batch.length) break;
    entries.push(...batch);
  }
  return Promise.all(entries.filter((e) => e.isFile)
    .map((e) => new Promise((resolve, reject) => e.file(resolve, reject))));
}
