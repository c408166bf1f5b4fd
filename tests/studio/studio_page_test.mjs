// drawlet studio's page in a real browser (Debian's chromium, headless, driven by
// puppeteer-core): it opens, follows a slider, takes a look, moves through a video, shows A
// and B, and the exact frame it shows is the frame drawlet render writes with the settings it
// saves and the command line it gives.
//
//   node studio_page_test.mjs DRAWLET [--screenshot FILE] [--input PICTURE_OR_VIDEO]
//
// Exits 0 when every check passes, 1 when one fails, and 77 (skipped) when chromium, ffmpeg
// or puppeteer-core is missing, unless DRAWLET_REQUIRE_BROWSER=1 (CI), where that fails.
import {spawn, spawnSync} from 'node:child_process';
import {existsSync, mkdtempSync, readFileSync, readdirSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {createInterface} from 'node:readline';

const SKIP = 77;
const WAIT_MS = 30000;
const chromium = process.env.CHROMIUM ?? '/usr/bin/chromium';

function skip(why) {
  if (process.env.DRAWLET_REQUIRE_BROWSER === '1') {
    console.error(`FAILED: ${why} (DRAWLET_REQUIRE_BROWSER=1)`);
    process.exit(1);
  }
  console.log(`SKIPPED: ${why}`);
  process.exit(SKIP);
}

function check(condition, what) {
  if (!condition) throw new Error(what);
  console.log(`ok: ${what}`);
}

const args = process.argv.slice(2);
const drawlet = args[0];
const option = (name) => (args.includes(name) ? args[args.indexOf(name) + 1] : undefined);
if (!drawlet) {
  console.error('usage: node studio_page_test.mjs DRAWLET [--screenshot FILE] [--input FILE]');
  process.exit(1);
}
if (!existsSync(chromium)) skip(`no browser at ${chromium} (apt-get install chromium)`);
let puppeteer;
try {
  puppeteer = (await import('puppeteer-core')).default;
} catch {
  skip('puppeteer-core is not installed (npm ci in tests/studio)');
}
if (spawnSync('ffmpeg', ['-version']).status !== 0) skip('ffmpeg is not installed');

const dir = mkdtempSync(join(tmpdir(), 'drawlet-studio-test-'));
let studio, browser;

// The studio, and the address it prints on a line of its own.
async function startStudio(input) {
  studio = spawn(drawlet, ['studio', input, '--no-browser'], {stdio: ['ignore', 'pipe', 'inherit']});
  const lines = createInterface({input: studio.stdout});
  const address = await new Promise((resolve, reject) => {
    lines.once('line', resolve);
    studio.once('exit', (code) => reject(new Error(`drawlet studio ended (${code}) before printing its address`)));
  });
  check(/^http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32}$/.test(address), 'the studio prints its address with a token');
  return address;
}

// Waits until view `side` has shown more than `renders` images, is not busy and its state
// (data-exact, data-frame) holds the values in `want`; returns its state.
async function rendered(page, side, renders, want = {}) {
  await page.waitForFunction(
    (s, n, wanted) => {
      const view = document.querySelector(`.view[data-side="${s}"]`);
      return Number(view.dataset.renders ?? 0) > n && !view.classList.contains('busy') &&
        Object.entries(wanted).every(([key, value]) => view.dataset[key] === value);
    },
    {timeout: WAIT_MS}, side, renders, want);
  return page.$eval(`.view[data-side="${side}"]`, (view) => ({...view.dataset}));
}

// The bytes of the picture view `side` shows.
async function shownBytes(page, side) {
  const base64 = await page.$eval(`.view[data-side="${side}"] img.drawn`, async (img) => {
    const bytes = new Uint8Array(await (await fetch(img.src)).arrayBuffer());
    let text = '';
    for (const b of bytes) text += String.fromCharCode(b);
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

function render(words, output) {
  const result = spawnSync(drawlet, [...words, '-o', output, '-y', '-q'], {encoding: 'utf8'});
  if (result.status !== 0) throw new Error(`drawlet ${words.join(' ')}: ${result.stderr}`);
  return readFileSync(output);
}

try {
  let input = option('--input');
  if (!input) {
    input = join(dir, 'clip.mkv');
    const made = spawnSync('ffmpeg', ['-v', 'error', '-f', 'lavfi', '-i', 'testsrc2=size=640x360:rate=25',
      '-frames:v', '12', '-c:v', 'ffv1', input]);
    if (made.status !== 0) throw new Error('ffmpeg could not make the test clip');
  }
  const address = await startStudio(input);
  browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    userDataDir: join(dir, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--disable-dev-shm-usage'],
  });
  const page = await browser.newPage();
  page.on('pageerror', (error) => console.error(`page error: ${error.message}`));
  page.on('console', (message) => console.error(`page: ${message.text()}`));
  page.on('response', async (response) => {
    if (response.status() >= 400)
      console.error(`page: ${response.status()} for ${response.url()}: ${await response.text().catch(() => '')}`);
  });
  await page.setViewport({width: 1360, height: 860});
  const downloads = join(dir, 'downloads');
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: downloads});
  await page.goto(address);
  let a = await rendered(page, 'a', 0, {exact: '1'});
  check(!page.url().includes('token'), 'the token leaves the address bar once the cookie holds it');
  check(await page.$$eval('#groups .control', (c) => c.length) >= 30, 'a control for every parameter');

  // A look, then a slider moved with the mouse: the preview follows.
  await page.select('#look', 'pen-and-ink');
  a = await rendered(page, 'a', Number(a.renders));
  const before = await shownBytes(page, 'a');
  const slider = await page.$('[data-key="line-width"] input[type="range"]');
  const box = await slider.boundingBox();
  await page.mouse.click(box.x + box.width * 0.1, box.y + box.height / 2);
  a = await rendered(page, 'a', Number(a.renders));
  const width = Number(await slider.evaluate((s) => s.value));
  check(width > 1, `the line width slider moved (to ${width})`);
  check(!before.equals(await shownBytes(page, 'a')), 'the preview changed with the slider');

  // The interpolation boxes go to the server: the module's update callback switches the other
  // off when one is switched on, and the page shows the values as the module left them.
  const checkBox = (key) => `[data-key="${key}"] input[type="checkbox"]`;
  const boxesBecome = (bilinear, bicubic) => page.waitForFunction(
    (l, c, lSelector, cSelector) => document.querySelector(lSelector).checked === l &&
      document.querySelector(cSelector).checked === c,
    {timeout: WAIT_MS}, bilinear, bicubic, checkBox('bilinear'), checkBox('bicubic'))
    .then(() => true, () => false);
  await page.click(checkBox('bilinear'));
  check(await boxesBecome(true, false), 'bilinear sampling switched on');
  await page.click(checkBox('bicubic'));
  check(await boxesBecome(false, true), 'switching bicubic on switches bilinear off');
  await page.click(checkBox('bilinear'));
  check(await boxesBecome(true, false), 'switching bilinear on switches bicubic off');
  await page.click(checkBox('bilinear'));
  check(await boxesBecome(false, false), 'both are off again');


  // A later frame, then the exact frame.
  await page.select('#preview-size', '480');
  if (await page.$eval('#scrubber', (s) => s.hidden)) {
    // A picture: the frame number it is given as.
    await page.click('#frame-number', {clickCount: 3});
    await page.keyboard.type('5');
    await page.keyboard.press('Tab');
  } else {
    await page.focus('#scrubber');
    for (let i = 0; i < 5; ++i) await page.keyboard.press('ArrowRight');
  }
  a = await rendered(page, 'a', Number(a.renders), {frame: '5'});
  await page.click('#exact');
  a = await rendered(page, 'a', Number(a.renders), {exact: '1'});
  check(a.frame === '5', 'the exact frame is frame 5');
  const exactA = await shownBytes(page, 'a');

  // The saved settings render that frame with drawlet render, byte for byte.
  await page.click('#save');
  const saved = join(downloads, 'pen-and-ink-settings.json');
  for (let waited = 0; !existsSync(saved) && waited < WAIT_MS; waited += 100)
    await new Promise((resolve) => setTimeout(resolve, 100));
  check(existsSync(saved), 'the settings were saved as a file');
  const settings = JSON.parse(readFileSync(saved, 'utf8'));
  check(settings['line-width'] === width && settings.mode === 4, 'the file holds the look and the slider');
  const cli = render(['render', input, '--frame', '5', '--settings', saved], join(dir, 'cli-a.png'));
  check(cli.equals(exactA), 'drawlet render --settings gives the exact frame the page shows');

  // A and B side by side: B with another look, and its command line.
  await page.click('#ab');
  await page.click('#side-b');
  let b = await rendered(page, 'b', 0);
  await page.select('#look', 'stipple');
  b = await rendered(page, 'b', Number(b.renders));
  const video = (await page.$('#boil input')) !== null;
  if (video) {
    // A boil rate of 5 a second: every 5th frame at 25 fps.
    await page.type('#boil input', '5');
    await page.keyboard.press('Tab');
    b = await rendered(page, 'b', Number(b.renders));
    const note = await page.$eval('#boil-note', (n) => n.textContent);
    check(note.includes('every 5 frames'), `the boil rate sets the update interval: ${note}`);
    // Following the motion: frame 5 is then drawn after frames from the last change on.
    await page.click('#follow-motion input[type="checkbox"]');
    b = await rendered(page, 'b', Number(b.renders));
    check(b.followed === '0', 'frame 5 is a change of the jitter: nothing to carry');
    await page.focus('#scrubber');
    await page.keyboard.press('ArrowRight');
    b = await rendered(page, 'b', Number(b.renders), {frame: '6'});
    check(b.followed === '1', 'frame 6 carries the hatching along the motion');
  }
  await page.click('#exact');
  b = await rendered(page, 'b', Number(b.renders), {exact: '1'});
  check(!(await page.$eval('.view[data-side="a"]', (v) => v.hidden)), 'A stays in view beside B');
  const exactB = await shownBytes(page, 'b');
  check(!exactB.equals(exactA), 'A and B show different settings');
  const command = await page.$eval('#command-line', (pre) => pre.textContent);
  check(command.includes('--look stipple') &&
    (!video || (command.includes('--boil-rate 5') && command.includes('--follow-motion'))),
    `B's command line names its look, boil rate and following: ${command}`);
  // The command line, with a picture of B's frame for its output.
  const words = command.split(' ').slice(1);
  const at = words.indexOf('-o');
  words.splice(at, 2, '--frame', b.frame);
  const cliB = render(words.map((w) => w.replace(/^'(.*)'$/, '$1')), join(dir, 'cli-b.png'));
  check(cliB.equals(exactB), 'the copied command line renders the frame B shows');

  const screenshot = option('--screenshot');
  if (screenshot) {
    // Two looks side by side, at full size, for the README.
    await page.click('#side-a');
    a = await page.$eval('.view[data-side="a"]', (view) => ({...view.dataset}));
    await page.select('#look', 'coloured-pencil');
    a = await rendered(page, 'a', Number(a.renders), {exact: '1'});
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({path: screenshot});
    console.log(`wrote ${screenshot}`);
  }

  await browser.close();
  browser = undefined;
  const ended = new Promise((resolve) => studio.once('exit', (code, signal) => resolve({code, signal})));
  studio.kill('SIGINT');
  const exit = await ended;
  check(exit.code === 130, 'Ctrl-C stops the studio as it stops a render (exit 130)');
  studio = undefined;
  console.log('PASSED');
} catch (error) {
  console.error(`FAILED: ${error.message}`);
  process.exitCode = 1;
} finally {
  if (browser) await browser.close().catch(() => {});
  if (studio) studio.kill('SIGKILL');
  rmSync(dir, {recursive: true, force: true});
  if (readdirSync(tmpdir()).some((f) => f === dir)) console.error('left', dir);
}
