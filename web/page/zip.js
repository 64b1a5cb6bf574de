// One zip for several files, so that one OK is one download: a browser keeps
// only the first ten automatic downloads of a page and renames a second file
// of one name. The zip writer is fflate's, bundled into the page.
export const zipFiles = (files) => globalThis.fflate.zipSync(
  Object.fromEntries(files.map((file) => [file.name, [file.bytes, { level: 0 }]])));
