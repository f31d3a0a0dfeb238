// The page around the game in headless Chromium: a phone's touch controls and gestures, the picture's shape,
// errors, the browser's keys, playing again, and the installable offline site.
//   node page-test.mjs <site folder> [screenshot folder]
// Checks poll with generous limits (CI machines are busy); the run ends with "page-test: N passed, M failed".
import {execFileSync, spawn} from 'node:child_process';
import {createHash} from 'node:crypto';
import {mkdirSync, mkdtempSync, readFileSync, readdirSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {chromium, devices} from 'playwright-core';
import {serve} from '../../platform/web/serve.mjs';
import {CHROMIUM_FLAGS, tally} from './common.mjs';

const site = process.argv[2];
const shots = process.argv[3];
if (shots) mkdirSync(shots, {recursive: true});

const {check, counts} = tally();
const shoot = (page, name) => shots ? page.screenshot({path: join(shots, name)}) : null;

// Measures in the page (or a frame), from the canvas. Colours are bytes R, G, B.
const PROBES = () => {
  // Nothing is shown before the game opens its picture; a context taken here would keep it from its own.
  const pixels = (x, y, w, h) => window.Module && Module.web && Module.web.context
    ? Module.web.context.getImageData(x, y, w, h).data : new Uint8ClampedArray(w * h * 4);
  const count = (x, y, w, h, test) => {
    const d = pixels(x, y, w, h);
    let n = 0;
    for (let i = 0; i < d.length; i += 4) if (test(d[i], d[i + 1], d[i + 2])) ++n;
    return n;
  };
  window.probes = {
    logo: () => count(220, 160, 370, 90, (r, g, b) => r > 150 && g > 150 && b > 150),
    ship() {   // the centre of the ship's red base, or null
      const d = pixels(0, 40, 800, 530);
      let n = 0, sx = 0;
      for (let i = 0; i < d.length; i += 4) if (d[i] > 150 && d[i + 1] < 110 && d[i + 2] < 110) { ++n; sx += (i / 4) % 800; }
      return n < 20 ? null : sx / n;
    },
    missiles: (x) => count(Math.max(0, Math.round(x) - 16), 40, 32, 360, (r, g, b) => r > 170 && g > 170 && b > 220),
    nameEntry: () => count(318, 82, 164, 24, (r, g, b) => r > 150 && g > 150 && b > 150),
    nameRow: () => count(270, 296, 260, 32, (r, g, b) => r > 150),   // the typed name, whatever its colour
    frames: () => Module.web ? Module.web.frames : 0,
    box: (id) => { const r = document.getElementById(id).getBoundingClientRect(); return {x: r.left, y: r.top, w: r.width, h: r.height}; },
    seen: (id) => { const e = document.getElementById(id); return !!e && e.getClientRects().length > 0; },
    message: () => document.getElementById('message').classList.contains('hidden') ? '' : document.getElementById('message').innerText,
  };
};

// Polls a probe until accept(value) or the limit; returns the last value.
async function poll(target, f, args, accept, limitMs) {
  const until = Date.now() + limitMs;
  for (;;) {
    const value = await target.evaluate(({f, args}) => window.probes[f](...args), {f, args}).catch(() => undefined);
    if (accept(value) || Date.now() > until) return value;
    await new Promise((done) => setTimeout(done, 40));
  }
}
const pause = (ms) => new Promise((done) => setTimeout(done, ms));

async function open(page, url) {
  await page.goto(url);
  await page.waitForFunction(() => typeof Module.callMain === 'function', null, {timeout: 30000});
  await page.evaluate(PROBES);
}

// ---- A phone: touch only, in portrait and in landscape. ----
async function phone(browser, url, device, name) {
  const context = await browser.newContext({...devices[device], serviceWorkers: 'block'});
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  const cdp = await context.newCDPSession(page);
  const touch = (type, points) => cdp.send('Input.dispatchTouchEvent',
    {type, touchPoints: points.map(([x, y, id]) => ({x, y, id}))});
  const tap = async (x, y) => { await touch('touchStart', [[x, y, 0]]); await pause(120); await touch('touchEnd', []); };
  await page.goto('about:blank');   // something to go back to
  await open(page, url);
  const view = page.viewportSize();
  await tap(view.width / 2, view.height / 2);
  const logo = await poll(page, 'logo', [], (n) => n > 800, 30000);
  check(`${name}: a tap starts the page and its title page`, logo > 800, `${logo} logo pixels`);

  const canvas = await page.evaluate(() => window.probes.box('screen'));
  const stick = await page.evaluate(() => window.probes.box('stick'));
  const fire = await page.evaluate(() => window.probes.box('fire'));
  const inside = (b) => b.x >= -0.5 && b.y >= -0.5 && b.x + b.w <= view.width + 0.5 && b.y + b.h <= view.height + 0.5;
  const apart = (a, b) => a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y || b.y + b.h <= a.y;
  const ratio = canvas.w / canvas.h;
  check(`${name}: the picture keeps 4:3 and fits`, Math.abs(ratio - 4 / 3) < 0.01 && inside(canvas)
    && (canvas.w > view.width * 0.98 || canvas.h > view.height * 0.98 || view.width > view.height),
    `${canvas.w.toFixed(0)} x ${canvas.h.toFixed(0)} in ${view.width} x ${view.height}`);
  check(`${name}: stick and fire button beside or below the picture, thumb-sized`,
    inside(stick) && inside(fire) && apart(stick, canvas) && apart(fire, canvas) && stick.w >= 100 && fire.w >= 80,
    `stick ${stick.w.toFixed(0)} px at ${stick.x.toFixed(0)},${stick.y.toFixed(0)}; fire ${fire.w.toFixed(0)} px`);
  await shoot(page, `${name}.png`);

  // The picture is tapped where the logo is not: any tap starts a game as fire does.
  await tap(canvas.x + canvas.w / 2, canvas.y + canvas.h * 0.85);
  const ship = await poll(page, 'ship', [], (x) => x != null, 10000);
  check(`${name}: tapping the picture starts a game`, ship != null, `ship at ${ship == null ? 'none' : Math.round(ship)}`);
  if (ship == null) return context.close();

  const cx = stick.x + stick.w / 2, cy = stick.y + stick.h / 2, r = stick.w / 2;
  await touch('touchStart', [[cx - r * 0.8, cy - r * 0.1, 0]]);
  const left = await poll(page, 'ship', [], (x) => x != null && x < ship - 200, 6000);
  await touch('touchMove', [[cx + r * 0.8, cy + r * 0.1, 0]]);
  const right = await poll(page, 'ship', [], (x) => x != null && left != null && x > left + 40, 6000);
  await touch('touchEnd', []);
  check(`${name}: the stick steers left and right`, left != null && right != null && left < ship - 200 && right > left + 40,
    `${Math.round(ship)} -> ${left == null ? '?' : Math.round(left)} -> ${right == null ? '?' : Math.round(right)}`);

  const at = (await poll(page, 'ship', [], (x) => x != null, 3000)) || ship;
  const before = await page.evaluate((x) => window.probes.missiles(x), at);
  const fx = fire.x + fire.w / 2, fy = fire.y + fire.h / 2;
  await touch('touchStart', [[fx, fy, 1]]);
  const during = await poll(page, 'missiles', [at], (n) => n > before + 60, 4000);
  await touch('touchEnd', []);
  check(`${name}: the fire button launches missiles from the ship`, during > before + 60, `${before} -> ${during} missile pixels`);

  // Two fingers: steering while the fire button is held.
  const from = (await poll(page, 'ship', [], (x) => x != null, 3000)) || at;
  await touch('touchStart', [[fx, fy, 1]]);
  await touch('touchStart', [[fx, fy, 1], [cx + r * 0.8, cy, 2]]);
  const moved = await poll(page, 'ship', [], (x) => x != null && x > from + 60, 6000);
  const firing = await page.evaluate(() => Module.web.touch[0x1D] !== 0);
  await touch('touchEnd', []);
  check(`${name}: steering and firing at once`, moved != null && moved > from + 60 && firing,
    `ship ${Math.round(from)} -> ${moved == null ? '?' : Math.round(moved)}, fire ${firing ? 'held' : 'lost'}`);

  // No gesture leaves the page or zooms it: swipes from the left edge and across (which went back in the
  // history before), upwards, and a two-finger spread (which zoomed the page 5x).
  const frames = await page.evaluate(() => window.probes.frames());
  const drag = async (paths) => {
    await touch('touchStart', paths.map(([x, y, , , id]) => [x, y, id]));
    for (let i = 1; i <= 20; ++i) {
      await touch('touchMove', paths.map(([x, y, dx, dy, id]) => [x + dx * i / 20, y + dy * i / 20, id]));
      await pause(16);
    }
    await touch('touchEnd', []);
  };
  await drag([[4, view.height / 2, view.width * 0.8, 0, 0]]);
  await drag([[view.width - 4, view.height / 2, -view.width * 0.8, 0, 0]]);
  await drag([[view.width / 2, view.height * 0.8, 0, -view.height * 0.6, 0]]);
  await drag([[view.width / 2 - 5, view.height / 2, -150, -150, 0], [view.width / 2 + 5, view.height / 2, 150, 150, 1]]);
  await pause(1500);
  const after = await page.evaluate(() => ({url: location.href, scale: visualViewport.scale, scrollX, scrollY,
    frames: window.probes.frames()})).catch((e) => ({url: String(e)}));
  check(`${name}: swipes and a pinch leave the page where it was`, after.url === url && after.scale === 1
    && after.scrollX === 0 && after.scrollY === 0 && after.frames > frames,
    `${after.url}, zoom ${after.scale}, scrolled ${after.scrollX},${after.scrollY}`);

  // Name entry: the game's "1" and Escape (a keyboard on the phone) end the game with a good score; the
  // letter pad types the name and finishes.
  if (name === 'phone-portrait') {
    // Each try is a game of its own in the page loaded afresh, so nothing is held over from the checks
    // above; a try whose score stays out of the table (a seeker took the ship first) is made again.
    let entry = 0;
    for (let attempt = 0; attempt < 3 && entry <= 200; ++attempt) {
      await open(page, url);
      await tap(view.width / 2, view.height / 2);
      await poll(page, 'logo', [], (n) => n > 800, 30000);
      await tap(canvas.x + canvas.w / 2, canvas.y + canvas.h * 0.85);
      await poll(page, 'ship', [], (x) => x != null, 10000);
      await page.keyboard.down('Digit1'); await pause(150); await page.keyboard.up('Digit1');
      await pause(3000);
      await page.keyboard.down('Escape'); await pause(150); await page.keyboard.up('Escape');
      entry = await poll(page, 'nameEntry', [], (n) => n > 200, 8000);
    }
    const pad = await page.evaluate(() => window.probes.seen('pad') && !window.probes.seen('stick'));
    if (check('name entry shows the letter pad instead of the stick', entry > 200 && pad, `${entry} title pixels`)) {
      const keyAt = (label) => page.evaluate((label) => {
        const b = [...document.querySelectorAll('#pad button')].find((e) => e.textContent === label).getBoundingClientRect();
        return [b.left + b.width / 2, b.top + b.height / 2];
      }, label);
      const typed = [await page.evaluate(() => window.probes.nameRow())];
      for (const label of ['v', 'd']) {
        await tap(...await keyAt(label));
        typed.push(await poll(page, 'nameRow', [], (n) => n > typed[typed.length - 1] + 20, 3000));
      }
      await shoot(page, 'phone-name-entry.png');
      await tap(...await keyAt('done'));
      const done = await page.waitForFunction(() => !Module.web.typing && !window.probes.seen('pad') && window.probes.seen('stick'),
        null, {timeout: 5000}).then(() => true, () => false);
      check('the letter pad types and "done" ends name entry', typed[1] > typed[0] + 20 && typed[2] > typed[1] + 20 && done,
        `name row ${typed.join(' -> ')} lit pixels; ${done ? 'the stick is back' : 'still in name entry'}`);
    }
  }
  // The full screen button: the page fills the screen, still 4:3, without the button and the licence link.
  const button = await page.evaluate(() => window.probes.box('corner'));
  await tap(button.x + 30, button.y + 15);
  const full = await page.waitForFunction(() => document.fullscreenElement && !window.probes.seen('corner'), null,
    {timeout: 5000}).then(() => true, () => false);
  const inFull = await page.evaluate(() => window.probes.box('screen'));
  check(`${name}: the full screen button`, full && Math.abs(inFull.w / inFull.h - 4 / 3) < 0.01,
    full ? `${inFull.w.toFixed(0)} x ${inFull.h.toFixed(0)}` : 'not full screen');
  await shoot(page, `${name}-full-screen.png`);
  check(`${name}: no errors in the page`, errors.length === 0, errors.join('; ') || undefined);
  await context.close();
}

// ---- A desktop browser. ----
async function desktop(browser, url) {
  const context = await browser.newContext({viewport: {width: 1100, height: 600}, serviceWorkers: 'block'});
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await open(page, url);
  await page.mouse.click(550, 300);
  await poll(page, 'logo', [], (n) => n > 800, 30000);
  const canvas = await page.evaluate(() => window.probes.box('screen'));
  const line = await page.evaluate(() => window.probes.seen('keys') && document.getElementById('keys').innerText);
  const touchShown = await page.evaluate(() => ['stick', 'fire', 'pad'].some((id) => window.probes.seen(id)));
  check('desktop: 4:3 picture, the key line under it, no touch controls',
    Math.abs(canvas.w / canvas.h - 4 / 3) < 0.01 && canvas.h > 540 && /fire/.test(line) && /steer/.test(line)
    && /quit/.test(line) && /full screen/.test(line) && !touchShown,
    `${canvas.w.toFixed(0)} x ${canvas.h.toFixed(0)}; "${String(line).replace(/\s+/g, ' ')}"`);
  await shoot(page, 'browser-keys.png');

  // Which keys the page keeps from the browser, in play and on the ended page.
  await page.evaluate(() => {
    window.kept = {};
    addEventListener('keydown', (e) => {
      const held = (e.ctrlKey && !/Control/.test(e.code) ? 'Control+' : '') + (e.altKey && !/Alt/.test(e.code) ? 'Alt+' : '');
      window.kept[held + e.code] = e.defaultPrevented;
    });
  });
  await page.keyboard.down('ControlLeft'); await pause(150); await page.keyboard.up('ControlLeft');
  await poll(page, 'ship', [], (x) => x != null, 10000);
  for (const key of ['ArrowLeft', 'Tab', 'KeyF', 'Space', 'Alt+ArrowLeft', 'Control+KeyF', 'Control+KeyL', 'Control+Equal', 'F5'])
    await page.keyboard.press(key, {delay: 30});
  const kept = await page.evaluate(() => window.kept);
  const wanted = {ControlLeft: true, ArrowLeft: true, Tab: false, KeyF: false, Space: false, 'Alt+ArrowLeft': false,
    'Control+KeyF': false, 'Control+KeyL': false, 'Control+Equal': false, F5: false};
  const wrong = Object.entries(wanted).filter(([k, v]) => kept[k] !== v).map(([k]) => `${k} ${kept[k] ? 'kept' : 'passed'}`);
  check('in play the page keeps only the game\'s keys', wrong.length === 0, wrong.join(', ') || 'arrows and Left Control kept; Tab, letters, Space, Alt, Ctrl combinations, F5 passed');

  // Escape and play again, five times: the module runs again from the start, with no growth.
  // Escape leaves play (perhaps through name entry, which Escape leaves too), then the attract pages.
  const rounds = [];
  for (let round = 0; round < 5; ++round) {
    let ended = false;
    for (let tries = 0; tries < 6 && !ended; ++tries) {
      await page.keyboard.down('Escape'); await pause(150); await page.keyboard.up('Escape');
      ended = await page.waitForFunction(() => /has ended/.test(window.probes.message()), null, {timeout: 2000})
        .then(() => true, () => false);
    }
    if (round === 0) {
      await page.evaluate(() => { window.kept = {}; });
      await page.keyboard.press('ArrowLeft');
      await page.keyboard.press('Escape');
      const endedKeys = await page.evaluate(() => window.kept);
      check('the ended page leaves every key to the browser', endedKeys.ArrowLeft === false && endedKeys.Escape === false,
        JSON.stringify(endedKeys));
      await shoot(page, 'ended.png');
    }
    const state = await page.evaluate(() => ({heap: Module.web.heapInUse, stack: Module.web.stackAtStart, memory: HEAPU8.length,
                                              frames: Module.web.frames}));
    // Timed in the page, from the click's arrival to the first frame of the new game.
    const clicked = Date.now();
    const firstFrame = page.evaluate((n) => new Promise((done) => {
      let at;
      document.getElementById('again').addEventListener('click', () => { at = performance.now(); }, {capture: true});
      const wait = () => at !== undefined && Module.web.frames > n ? done(Math.round(performance.now() - at)) : setTimeout(wait, 2);
      wait();
    }), state.frames);
    await page.click('#again');
    const first = await Promise.race([firstFrame, pause(8000).then(() => null)]);
    const logo = await poll(page, 'logo', [], (n) => n > 800, 15000);
    rounds.push({ended, ...state, first, title: Date.now() - clicked, logo});
  }
  // The first game went through play and name entry, the others only through the attract pages: those end alike.
  const same = (key) => rounds.every((r, i) => i < 2 || r[key] === rounds[1][key]);
  check('5 rounds of Escape and play again', rounds.every((r) => r.ended && r.first !== null && r.first < 1000 && r.logo > 800),
    `first frame after ${rounds.map((r) => r.first).join(', ')} ms; title page after ${rounds.map((r) => r.title).join(', ')} ms`);
  check('each game ends with the same heap, stack and memory', same('heap') && same('stack') && same('memory'),
    `heap in use ${rounds.map((r) => r.heap).join('/')} B, stack ${[...new Set(rounds.map((r) => r.stack))].join('/')}, memory ${[...new Set(rounds.map((r) => r.memory))].join('/')} B`);

  check('desktop: no errors in the page', errors.length === 0, errors.join('; ') || undefined);
  await context.close();
}

// Ctrl+R in play reloads the page. A browser acts on its shortcuts only for keys that come from the system,
// so this runs a windowed Chromium on a virtual display (Xvfb picks a free one) and types with xdotool.
async function reloadKey(url) {
  const xvfb = spawn('Xvfb', ['-displayfd', '1', '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
                     {stdio: ['ignore', 'pipe', 'ignore']});
  const display = ':' + await new Promise((done) => xvfb.stdout.once('data', (d) => done(String(d).trim())));
  const env = {...process.env, DISPLAY: display};
  const browser = await chromium.launch({executablePath: '/usr/bin/chromium', headless: false, env,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--window-position=0,0', '--window-size=820,700']});
  try {
    const page = await browser.newPage({viewport: {width: 800, height: 600}});
    await open(page, url);
    const xdotool = (...args) => execFileSync('xdotool', args, {env});
    xdotool('mousemove', '400', '400', 'click', '1');
    await poll(page, 'logo', [], (n) => n > 800, 30000);
    xdotool('key', 'ctrl');
    const ship = await poll(page, 'ship', [], (x) => x != null, 10000);
    await page.evaluate(() => { window.notReloaded = true; });
    const reloaded = page.waitForEvent('load', {timeout: 10000}).then(() => true, () => false);
    xdotool('key', 'ctrl+r');
    check('Ctrl+R in play reaches the browser: the page reloads', ship != null && await reloaded
      && !(await page.evaluate(() => window.notReloaded)), ship == null ? 'no game started' : undefined);
  } finally {
    await browser.close();
    xvfb.kill();
  }
}

// ---- Errors: an exception in the page's code, and one inside the game's frame. ----
async function faults(browser, url) {
  for (const [name, inject] of [
    ['in the page\'s code', () => setTimeout(() => { throw new Error('injected fault'); })],
    ['in the game\'s frame', () => { document.hasFocus = () => { throw new Error('injected fault'); }; }],
  ]) {
    const context = await browser.newContext({viewport: {width: 800, height: 600}, serviceWorkers: 'block'});
    const page = await context.newPage();
    await open(page, url);
    await page.mouse.click(400, 300);
    await poll(page, 'logo', [], (n) => n > 800, 30000);
    await page.evaluate(inject);
    const t0 = Date.now();
    const shown = await page.waitForFunction(() => /error/.test(window.probes.message()) && document.getElementById('reload'),
      null, {timeout: 2000}).then(() => true, () => false);
    const took = Date.now() - t0;
    await pause(300);   // the game takes the close request at its next frame
    const frames = await page.evaluate(() => window.probes.frames());
    await pause(500);
    const later = await page.evaluate(() => window.probes.frames());
    check(`an exception ${name} shows a message with a reload within 2 s, and the game stops`, shown && later === frames,
      `${shown ? `after ${took} ms` : 'none'}: "${await page.evaluate(() => window.probes.message())}"`);
    if (name === 'in the page\'s code') await shoot(page, 'error.png');
    await context.close();
  }
}

// ---- A frame that forbids the Gamepad API: the game plays with the keyboard. ----
async function gamepadForbidden(browser, url) {
  const context = await browser.newContext({viewport: {width: 820, height: 640}, serviceWorkers: 'block'});
  const page = await context.newPage();
  await page.goto(url + 'LICENSE.txt');   // the same origin
  await page.setContent(`<iframe src="${url}" allow="gamepad 'none'" width="800" height="600" style="border:0"></iframe>`);
  const frame = await (await page.waitForSelector('iframe')).contentFrame();
  await frame.waitForFunction(() => typeof Module.callMain === 'function', null, {timeout: 30000});
  await frame.evaluate(PROBES);
  const forbidden = await frame.evaluate(() => { try { navigator.getGamepads(); return false; } catch { return true; } });
  await page.mouse.click(400, 300);
  const logo = await poll(frame, 'logo', [], (n) => n > 800, 30000);
  await page.keyboard.down('ControlLeft'); await pause(150); await page.keyboard.up('ControlLeft');
  const ship = await poll(frame, 'ship', [], (x) => x != null, 10000);
  const message = await frame.evaluate(() => window.probes.message());
  check('in a frame that forbids gamepads the game plays and says nothing', forbidden && logo > 800 && ship != null && !message,
    `getGamepads ${forbidden ? 'throws' : 'works'}, ${logo} logo pixels, ship ${ship == null ? 'none' : 'in play'}${message ? `, "${message}"` : ''}`);
  await context.close();
}

// ---- The site: hashed names, installable, a zip for hosts, and offline after one visit. ----
async function installable() {
  const files = readdirSync(site);
  const stale = files.filter((f) => /\.[0-9a-f]{12}\./.test(f)
    && !f.includes(createHash('sha256').update(readFileSync(join(site, f))).digest('hex').slice(0, 12)));
  const page = readFileSync(join(site, 'index.html'), 'utf8');
  const missing = [...page.matchAll(/(?:src|href)="([^"#:]+)"/g)].map((m) => m[1]).filter((f) => !files.includes(f));
  check('every hashed name matches its bytes, and the page names only files that are there',
    files.some((f) => /^vexed-drifts\.[0-9a-f]{12}\.wasm$/.test(f)) && stale.length === 0 && missing.length === 0,
    `${files.length} files${stale.length ? `; stale ${stale}` : ''}${missing.length ? `; missing ${missing}` : ''}`);

  const zips = readdirSync(join(site, '..')).filter((f) => /^vexed-drifts-.*-web\.zip$/.test(f));
  const zip = zips.length === 1 ? readFileSync(join(site, '..', zips[0])) : Buffer.alloc(0);
  const entries = [];
  for (let at = zip.indexOf('PK\x01\x02'); at >= 0; at = zip.indexOf('PK\x01\x02', at + 46))
    entries.push(zip.toString('utf8', at + 46, at + 46 + zip.readUInt16LE(at + 28)));
  check('the zip holds the site as it is, index.html at its top', zips.length === 1
    && entries.sort().join() === [...files].sort().join() && entries.includes('LICENSE.txt'),
    `${zips.join()}: ${entries.length} entries, ${zip.length} bytes`);

  const server = await serve(site, 0);
  const url = `http://127.0.0.1:${server.address().port}/`;
  // Installing needs a profile of its own (not a private window).
  const context = await chromium.launchPersistentContext(mkdtempSync(join(tmpdir(), 'page-test-')),
    {executablePath: '/usr/bin/chromium', args: CHROMIUM_FLAGS, ...devices['Pixel 7 landscape']});
  const tab = context.pages()[0] || await context.newPage();
  const cdp = await context.newCDPSession(tab);
  await tab.goto(url);
  await tab.evaluate(() => navigator.serviceWorker.ready);
  await tab.waitForFunction(async () => (await caches.keys()).length === 1 && navigator.serviceWorker.controller !== undefined,
    null, {timeout: 15000});
  const {installabilityErrors} = await cdp.send('Page.getInstallabilityErrors');
  const manifest = await cdp.send('Page.getAppManifest');
  const parsed = JSON.parse(manifest.data || '{}');
  check('the page is an installable app with the game\'s icons', installabilityErrors.length === 0
    && parsed.icons && parsed.icons.some((i) => i.sizes === '512x512') && parsed.orientation === 'landscape',
    installabilityErrors.map((e) => e.errorId).join(', ') || `${parsed.name}, ${parsed.display}, ${parsed.icons.length} icons`);

  // Installed, the app opens in a window of its own and starts.
  await cdp.send('PWA.install', {manifestId: url, installUrlOrBundleUrl: url});
  const launched = context.waitForEvent('page', {timeout: 15000});
  await cdp.send('PWA.launch', {manifestId: url});
  const app = await launched;
  const started = await app.waitForFunction(() => typeof Module.callMain === 'function', null, {timeout: 30000})
    .then(() => true, () => false);
  check('the installed app opens in its own window', started && app.url() === url, app.url());
  if (started && shots) {
    await app.evaluate(PROBES);
    await app.mouse.click(300, 300);
    await poll(app, 'logo', [], (n) => n > 800, 30000);
    await shoot(app, 'installed-app.png');
  }
  await app.close();
  // Offline: the server is gone and the browser has no network.
  server.closeAllConnections();
  await new Promise((done) => server.close(done));
  await context.setOffline(true);
  await tab.reload();
  await tab.waitForFunction(() => typeof Module.callMain === 'function', null, {timeout: 30000});
  await tab.evaluate(PROBES);
  await cdp.send('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [{x: 400, y: 180}]});
  await cdp.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
  const logo = await poll(tab, 'logo', [], (n) => n > 800, 30000);
  check('offline after one visit, a reload starts the game and reaches its title page', logo > 800, `${logo} logo pixels`);
  await shoot(tab, 'offline.png');
  await context.close();
}

// A page or browser that hangs must not hold CI up.
setTimeout(() => {
  console.log(`page-test: ${counts.passed} passed, ${counts.failed + 1} failed (timed out)`);
  process.exit(1);
}, 420000).unref();

const server = await serve(site, 0);
const url = `http://127.0.0.1:${server.address().port}/`;
const browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: CHROMIUM_FLAGS});
for (const part of [
  () => phone(browser, url, 'Pixel 7', 'phone-portrait'),
  () => phone(browser, url, 'Pixel 7 landscape', 'phone-landscape'),
  () => desktop(browser, url),
  () => reloadKey(url),
  () => faults(browser, url),
  () => gamepadForbidden(browser, url),
  () => installable(),
]) {
  try {
    await part();
  } catch (e) {
    check('the run went through', false, e.message.split('\n')[0]);
  }
}
await browser.close();
server.close();
console.log(`page-test: ${counts.passed} passed, ${counts.failed} failed`);
process.exit(counts.failed ? 1 : 0);
