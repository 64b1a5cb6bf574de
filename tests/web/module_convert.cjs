// Converts every .wav and .t58 file of a folder with the WebAssembly module,
// as the page does: a WAV file at 128.5 BPM, two measures, number 7; a loop
// file to its WAV file. Writes each output into OUT and one line per input to
// OUT/messages.tsv: the name, then the message or "-".
//   node tests/web/module_convert.cjs MODULE.js IN OUT
const fs = require('fs');
const path = require('path');
const [moduleJs, inDir, outDir] = process.argv.slice(2);
// The .wasm file beside it handed over as the page hands its own.
const wasmBinary = fs.readFileSync(path.resolve(moduleJs).replace(/\.js$/, '.wasm'));
require(path.resolve(moduleJs))({ wasmBinary }).then((core) => {
  fs.mkdirSync(outDir, { recursive: true });
  const lines = [];
  for (const name of fs.readdirSync(inDir).sort()) {
    const lower = name.toLowerCase();
    if (!lower.endsWith('.wav') && !lower.endsWith('.t58')) continue;
    const session = new core.Session();
    const bytes = fs.readFileSync(path.join(inDir, name));
    session.reserveInput(bytes.length);
    session.inputView().set(bytes);
    let result = session.open(name, bytes.length);
    if (result.ok) {
      result = lower.endsWith('.wav') ? session.buildLoop(1285, 2, 7, false) : session.saveWave();
    }
    if (result.ok) fs.writeFileSync(path.join(outDir, `${name}.${result.name}`), result.bytes);
    lines.push(`${name}\t${result.ok ? '-' : result.message}`);
    session.delete();
  }
  fs.writeFileSync(path.join(outDir, 'messages.tsv'), `${lines.join('\n')}\n`);
  // Sizes the heap cannot hold are refused with our own words, never a crash
  // or a buffer of a size wrapped to 32 bits.
  const MiB = 1024 * 1024;
  const session = new core.Session();
  for (const [size, ok] of [[4097 * MiB, false], [1536 * MiB, false], [2 ** 53, false],
    [-1, false], [MiB, true]]) {
    const room = session.reserveInput(size);
    const held = room.ok ? session.inputView().length : 0;
    if (room.ok !== ok || (ok && held !== size) ||
        (!ok && !(room.message === 'Memory error' && room.detail.includes('MiB')))) {
      console.log(`module: room for ${size} bytes: ${JSON.stringify(room)}, ${held} held`);
      process.exitCode = 1;
    }
  }
  session.delete();
  console.log(`module: ${lines.length} files converted or refused`);
});
