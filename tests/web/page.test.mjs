// The page in a real browser: Chromium, headless, on the file:// page with
// exact viewports. Held frames are compared pixel for pixel with the native
// renderer's screen for the same seed, size and number of frames.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';
import { launchBrowser, until } from './cdp.mjs';
import { nativeScreen, pageUrl } from './support.mjs';

let browser;

// The text of a console message, as the console would show it.
const consoleText = (args) => args.map((a) => ('value' in a ? String(a.value) : a.description)).join(' ');

// Gathers what the page says on its console (and the browser's own log) as
// errors and warnings; uncaught exceptions and requests for anything but
// files as errors. A data: URL is the page's own (its embedded WebAssembly).
// What the browser logs about code the tests run in the page (code without
// a URL, such as reading the canvas back) is not the page's.
async function listen(page) {
  const messages = { errors: [], warnings: [] };
  const note = (level, text) => {
    if (level === 'error') messages.errors.push(text);
    if (level === 'warning') messages.warnings.push(text);
  };
  page.on('Runtime.consoleAPICalled', ({ type, args }) => note(type, consoleText(args)));
  page.on('Log.entryAdded', ({ entry }) => {
    const caller = entry.stackTrace && entry.stackTrace.callFrames[0];
    if (!caller || caller.url) note(entry.level, entry.text);
  });
  page.on('Runtime.exceptionThrown', ({ exceptionDetails: e }) =>
    messages.errors.push(e.exception ? e.exception.description : e.text));
  page.on('Network.requestWillBeSent', ({ request }) => {
    if (!/^(file|data):/.test(request.url)) messages.errors.push(`request ${request.url}`);
  });
  await Promise.all(['Runtime.enable', 'Log.enable', 'Network.enable'].map((method) => page.send(method)));
  return messages;
}

// Runs body(page, messages) on a page at an exact viewport, in a browser
// context of its own, its console gathered.
async function withPage(query, { width, height, scale = 1 }, body) {
  const context = await browser.newContext();
  try {
    const page = await context.newPage();
    const messages = await listen(page);
    await page.setViewport(width, height, scale);
    await page.goto(pageUrl(query));
    await body(page, messages);
  } finally {
    await context.close();
  }
}

const status = (page) => page.evaluate(() => window.quillmoor && { ...window.quillmoor });

function heldStatus(page, width, height) {
  return page.waitFor(([w, h]) => window.quillmoor && window.quillmoor.held && window.quillmoor.width === w
    && window.quillmoor.height === h && { ...window.quillmoor }, [width, height], { timeout: 60000 });
}

async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const canvas = document.getElementById('saver');
    const bytes = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

function assertSamePixels(actual, expected, what) {
  assert.equal(actual.length, expected.rgba.length, `${what}: size`);
  let differing = 0, first = -1;
  for (let p = 0; p < actual.length; p += 4)
    if (actual.readUInt32LE(p) !== expected.rgba.readUInt32LE(p) && differing++ === 0) first = p / 4;
  assert.equal(differing, 0, `${what}: ${differing} pixels differ, the first at (${first % expected.width}, ${Math.floor(first / expected.width)})`);
}

// One browser for all the cases. Its hooks belong to a suite because Node 18
// may run top-level hooks late or not at all, and a browser still running
// would keep the test process from ending.
describe('the page in headless Chromium', () => {
  before(async () => { browser = await launchBrowser(); });
  after(async () => browser && browser.close());

  describe('held frames equal the native renderer', () => {
    const cases = [
      { scene: 'forest', width: 640, height: 360, scale: 1, seed: 5, frames: 40 },
      { scene: 'forest', width: 640, height: 480, scale: 2, seed: '0xfeedface', frames: 25 },
      { scene: 'skyline', width: 500, height: 300, scale: 2, seed: 12345, frames: 30 },
      { scene: 'forest', width: 480, height: 300, scale: 1, seed: 4, frames: 90, query: '&pan=1&animal=fox',
        env: { MOTHWAKES_PAN_FRAMES: '1', MOTHWAKES_ANIMAL: 'fox' } },
      // A grown start is the renderer's run from the scene's grown frame; from=N wins over grown.
      { scene: 'forest', width: 960, height: 540, scale: 2, seed: 17, frames: 6, query: '&grown', from: 3600 },
      { scene: 'skyline', width: 800, height: 450, scale: 1, seed: 23, frames: 9, query: '&grown', from: 1800 },
      { scene: 'skyline', width: 400, height: 300, scale: 1, seed: 29, frames: 2, query: '&grown&from=700', from: 700 },
    ];
    for (const c of cases) {
      test(`${c.scene} ${c.width}x${c.height} at device pixel ratio ${c.scale}${c.query || ''}`, () =>
        withPage(`?scene=${c.scene}&seed=${c.seed}&frames=${c.frames}${c.query || ''}`, c, async (page, messages) => {
          const device = { width: c.width * c.scale, height: c.height * c.scale };
          const shown = await heldStatus(page, device.width, device.height);
          assert.equal(shown.frames, c.frames + 1);
          assertSamePixels(await canvasPixels(page), nativeScreen({ ...c, ...device }), 'canvas');
          assert.deepEqual(messages.errors, []);
        }));
    }
  });

  test('frames advance at 30 per second without console errors', () =>
    withPage('', { width: 320, height: 200 }, async (page, messages) => {
      await page.waitFor(() => window.quillmoor && window.quillmoor.frames > 0);
      const first = await status(page);
      await sleep(2000);
      const second = await status(page);
      const drawn = second.frames - first.frames;
      assert.ok(drawn >= 10, `only ${drawn} frames in 2 s`);
      assert.ok(drawn <= 63, `${drawn} frames in 2 s: not paced at 30 per second`);
      assert.equal(second.held, false);
      assert.deepEqual(messages, { errors: [], warnings: [] });
    }));

  test('a resize rebuilds the scene for the new size', () =>
    withPage('?seed=99&frames=12', { width: 400, height: 300 }, async (page, messages) => {
      const before = await heldStatus(page, 400, 300);
      await page.setViewport(1000, 900);
      const after = await heldStatus(page, 1000, 900);
      assert.deepEqual([before.canvasWidth, before.canvasHeight, before.scale], [400, 300, 1]);
      assert.deepEqual([after.canvasWidth, after.canvasHeight, after.scale], [500, 450, 2]);
      assertSamePixels(await canvasPixels(page), nativeScreen({ width: 1000, height: 900, seed: 99, frames: 12 }), 'resized');
      assert.deepEqual(messages.errors, []);
    }));

  test('bad settings are ignored with a warning each and defaults used', () =>
    withPage('?scene=moon&seed=x1&pan=fast&animal=cat&fps=yes&frames=-3&colour=red&grown=2&from=x', { width: 320, height: 200 },
      async (page, messages) => {
        await page.waitFor(() => window.quillmoor && window.quillmoor.frames > 3);
        assert.equal(messages.warnings.length, 9, messages.warnings.join('\n'));
        for (const name of ['scene=moon', 'seed=x1', 'pan=fast', 'animal=cat', 'fps=yes', 'frames=-3', 'colour', 'grown=2', 'from=x'])
          assert.ok(messages.warnings.some((w) => w.includes(name)), `no warning for ${name}`);
        assert.equal((await status(page)).held, false);
        assert.deepEqual(messages.errors, []);
      }));

  test('fps puts the frame rate in the lower left corner', () =>
    withPage('?fps&seed=3', { width: 320, height: 200 }, async (page) => {
      await page.waitFor(() => window.quillmoor && window.quillmoor.frames > 2);
      const pixels = await canvasPixels(page);
      let white = 0;
      for (let y = 200 - 22; y < 200; ++y) for (let x = 0; x < 60; ++x) white += pixels.readUInt32LE((y * 320 + x) * 4) === 0xffffffff;
      assert.ok(white >= 16, `only ${white} white pixels where the overlay goes`);
    }));

  test('a hidden page draws nothing until it is shown again', async () => {
    const context = await browser.newContext();
    try {
      const saver = await context.newPage();
      await saver.setViewport(320, 200);
      await saver.goto(pageUrl('?seed=8'));
      const frames = () => saver.evaluate(() => (window.quillmoor ? window.quillmoor.frames : 0));
      const moreThan = (than, what) =>
        saver.waitFor((n) => window.quillmoor && window.quillmoor.frames > n, than, { what, timeout: 10000 });
      await moreThan(2, 'frames at first');
      await context.newPage();
      assert.equal(await saver.evaluate('document.visibilityState'), 'hidden');
      const hidden = await frames();
      await sleep(1000);
      assert.ok((await frames()) <= hidden + 1, 'frames were drawn while hidden');
      await saver.bringToFront();
      await moreThan(hidden + 1, 'frames after the page was shown again');
    } finally {
      await context.close();
    }
  });

  test('a viewport too big for the memory is drawn with fewer pixels, and in full once it is normal again', () =>
    withPage('?seed=6&pan=1', { width: 8000, height: 8000, scale: 3 }, async (page, messages) => {
      const shown = (what, condition) => until(async () => {
        const now = await status(page);
        return now && condition(now) && now;
      }, what).catch((error) =>
        assert.fail(`${error.message}; the console had: ${[...messages.warnings, ...messages.errors].join('\n')}`));
      const canvasHash = () => page.evaluate(() => {
        const canvas = document.getElementById('saver');
        let hash = 0;
        for (const byte of canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data) hash = Math.imul(hash ^ byte, 16777619);
        return hash;
      });

      const huge = await shown('picture at the huge size', (s) => s.frames > 0);
      assert.ok(huge.shrink > 1, `drawn at shrink ${huge.shrink}`);
      assert.deepEqual([huge.width, huge.height], [24000 / huge.shrink, 24000 / huge.shrink]);
      assert.deepEqual(messages.warnings, [`quillmoor-mothwake: not enough memory for 24000x24000 pixels; drawing `
        + `${huge.width}x${huge.height}, each over ${huge.shrink}x${huge.shrink} device pixels`]);

      await page.setViewport(320, 200);
      const normal = await shown('picture at the normal size', (s) => s.width === 320 && s.height === 200);
      assert.equal(normal.shrink, 1);
      const first = await canvasHash();
      await shown('frames at the normal size', (s) => s.frames > normal.frames + 3);
      assert.notEqual(await canvasHash(), first, 'the canvas did not change');
      assert.equal(messages.warnings.length, 1, messages.warnings.join('\n'));
      assert.deepEqual(messages.errors, []);
    }));
});
