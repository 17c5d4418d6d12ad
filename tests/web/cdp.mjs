// A small DevTools-protocol client over a pipe to a headless Chromium of our
// own: browser contexts (each its own window and storage), tabs in them, and
// what the web tests do with a tab.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { chromiumPath } from './support.mjs';

// Calls check() every 100 ms until it gives something truthy, which it
// returns; an error from check only counts as "not yet" until the time is up.
export async function until(check, what, { timeout = 30000 } = {}) {
  const end = Date.now() + timeout;
  for (let failure; ; await sleep(100)) {
    try {
      const value = await check();
      if (value) return value;
    } catch (error) {
      failure = error;
    }
    if (Date.now() > end) throw new Error(`${what}: not within ${timeout} ms${failure ? ` (${failure.message})` : ''}`);
  }
}

// Code for the page: a function called there with arg (as JSON), or an expression.
const pageSource = (code, arg) => (typeof code === 'function' ? `(${code})(${JSON.stringify(arg)})` : code);

function pageOf(connection, targetId, sessionId) {
  const send = (method, params) => connection.send(method, params, sessionId);
  const evaluate = async (code, arg) => {
    const { result, exceptionDetails: e } = await send('Runtime.evaluate',
      { expression: pageSource(code, arg), awaitPromise: true, returnByValue: true });
    if (e) throw new Error(e.exception ? e.exception.description : e.text);
    return result.value;
  };
  return {
    send,
    evaluate,
    // Calls listener(params) on every event of that method from this tab.
    on: (method, listener) => connection.listen(sessionId, method, listener),
    // What code gives in the page once it is truthy (checked every 100 ms).
    waitFor: (code, arg, { what = 'the page condition', timeout } = {}) =>
      until(() => evaluate(code, arg), what, { timeout }),
    // The viewport in CSS pixels, and the device pixels to each.
    setViewport: (width, height, deviceScaleFactor = 1) =>
      send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor, mobile: false }),
    async goto(url) {
      const { errorText } = await send('Page.navigate', { url });
      if (errorText) throw new Error(`${url}: ${errorText}`);
    },
    bringToFront: () => connection.send('Target.activateTarget', { targetId }),
  };
}

function contextOf(connection, browserContextId) {
  return {
    async newPage() {
      const { targetId } = await connection.send('Target.createTarget', { url: 'about:blank', browserContextId });
      const { sessionId } = await connection.send('Target.attachToTarget', { targetId, flatten: true });
      return pageOf(connection, targetId, sessionId);
    },
    close: () => connection.send('Target.disposeBrowserContext', { browserContextId }),
  };
}

// Messages to and from the browser: replies matched to their requests by id,
// events passed to the listeners of their session (none for the browser's own).
function connect(child) {
  const pending = new Map(), listeners = new Map();
  let nextId = 0, buffered = '';
  child.stdio[4].setEncoding('utf8');
  child.stdio[4].on('data', (chunk) => {
    buffered += chunk;
    for (let end; (end = buffered.indexOf('\0')) >= 0; buffered = buffered.slice(end + 1)) {
      const message = JSON.parse(buffered.slice(0, end));
      if (message.method)
        for (const listener of listeners.get(`${message.sessionId}/${message.method}`) || []) listener(message.params);
      const reply = pending.get(message.id);
      if (!reply) continue;
      pending.delete(message.id);
      message.error ? reply.fail(new Error(`${reply.method}: ${message.error.message}`)) : reply.done(message.result);
    }
  });
  const failAll = (why) => {
    for (const reply of pending.values()) reply.fail(new Error(`${reply.method}: ${why}`));
    pending.clear();
  };
  child.once('error', (error) => failAll(`${chromiumPath}: ${error.message}`));
  child.stdio[3].on('error', (error) => failAll(`the browser's pipe: ${error.message}`));
  child.once('exit', (code, signal) => failAll(`the browser exited (${signal || code})`));
  return {
    send: (method, params = {}, sessionId) => new Promise((done, fail) => {
      pending.set(++nextId, { method, done, fail });
      child.stdio[3].write(JSON.stringify({ id: nextId, method, params, ...(sessionId && { sessionId }) }) + '\0');
    }),
    listen(sessionId, method, listener) {
      const key = `${sessionId}/${method}`;
      listeners.set(key, [...(listeners.get(key) || []), listener]);
    },
  };
}

async function removeProfile(profile) {
  // Helper processes may still add files to the profile for a moment after the browser exits.
  for (let attempt = 1; ; ++attempt) {
    try {
      rmSync(profile, { recursive: true, force: true });
      return;
    } catch (error) {
      if (error.code !== 'ENOTEMPTY' || attempt === 50) throw error;
      await sleep(100);
    }
  }
}

export async function launchBrowser() {
  const profile = mkdtempSync(join(tmpdir(), 'quillmoor-cdp-'));
  const args = ['--headless', '--remote-debugging-pipe', `--user-data-dir=${profile}`, '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync', 'about:blank'];
  if (process.getuid && process.getuid() === 0) args.unshift('--no-sandbox');
  const child = spawn(chromiumPath, args, { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
  const connection = connect(child);
  try {
    await connection.send('Browser.getVersion');
  } catch (error) {
    await removeProfile(profile);
    throw error;
  }
  return {
    // A context of its own, in a new window: its first tab is shown.
    async newContext() {
      const { browserContextId } = await connection.send('Target.createBrowserContext');
      return contextOf(connection, browserContextId);
    },
    async close() {
      if (child.exitCode === null && child.signalCode === null) {
        const exited = new Promise((done) => child.once('exit', done));
        child.kill();
        await exited;
      }
      await removeProfile(profile);
    },
  };
}
