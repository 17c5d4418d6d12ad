// The Node build of the headless renderer against the native one: the same
// arguments must give the same trace, frame by frame, and the same errors.
import assert from 'node:assert/strict';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { describe, test } from 'node:test';
import { firstDifference, nativeRenderer, nodeRenderer, run, traces } from './support.mjs';

// Every frame pans, so the scrolling code runs on every step.
const panEveryFrame = { MOTHWAKES_PAN_FRAMES: '1' };

async function assertSameTrace(args, env = panEveryFrame) {
  const { native, web } = await traces(['--trace', ...args], env);
  assert.equal(native.status, 0, native.stderr);
  assert.equal(web.status, 0, web.stderr);
  assert.ok(native.stdout.length > 0);
  assert.equal(firstDifference(native.stdout, web.stdout), null);
  assert.equal(web.stderr, native.stderr);
  return web.stdout;
}

describe('traces equal the native renderer frame by frame', () => {
  const runs = [
    ['forest', '320x180', '1', 400], ['forest', '1280x720', '0xdeadbeef', 150], ['forest', '777x555', '42', 200],
    ['forest', '2560x1440', '7', 60], ['forest', '320x180', '11', 20000],
    ['skyline', '320x180', '1', 400], ['skyline', '1280x720', '0xdeadbeef', 150], ['skyline', '777x555', '42', 200],
    ['skyline', '320x180', '11', 20000],
  ];
  for (const [scene, size, seed, frames] of runs)
    test(`${scene} ${size} seed ${seed} over ${frames} frames`, () =>
      assertSameTrace(['--scene', scene, '--screen', size, '--seed', seed, '--frames', String(frames)]));

  test('a bare canvas', () => assertSameTrace(['--canvas', '300x170', '--seed', '5', '--frames', '300']));
});

test('the environment reaches the scenes', async () => {
  const args = ['--screen', '640x360', '--seed', '3', '--frames', '120'];
  const plain = await assertSameTrace(args);
  const withMoose = await assertSameTrace(args, { ...panEveryFrame, MOTHWAKES_ANIMAL: 'moose' });
  assert.notEqual(withMoose, plain);
});

test('without --seed a fresh seed is drawn and reported', async () => {
  const first = await run(process.execPath, [nodeRenderer, '--screen', '64x36', '--trace']);
  const second = await run(process.execPath, [nodeRenderer, '--screen', '64x36', '--trace']);
  assert.match(first.stderr, /^seed: 0x[0-9a-f]{16}\n$/);
  assert.notEqual(first.stderr, second.stderr);
});

test('PNG output is refused up front, with one line and no file', async () => {
  const dir = mkdtempSync(join(tmpdir(), 'quillmoor-web-'));
  try {
    const out = join(dir, 'shot.png');
    const result = await run(process.execPath, [nodeRenderer, '--seed', '1', '--out', out]);
    assert.equal(result.status, 2);
    assert.equal(result.stderr, 'quillmoor-render: PNG output is not available in this build\n');
    assert.equal(result.stdout, '');
    assert.equal(existsSync(out), false);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('bad arguments get the native renderer\'s message and status', async () => {
  const { native, web } = await traces(['--screen', '0x10']);
  assert.equal(web.status, native.status);
  assert.equal(web.stderr, native.stderr);
});

// The WebAssembly heap ends at 2 GiB; the native renderer is held to about
// 1 GB of address space. A forest canvas this size needs far more than both.
test('running out of memory gets the native renderer\'s one line and status', async () => {
  const args = ['--canvas', '8192x16384', '--seed', '1', '--trace'];
  const [native, web] = await Promise.all([
    run('sh', ['-c', 'ulimit -v 1000000 && exec "$0" "$@"', nativeRenderer, ...args]),
    run(process.execPath, [nodeRenderer, ...args]),
  ]);
  assert.equal(native.status, 1);
  assert.match(native.stderr, /^quillmoor-render: not enough memory for [^\n]*\n$/);
  assert.deepEqual(web, native);
});
