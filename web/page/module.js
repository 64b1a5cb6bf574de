// The C++ core, compiled to WebAssembly: the page's one instance of it.
export async function loadCore() {
  return globalThis.createLoopsmith();
}
