// One job at a time, as the page's work runs through the module's one
// session: each job starts when the one before has settled, a new input
// aborts the jobs in flight (their signal), and the page is busy while any
// job runs or waits.
export class JobQueue {
  constructor(onBusy) {
    this.onBusy = onBusy;
    this.tail = Promise.resolve();
    this.controller = new AbortController();
    this.pending = 0;
  }

  // Aborts every job in flight or waiting, then runs `job`.
  replace(job) {
    this.controller.abort();
    this.controller = new AbortController();
    return this.run(job);
  }

  // Runs `job(signal)` after the jobs before it; resolves with its result, or
  // rejects with its failure (an AbortError for a job overtaken by replace).
  run(job) {
    const { signal } = this.controller;
    this.pending += 1;
    if (this.pending === 1) this.onBusy(true);
    const result = this.tail.catch(() => {}).then(() => {
      signal.throwIfAborted();
      return job(signal);
    });
    this.tail = result.catch(() => {}).finally(() => {
      this.pending -= 1;
      if (this.pending === 0) this.onBusy(false);
    });
    return result;
  }
}

export const isAbort = (error) => error?.name === 'AbortError';
