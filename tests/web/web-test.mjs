// The web page in headless Chromium, checked from the canvas pixels as a player would see them:
//   node web-test.mjs <site folder> [screenshot.png]
// Every check polls with a time limit (CI machines are slow and busy) and the run ends with
// "web-test: N passed, M failed"; the exit status is 1 when any failed.
import {chromium} from 'playwright-core';
import {serve} from '../../platform/web/serve.mjs';

const site = process.argv[2];
const screenshot = process.argv[3];
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Runs in the page: measures on the canvas. Colours are bytes R, G, B of the 0x00BBGGRR back buffer.
const PROBES = () => {
  const canvas = document.getElementById('screen');
  const read = (x, y, w, h) => canvas.getContext('2d').getImageData(x, y, w, h).data;
  const count = (x, y, w, h, test) => {
    const d = read(x, y, w, h);
    let n = 0;
    for (let i = 0; i < d.length; i += 4) if (test(d[i], d[i + 1], d[i + 2])) ++n;
    return n;
  };
  const light = (r, g, b) => r > 150 && g > 150 && b > 150;
  window.probes = {
    // The rightmost lit pixel of the loading bar's row, or -1.
    loadingBar() {
      const d = read(300, 286, 220, 14);
      let right = -1;
      for (let i = 0; i < d.length; i += 4) if (d[i + 2] > 150) right = Math.max(right, (i / 4) % 220);
      return right;
    },
    // Title page: the logo's bright chrome, and blue stars spread over most of a 4 x 4 grid.
    titlePage() {
      const logo = count(220, 160, 370, 90, light);
      let cells = 0;
      for (let cy = 0; cy < 4; ++cy)
        for (let cx = 0; cx < 4; ++cx)
          if (count(cx * 200, 40 + cy * 130, 200, 130, (r, g, b) => b > 120 && b > r + 60) > 3) ++cells;
      return {logo, cells};
    },
    // The message line at (340, 260): its light pixels, and their mask for comparing two messages.
    message() {
      const d = read(340, 258, 128, 22);
      const mask = [];
      for (let i = 0; i < d.length; i += 4) mask.push(light(d[i], d[i + 1], d[i + 2]) ? 1 : 0);
      return {lit: mask.reduce((a, b) => a + b, 0), mask};
    },
    bonus() { return count(298, 258, 196, 24, (r, g, b) => r > 180 && g > 150 && b < 140); },
    nameEntry() { return count(318, 82, 164, 24, light); },
    // The ship's red base: its centre, or null when no red is in the play area.
    ship() {
      const d = read(0, 40, 800, 530);
      let n = 0, sx = 0, sy = 0;
      for (let i = 0; i < d.length; i += 4)
        if (d[i] > 150 && d[i + 1] < 110 && d[i + 2] < 110) { ++n; sx += (i / 4) % 800; sy += Math.floor(i / 4 / 800) + 40; }
      return n < 20 ? null : {x: sx / n, y: sy / n};
    },
    // White-blue missile cores in the column above a point.
    missiles(x, y) {
      const top = 40, bottom = Math.max(top + 1, Math.round(y) - 60);
      return count(Math.max(0, Math.round(x) - 16), top, 32, bottom - top, (r, g, b) => r > 170 && g > 170 && b > 220);
    },
    sound() {
      if (!Module.audioTap) return 0;
      const a = new Float32Array(Module.audioTap.fftSize);
      Module.audioTap.getFloatTimeDomainData(a);
      return Math.sqrt(a.reduce((s, v) => s + v * v, 0) / a.length);
    },
    counters() { return {frames: Module.web.frames, stalls: Module.web.audioStalls, at: performance.now()}; },
  };
};

let passed = 0, failed = 0;
function check(name, ok, detail) {
  if (ok) ++passed; else ++failed;
  console.log(`${ok ? 'pass' : 'FAIL'}: ${name}${detail === undefined ? '' : ` (${detail})`}`);
  return ok;
}

// Polls f in the page until accept(value) or the time limit; the last value either way.
async function poll(page, f, args, accept, limitMs) {
  const until = Date.now() + limitMs;
  for (;;) {
    const value = await page.evaluate(({f, args}) => window.probes[f](...args), {f, args});
    if (accept(value) || Date.now() > until) return value;
    await page.waitForTimeout(25);
  }
}

async function tap(page, key) {
  await page.keyboard.down(key);
  await page.waitForTimeout(120);  // held over a few frames, as a finger would
  await page.keyboard.up(key);
}

async function run(page, url) {
  await page.goto(url);
  const asks = await page.waitForFunction(() => /click or press a key to start/.test(document.body.innerText)
    && typeof Module.callMain === 'function', null, {timeout: 30000}).then(() => true, () => false);
  if (!check('the page asks for a click or a key', asks)) return;
  check('the page title', (await page.title()) === 'Vexed Drifts [96k]', await page.title());
  await page.evaluate(PROBES);

  // Every presented frame's loading bar, recorded as it is shown.
  await page.evaluate(() => {
    window.barWidths = [];
    const put = CanvasRenderingContext2D.prototype.putImageData;
    CanvasRenderingContext2D.prototype.putImageData = function (...a) {
      put.apply(this, a);
      if (window.barWidths.length < 400) window.barWidths.push(window.probes.loadingBar());
    };
  });
  await page.mouse.click(400, 300);
  const title = await poll(page, 'titlePage', [], t => t.logo > 800 && t.cells >= 12, 30000);
  // The frames up to the first that shows less bar than the one before (the title page's) are the loading's.
  const widths = await page.evaluate(() => window.barWidths.filter(w => w >= 0));
  const drop = widths.findIndex((w, i) => i > 0 && w < widths[i - 1]);
  const loading = drop < 0 ? widths : widths.slice(0, drop);
  const grew = new Set(loading).size >= 3 && loading[loading.length - 1] - loading[0] > 60;
  check('the loading bar grows', grew, `right ends ${[...new Set(loading)].join(' ')}`);
  check('the title page with its star field', title.logo > 800 && title.cells >= 12,
    `${title.logo} logo pixels, stars in ${title.cells} of 16 cells`);

  await tap(page, 'ControlLeft');
  const round1 = await poll(page, 'message', [], m => m.lit > 150, 10000);
  const ship = await poll(page, 'ship', [], s => s !== null, 10000);
  check('Control starts round 1: its message and the ship', round1.lit > 150 && ship !== null,
    `${round1.lit} message pixels, ship at ${ship ? `${Math.round(ship.x)},${Math.round(ship.y)}` : 'none'}`);
  if (!ship) return;

  const heard = await poll(page, 'sound', [], level => level > 0.01, 10000);
  check('sound reaches the output', heard > 0.01, `level ${heard.toFixed(3)}`);

  // Left well clear of the glow in the middle, whose light would hide the missiles, then back a little.
  await page.keyboard.down('ArrowLeft');
  const left = await poll(page, 'ship', [], s => s && s.x < ship.x - 200, 5000);
  await page.keyboard.up('ArrowLeft');
  await page.keyboard.down('ArrowRight');
  const right = await poll(page, 'ship', [], s => s && left && s.x > left.x + 40, 5000);
  await page.keyboard.up('ArrowRight');
  check('the arrows move the ship', left && right && left.x < ship.x - 200 && right.x > left.x + 40,
    `${Math.round(ship.x)} -> ${left ? Math.round(left.x) : '?'} -> ${right ? Math.round(right.x) : '?'}`);

  // Missiles fly up from the ship; its column is measured clear of the round message.
  await poll(page, 'message', [], m => m.lit < 30, 8000);
  const at = (await poll(page, 'ship', [], s => s !== null, 5000)) || ship;
  const before = await page.evaluate(({x, y}) => window.probes.missiles(x, y), at);
  await page.keyboard.down('ControlLeft');
  const during = await poll(page, 'missiles', [at.x, at.y], n => n > before + 60, 3000);
  await page.keyboard.up('ControlLeft');
  check('fire launches missiles', during > before + 60, `${before} -> ${during} missile pixels above the ship`);

  await tap(page, 'Digit1');
  const bonus = await poll(page, 'bonus', [], n => n > 200, 5000);
  check('"1" ends the round with its bonus', bonus > 200, `${bonus} bonus text pixels`);
  await poll(page, 'bonus', [], n => n < 20, 10000);
  const round2 = await poll(page, 'message', [], m => m.lit > 150, 10000);
  // "round 0" as before (stars and missiles may cross it), the last digit not.
  const agree = (from, to) => {
    let same = 0, lit = 0;
    for (let y = 0; y < 22; ++y)
      for (let x = from; x < to; ++x) {
        const a = round1.mask[y * 128 + x], b = round2.mask[y * 128 + x];
        if (a || b) { ++lit; if (a && b) ++same; }
      }
    return lit ? same / lit : 0;
  };
  const head = agree(0, 112), digit = agree(112, 128);
  check('round 2 follows', round2.lit > 150 && head > 0.6 && digit < 0.5,
    `"round 0" agrees ${head.toFixed(2)}, the last digit ${digit.toFixed(2)}`);
  if (screenshot) await page.screenshot({path: screenshot});

  const start = await page.evaluate(() => window.probes.counters());
  await page.waitForTimeout(10000);
  const end = await page.evaluate(() => window.probes.counters());
  const fps = (end.frames - start.frames) * 1000 / (end.at - start.at);
  check('at least 58 frames per second over 10 s', fps >= 58, `${fps.toFixed(1)} frames per second`);
  // A feed that comes too late would starve the output again and again; one hiccup of a busy machine may pass.
  check('the audio ran dry at most once meanwhile', end.stalls - start.stalls <= 1, `${end.stalls - start.stalls} times`);

  // Escape ends the game on release: a score this good goes to name entry, whose Return leads to the
  // attract pages, where Escape quits.
  await tap(page, 'Escape');
  const named = await poll(page, 'nameEntry', [], n => n > 200, 5000);
  if (named > 200) {
    await page.keyboard.type('web');
    await tap(page, 'Enter');
  }
  await poll(page, 'nameEntry', [], n => n < 50, 5000);
  await page.waitForTimeout(500);
  await tap(page, 'Escape');
  const ended = await page.waitForFunction(() => /has ended/.test(document.body.innerText), null, {timeout: 5000})
    .then(() => true, () => false);
  const state = await page.evaluate(() => ({hidden: document.getElementById('screen').classList.contains('hidden'),
                                            audio: Module.audioContext.state}));
  check('Escape on the attract pages shows the ended line', ended && state.hidden,
    `${await page.evaluate(() => document.getElementById('message').innerText)}; audio ${state.audio}`);
}

// A page or browser that hangs must not hold CI up: the whole run has three minutes.
setTimeout(() => {
  console.log(`web-test: ${passed} passed, ${failed + 1} failed (timed out)`);
  process.exit(1);
}, 180000).unref();

const server = await serve(site, 0);
const browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: CHROMIUM_FLAGS});
try {
  const page = await browser.newPage({viewport: {width: 800, height: 600}});
  const errors = [];
  page.on('pageerror', e => errors.push(e.message));
  await run(page, `http://127.0.0.1:${server.address().port}/`);
  check('no errors in the page', errors.length === 0, errors.join('; ') || undefined);
} catch (e) {
  check('the run went through', false, e.message);
} finally {
  await browser.close();
  server.close();
}
console.log(`web-test: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
