// The C++ core, compiled to WebAssembly: the page's one instance of it. The
// page carries the module deflated (zlib), in base64.
export async function loadCore() {
  const packed = Uint8Array.from(atob(globalThis.loopsmithWasm), (c) => c.charCodeAt(0));
  return globalThis.createLoopsmith({ wasmBinary: globalThis.fflate.unzlibSync(packed) });
}
