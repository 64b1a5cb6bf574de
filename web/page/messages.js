// The page's two dialogs: messages, queued so none is lost, and questions.
import { byId } from './dom.js';
import { MessageQueue } from './message_queue.js';

// The message box; returns the queue, whose say(text) shows a message.
export function messageBox() {
  const dialog = byId('message');
  const queue = new MessageQueue((text) => {
    byId('message-text').textContent = text;
    dialog.showModal();
  });
  dialog.addEventListener('close', () => queue.closed());
  return queue;
}

// A question with two answers; true for the first.
// Every question here would destroy a loop: its button names the act, and
// Cancel has the focus, so Enter never removes or replaces by accident.
export const ask = (text, yes = 'Replace') => new Promise((resolve) => {
  const question = byId('question');
  const before = document.activeElement;
  byId('question-text').textContent = text;
  byId('question-yes').textContent = yes;
  question.returnValue = '';
  // The busy line would be stale while the question waits (no work goes on).
  const busyLine = byId('busy').hidden;
  byId('busy').hidden = true;
  question.addEventListener('close', () => {
    byId('busy').hidden = busyLine;
    if (before && before.isConnected && before !== document.body) before.focus();
    resolve(question.returnValue === 'yes');
  }, { once: true });
  question.showModal();
  byId('question-no').focus();
});
