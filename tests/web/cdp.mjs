// A bare DevTools-protocol client over a pipe to a Chromium of our own.
// Playwright keeps every page it drives focused and so always visible; a page
// that is really hidden (a tab behind another) needs a browser it does not touch.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromiumPath } from './support.mjs';

export async function launchBare() {
  const profile = mkdtempSync(join(tmpdir(), 'quillmoor-cdp-'));
  const args = ['--headless', '--remote-debugging-pipe', `--user-data-dir=${profile}`, '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync', 'about:blank'];
  if (process.getuid && process.getuid() === 0) args.unshift('--no-sandbox');
  const child = spawn(chromiumPath, args, { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
  const pending = new Map(), listeners = new Map();
  let nextId = 0, buffered = '';
  child.stdio[4].on('data', (chunk) => {
    buffered += chunk.toString();
    for (let end; (end = buffered.indexOf('\0')) >= 0; buffered = buffered.slice(end + 1)) {
      const message = JSON.parse(buffered.slice(0, end));
      if (message.method) for (const listener of listeners.get(message.method) || []) listener(message.params);
      const reply = pending.get(message.id);
      if (!reply) continue;
      pending.delete(message.id);
      message.error ? reply.fail(new Error(message.error.message)) : reply.done(message.result);
    }
  });
  const send = (method, params = {}, sessionId) => new Promise((done, fail) => {
    pending.set(++nextId, { done, fail });
    child.stdio[3].write(JSON.stringify({ id: nextId, method, params, ...(sessionId && { sessionId }) }) + '\0');
  });
  await send('Browser.getVersion');
  return {
    send,
    // Calls listener(params) on every event of that method, from any tab.
    on(method, listener) {
      listeners.set(method, [...(listeners.get(method) || []), listener]);
    },
    // A new tab in the browser's window, to be talked to through its session.
    async openTab(url) {
      const { targetId } = await send('Target.createTarget', { url });
      const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
      return { targetId, sessionId };
    },
    async evaluate(tab, expression) {
      const { result } = await send('Runtime.evaluate', { expression, returnByValue: true }, tab.sessionId);
      return result.value;
    },
    async close() {
      const exited = new Promise((done) => child.once('exit', done));
      child.kill();
      await exited;
      // Helper processes may still add files to the profile for a moment after the browser exits.
      for (let attempt = 1; ; ++attempt) {
        try {
          rmSync(profile, { recursive: true, force: true });
          return;
        } catch (error) {
          if (error.code !== 'ENOTEMPTY' || attempt === 50) throw error;
          await new Promise((done) => setTimeout(done, 100));
        }
      }
    },
  };
}
