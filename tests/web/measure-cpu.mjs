// Measures the CPU that headless Chromium spends showing the page: all of
// its processes, user and system time from /proc, over a number of seconds,
// as a share of one core, with the frames the page drew meanwhile.
// Usage: node measure-cpu.mjs [WxH] [seconds] [query]
import { readdirSync, readFileSync } from 'node:fs';
import { setTimeout as sleep } from 'node:timers/promises';
import { launchBrowser } from './cdp.mjs';
import { pageUrl } from './support.mjs';

const [size = '1920x1080', seconds = '20', query = ''] = process.argv.slice(2);
const [width, height] = size.split('x').map(Number);
const ticksPerSecond = 100;  // USER_HZ on Linux

function processTree(root) {
  const parents = new Map();
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = readFileSync(`/proc/${entry}/stat`, 'utf8');
      parents.set(Number(entry), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch { /* gone meanwhile */ }
  }
  const tree = new Set([root]);
  for (let grew = true; grew;) {
    grew = false;
    for (const [pid, parent] of parents) if (tree.has(parent) && !tree.has(pid)) { tree.add(pid); grew = true; }
  }
  tree.delete(root);
  return tree;
}

function cpuTicks(pids) {
  let total = 0;
  for (const pid of pids) {
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      total += Number(fields[11]) + Number(fields[12]);
    } catch { /* gone meanwhile */ }
  }
  return total;
}

const browser = await launchBrowser();
try {
  const page = await (await browser.newContext()).newPage();
  await page.setViewport(width, height);
  await page.goto(pageUrl(query));
  await sleep(3000);
  const pids = processTree(process.pid);
  const frames = () => page.evaluate(() => window.quillmoor.frames);
  const [ticks0, frames0, t0] = [cpuTicks(pids), await frames(), performance.now()];
  await sleep(Number(seconds) * 1000);
  const [ticks1, frames1, t1] = [cpuTicks(pids), await frames(), performance.now()];
  const elapsed = (t1 - t0) / 1000;
  console.log(`${size}: ${(((ticks1 - ticks0) / ticksPerSecond / elapsed) * 100).toFixed(1)}% of a core,`
    + ` ${((frames1 - frames0) / elapsed).toFixed(1)} frames/s over ${elapsed.toFixed(1)} s`);
} finally {
  await browser.close();
}
