// The web page in headless Chromium, checked from the canvas pixels as a player would see them:
//   node web-test.mjs <site folder> [screenshot.png]
// Every check polls with a time limit (CI machines are slow and busy) and the run ends with
// "web-test: N passed, M failed"; the exit status is 1 when any failed.
import {chromium} from 'playwright-core';
import {serve} from '../../platform/web/serve.mjs';
import {PROBES} from './probes.mjs';
import {CHROMIUM_FLAGS, tally} from './common.mjs';

const site = process.argv[2];
const screenshot = process.argv[3];

const {check, counts} = tally();

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

const probe = (page, f, ...args) => page.evaluate(({f, args}) => window.probes[f](...args), {f, args});

// Hidden for 30 s in play: nothing runs and nothing is heard; shown again, the game goes on from the
// very frame it stood at, with its ship.
async function hideAndShow(page) {
  await poll(page, 'ship', [], s => s !== null, 10000);   // hidden with the ship in view, not between two ships
  await probe(page, 'keepFrames', 2);
  await page.waitForFunction(() => window.kept.length >= 2);
  const oneFrame = await probe(page, 'changed', 0, 1);
  await probe(page, 'setHidden', true);
  await page.waitForTimeout(300);        // the frame under way goes out
  await probe(page, 'stand');
  if (screenshot) await page.screenshot({path: screenshot.replace(/\.png$/, '-hidden.png')});
  const ship = await probe(page, 'ship');
  const lives = await probe(page, 'lives');
  const from = await probe(page, 'counters');
  const sound = [], audioFrom = await probe(page, 'audioTime');
  for (let i = 0; i < 30; ++i) {
    await page.waitForTimeout(1000);
    sound.push(await probe(page, 'sound'));
  }
  const to = await probe(page, 'counters');
  const audioTo = await probe(page, 'audioTime');
  check('hidden, no frame runs', to.frames === from.frames, `${to.frames - from.frames} frames in 30 s`);
  check('hidden, the sound stops', Math.max(...sound) < 0.001 && audioTo - audioFrom < 0.1,
    `loudest ${Math.max(...sound).toFixed(4)}, the output's clock moved ${(audioTo - audioFrom).toFixed(2)} s`);
  await probe(page, 'keepFrames', 1);
  await probe(page, 'setHidden', false);
  const returned = await page.waitForFunction(() => window.kept.length >= 1, null, {timeout: 5000}).then(() => true, () => false);
  if (screenshot) await page.screenshot({path: screenshot.replace(/\.png$/, '-shown.png')});
  const moved = returned ? await probe(page, 'changed', -1, 0) : 1;
  const livesBack = await probe(page, 'lives');   // at once: what the seekers do afterwards is play
  const shipAfter = returned ? await page.evaluate(() => {
    const keep = window.kept[0];
    let n = 0, sx = 0;
    for (let i = 0; i < keep.length; i += 4)
      if (i / 4 >= 800 * 40 && keep[i] > 150 && keep[i + 1] < 110 && keep[i + 2] < 110) { ++n; sx += (i / 4) % 800; }
    return n < 20 ? null : sx / n;
  }) : null;
  // A seeker can take the ship between the poll above and the hiding: with no ship in view then, there is
  // none to follow, and the pixels alone tell whether the game went on from that frame.
  const shipKept = ship === null || (shipAfter !== null && Math.abs(shipAfter - ship.x) < 24);
  check('shown again, the game goes on from the frame it stood at',
    returned && moved <= Math.max(2 * oneFrame, 0.01) && shipKept,
    `${(moved * 100).toFixed(2)}% of the pixels changed (one frame in play: ${(oneFrame * 100).toFixed(2)}%), ship at ` +
    `${ship ? Math.round(ship.x) : '?'} then ${shipAfter === null ? 'none' : Math.round(shipAfter)}`);
  const heard = await poll(page, 'sound', [], level => level > 0.01, 5000);
  check('shown again, no ship was lost, and the sound is back', livesBack === lives && lives > 0 && heard > 0.01,
    `ships ${lives} then ${livesBack}, level ${heard.toFixed(3)}`);
}

async function run(page, url) {
  await page.goto(url);
  const asks = await page.waitForFunction(() => /click or press a key to start/.test(document.body.innerText)
    && typeof Module.callMain === 'function', null, {timeout: 30000}).then(() => true, () => false);
  if (!check('the page asks for a click or a key', asks)) return;
  check('the page title', (await page.title()) === 'Vexed Drifts [96k]', await page.title());
  await page.evaluate(PROBES);

  // Every presented frame's loading bar, recorded as it is shown (from the module's first frame on).
  await page.evaluate(() => {
    window.barWidths = [];
    Object.defineProperty(Module, 'web', {configurable: true, get() { return this.webState; }, set(web) {
      this.webState = web;
      web.onFrame = () => { if (window.barWidths.length < 400) window.barWidths.push(window.probes.loadingBar()); };
    }});
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
    `${title.logo} logo pixels, stars in ${title.cells} of 16 cells; shown through ${await page.evaluate(WAY)}`);

  await tap(page, 'ControlLeft');
  const round1 = await poll(page, 'message', [], m => m.lit > 150, 10000);
  const ship = await poll(page, 'ship', [], s => s !== null, 10000);
  check('Control starts round 1: its message and the ship', round1.lit > 150 && ship !== null,
    `${round1.lit} message pixels, ship at ${ship ? `${Math.round(ship.x)},${Math.round(ship.y)}` : 'none'}`);
  if (!ship) return;

  const heard = await poll(page, 'sound', [], level => level > 0.01, 10000);
  const thread = await page.evaluate(() => window.probes.mixing());
  check('sound reaches the output, mixed on the audio thread', heard > 0.01 && thread === 'the audio thread',
    `level ${heard.toFixed(3)}, mixed on ${thread}`);

  // Left well clear of the glow in the middle, whose light would hide the missiles, then back a little.
  await page.keyboard.down('ArrowLeft');
  const left = await poll(page, 'ship', [], s => s && s.x < ship.x - 200, 5000);
  await page.keyboard.up('ArrowLeft');
  await page.keyboard.down('ArrowRight');
  const right = await poll(page, 'ship', [], s => s && left && s.x > left.x + 40, 5000);
  await page.keyboard.up('ArrowRight');
  check('the arrows move the ship', left && right && left.x < ship.x - 200 && right.x > left.x + 40,
    `${Math.round(ship.x)} -> ${left ? Math.round(left.x) : '?'} -> ${right ? Math.round(right.x) : '?'}`);

  // Missiles fly up from the ship; its column is measured clear of the round message. A seeker may take
  // the ship meanwhile: then the next one, when it has come, fires (three tries).
  await poll(page, 'message', [], m => m.lit < 30, 8000);
  let before = 0, during = 0;
  for (let attempt = 0; attempt < 3 && during <= before + 60; ++attempt) {
    const at = (await poll(page, 'ship', [], s => s !== null, 5000)) || ship;
    before = await page.evaluate(({x, y}) => window.probes.missiles(x, y), at);
    await page.keyboard.down('ControlLeft');
    during = await poll(page, 'missiles', [at.x, at.y], n => n > before + 60, 3000);
    await page.keyboard.up('ControlLeft');
  }
  check('fire launches missiles', during > before + 60, `${before} -> ${during} missile pixels above the ship`);

  await tap(page, 'Digit1');
  const bonus = await poll(page, 'bonus', [], n => n > 200, 5000);
  check('"1" ends the round with its bonus', bonus > 200, `${bonus} bonus text pixels`);
  await poll(page, 'bonus', [], n => n < 20, 10000);
  // "round 0" as before (stars and missiles may cross it), the last digit not. Whatever else lights the
  // message's place first (the bonus page going, a burst) is waited out.
  const agree = (shown, from, to) => {
    let same = 0, lit = 0;
    for (let y = 0; y < 22; ++y)
      for (let x = from; x < to; ++x) {
        const a = round1.mask[y * 128 + x], b = shown.mask[y * 128 + x];
        if (a || b) { ++lit; if (a && b) ++same; }
      }
    return lit ? same / lit : 0;
  };
  const isRound2 = m => m.lit > 150 && agree(m, 0, 112) > 0.6 && agree(m, 112, 128) < 0.5;
  const round2 = await poll(page, 'message', [], isRound2, 10000);
  const head = agree(round2, 0, 112), digit = agree(round2, 112, 128);
  check('round 2 follows', isRound2(round2),
    `"round 0" agrees ${head.toFixed(2)}, the last digit ${digit.toFixed(2)}`);
  if (screenshot) await page.screenshot({path: screenshot});

  const start = await page.evaluate(() => window.probes.counters());
  await page.waitForTimeout(10000);
  const end = await page.evaluate(() => window.probes.counters());
  const fps = (end.frames - start.frames) * 1000 / (end.at - start.at);
  check('at least 58 frames per second over 10 s', fps >= 58, `${fps.toFixed(1)} frames per second`);
  // A feed that comes too late would starve the output again and again; one hiccup of a busy machine may pass.
  check('the audio ran dry at most once meanwhile', end.stalls - start.stalls <= 1, `${end.stalls - start.stalls} times`);

  await hideAndShow(page);

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
  // What reaches the page from here on, for the record should a game start again after the end.
  await page.evaluate(() => {
    window.lastEvents = [];
    for (const type of ['keydown', 'keyup', 'click'])
      addEventListener(type, (e) => window.lastEvents.push(`${type} ${e.key || ''} on ${e.target.id || e.target.tagName}`), true);
  });
  await tap(page, 'Escape');
  const ended = await page.waitForFunction(() => /has ended/.test(document.body.innerText), null, {timeout: 5000})
    .then(() => true, () => false);
  const state = await page.evaluate(() => ({hidden: document.getElementById('screen').classList.contains('hidden'),
                                            audio: Module.audioContext.state}));
  check('Escape on the attract pages shows the ended line', ended && state.hidden,
    `${await page.evaluate(() => document.getElementById('message').innerText)}; audio ${state.audio}` +
    (ended && state.hidden ? '' : `; the canvas shown again, events: ${await page.evaluate(() => window.lastEvents.join(', '))}`));
}

// A page or browser that hangs must not hold CI up: the whole run has four minutes.
setTimeout(() => {
  console.log(`web-test: ${counts.passed} passed, ${counts.failed + 1} failed (timed out)`);
  process.exit(1);
}, 240000).unref();

// How the page shows its frames.
const WAY = () => Module.web && Module.web.gl ? 'WebGL'
  : Module.web && Module.web.surface && Module.web.surface !== Module.canvas ? 'an OffscreenCanvas' : 'the 2D canvas';

// The page takes WebGL only where a graphics processor draws it, and otherwise an OffscreenCanvas where the
// browser has one, so the run above shows neither WebGL nor the plain canvas: here each shows the title page.
async function through(page, url, presenting, way) {
  await page.goto(url);
  await page.waitForFunction(() => typeof Module.callMain === 'function', null, {timeout: 30000});
  await page.evaluate(PROBES);
  await page.evaluate(presenting => { Module.presenting = presenting; }, presenting);
  await page.mouse.click(400, 300);
  const title = await poll(page, 'titlePage', [], t => t.logo > 800 && t.cells >= 12, 30000);
  const shown = await page.evaluate(WAY);
  check(`the title page shown through ${way}`, title.logo > 800 && title.cells >= 12 && shown === way,
    `${title.logo} logo pixels, stars in ${title.cells} of 16 cells, through ${shown}`);
}

// Where the page has no AudioWorklet (one not served securely has none), its main thread mixes the sound.
async function mainThreadSound(page, url) {
  await page.goto(url);
  await page.waitForFunction(() => typeof Module.callMain === 'function', null, {timeout: 30000});
  await page.evaluate(PROBES);
  await page.evaluate(() => { window.AudioWorkletNode = undefined; });
  await page.mouse.click(400, 300);
  const heard = await poll(page, 'sound', [], level => level > 0.01, 30000);
  const thread = await page.evaluate(() => window.probes.mixing());
  check('without an AudioWorklet the title page\'s music is mixed on the main thread', heard > 0.01 &&
    thread === 'the main thread', `level ${heard.toFixed(3)}, mixed on ${thread}`);
}

const server = await serve(site, 0);
const browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: CHROMIUM_FLAGS});
try {
  const page = await browser.newPage({viewport: {width: 800, height: 600}});
  const errors = [];
  page.on('pageerror', e => errors.push(e.message));
  await run(page, `http://127.0.0.1:${server.address().port}/`);
  await through(page, `http://127.0.0.1:${server.address().port}/`, 'webgl', 'WebGL');
  await through(page, `http://127.0.0.1:${server.address().port}/`, '2d', 'the 2D canvas');
  await mainThreadSound(page, `http://127.0.0.1:${server.address().port}/`);
  check('no errors in the page', errors.length === 0, errors.join('; ') || undefined);
} catch (e) {
  check('the run went through', false, e.message);
} finally {
  await browser.close();
  server.close();
}
console.log(`web-test: ${counts.passed} passed, ${counts.failed} failed`);
process.exit(counts.failed ? 1 : 0);
