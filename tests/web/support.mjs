// Shared by the web tests: where the builds are, running the two renderers,
// reading the native renderer's PNGs, and a browser with an exact viewport.
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { inflateSync } from 'node:zlib';

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

// The screen the native renderer shows after so many frames, as RGBA bytes.
export function nativeScreen({ width, height, seed, frames, scene = 'forest', env = {} }) {
  const dir = mkdtempSync(join(tmpdir(), 'quillmoor-web-'));
  try {
    const out = join(dir, 'screen.png');
    execFileSync(nativeRenderer, ['--scene', scene, '--screen', `${width}x${height}`, '--seed', String(seed),
      '--frames', String(frames), '--out', out], { env: { ...process.env, ...env } });
    return decodePng(readFileSync(out));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// An 8-bit RGB or RGBA PNG, not interlaced, as { width, height, rgba }.
export function decodePng(file) {
  let offset = 8, width = 0, height = 0, colourType = 0;
  const data = [];
  while (offset < file.length) {
    const length = file.readUInt32BE(offset);
    const type = file.toString('latin1', offset + 4, offset + 8);
    const body = file.subarray(offset + 8, offset + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      colourType = body[9];
      if (body[8] !== 8 || (colourType !== 2 && colourType !== 6) || body[12] !== 0) throw new Error('unsupported PNG');
    } else if (type === 'IDAT') {
      data.push(body);
    }
    offset += 12 + length;
  }
  const channels = colourType === 6 ? 4 : 3;
  const raw = inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? rows[y * stride + i - channels] : 0;
      const b = y > 0 ? rows[(y - 1) * stride + i] : 0;
      const c = i >= channels && y > 0 ? rows[(y - 1) * stride + i - channels] : 0;
      rows[y * stride + i] = (line[i] + predict(filter, a, b, c)) & 0xff;
    }
  }
  const rgba = Buffer.alloc(width * height * 4, 0xff);
  for (let p = 0; p < width * height; ++p)
    for (let k = 0; k < 3; ++k) rgba[p * 4 + k] = rows[p * channels + k];
  return { width, height, rgba };
}

function predict(filter, a, b, c) {
  switch (filter) {
    case 0: return 0;
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) >> 1;
    case 4: {
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    default: throw new Error(`bad PNG filter ${filter}`);
  }
}
