// How long the studio's page takes to follow a control: from a slider's input event to the
// preview shown, and to the exact full-size frame shown after it (which follows by itself
// when it is quick, and is asked for at once otherwise). A measurement for bench/studio_latency.sh, not a test.
//   node page_latency.mjs DRAWLET VIDEO
import {spawn} from 'node:child_process';
import {mkdtempSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {createInterface} from 'node:readline';
import puppeteer from 'puppeteer-core';

const [drawlet, video] = process.argv.slice(2);
const profile = mkdtempSync(join(tmpdir(), 'drawlet-latency-'));
const studio = spawn(drawlet, ['studio', video, '--no-browser'], {stdio: ['ignore', 'pipe', 'ignore']});
const address = await new Promise((resolve) => createInterface({input: studio.stdout}).once('line', resolve));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', headless: true, userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--disable-dev-shm-usage'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({width: 1600, height: 1000});
  await page.goto(address);
  await page.waitForFunction(() => {
    const view = document.querySelector('.view');
    return view.dataset.exact === '1' && !view.classList.contains('busy');
  }, {timeout: 60000});
  const preview = [], exact = [];
  for (let i = 0; i < 12; ++i) {
    const [first, second] = await page.evaluate(async (value) => {
      const view = document.querySelector('.view');
      const img = view.querySelector('img.drawn');
      const renders = Number(view.dataset.renders);
      const slider = document.querySelector('[data-key="line-width"] input[type="range"]');
      const start = performance.now();
      slider.value = String(value);
      slider.dispatchEvent(new Event('input'));
      const shown = (count) => new Promise((resolve) => {
        const poll = () => (Number(view.dataset.renders) >= count && img.complete
          ? resolve(performance.now() - start) : requestAnimationFrame(poll));
        poll();
      });
      const first = await shown(renders + 1);
      // The exact frame follows by itself when it is quick; otherwise it takes a click.
      if (!view.classList.contains('busy')) document.querySelector('#exact').click();
      return [first, await shown(renders + 2)];
    }, 1 + (i % 3));
    preview.push(first);
    exact.push(second);
  }
  const median = (a) => a.slice().sort((x, y) => x - y)[a.length >> 1].toFixed(0);
  console.log(`page: preview shown ${median(preview)} ms, exact frame shown ${median(exact)} ms after the slider moved (medians of 12)`);
} finally {
  await browser.close();
  studio.kill('SIGINT');
  rmSync(profile, {recursive: true, force: true});
}
