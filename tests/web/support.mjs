// Shared by the web tests: where the builds are, running the two renderers
// and reading the native renderer's screens.
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
export const nativeRenderer = process.env.QUILLMOOR_BUILD_DIR
  ? join(process.env.QUILLMOOR_BUILD_DIR, 'quillmoor-render')
  : join(root, 'build', 'quillmoor-render');
const webDir = process.env.QUILLMOOR_WEB_BUILD_DIR || join(root, 'build-web');
export const nodeRenderer = join(webDir, 'quillmoor-render.js');
export const pagePath = join(webDir, 'quillmoor-mothwake.html');
export const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';

export function pageUrl(query = '') {
  return pathToFileURL(pagePath).href + query;
}

// Runs a program to its end: { status, stdout, stderr }.
export function run(command, args, env = {}) {
  return new Promise((done, fail) => {
    const child = spawn(command, args, { env: { ...process.env, ...env } });
    const out = [], err = [];
    child.stdout.on('data', (d) => out.push(d));
    child.stderr.on('data', (d) => err.push(d));
    child.on('error', fail);
    child.on('close', (status) => done({ status, stdout: Buffer.concat(out).toString(), stderr: Buffer.concat(err).toString() }));
  });
}

// The same trace from both renderers, run side by side.
export async function traces(args, env = {}) {
  const [native, web] = await Promise.all([run(nativeRenderer, args, env), run(process.execPath, [nodeRenderer, ...args], env)]);
  return { native, web };
}

// The first line where two traces part, or null when they are the same.
export function firstDifference(a, b) {
  const left = a.split('\n'), right = b.split('\n');
  for (let i = 0; i < Math.max(left.length, right.length); ++i)
    if (left[i] !== right[i]) return `line ${i + 1}: native "${left[i]}" vs web "${right[i]}"`;
  return null;
}

// The screen the native renderer shows after so many frames, as RGBA bytes
// (the PNG read through ImageMagick).
export function nativeScreen({ width, height, seed, frames, scene = 'forest', from = 0, env = {} }) {
  const dir = mkdtempSync(join(tmpdir(), 'quillmoor-web-'));
  try {
    const out = join(dir, 'screen.png');
    execFileSync(nativeRenderer, ['--scene', scene, '--screen', `${width}x${height}`, '--seed', String(seed),
      '--frames', String(frames), '--from', String(from), '--out', out], { env: { ...process.env, ...env } });
    return { width, height, rgba: execFileSync('convert', [out, '-depth', '8', 'rgba:-'], { maxBuffer: 1 << 28 }) };
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}
