// The web page in WebKit (WebKitGTK's MiniBrowser through WebKitWebDriver, under Xvfb), checked from the
// canvas pixels as in web-test.mjs: the title page, a game started with Control, the sound, the frame rate.
//   DISPLAY=:n node webkit-test.mjs <site folder> [screenshot prefix]
// Ends with "webkit-test: N passed, M failed"; the exit status is 1 when any failed.
import {writeFileSync} from 'node:fs';
import {serve} from '../../platform/web/serve.mjs';
import {PROBES} from './probes.mjs';
import {openWebKit} from './webkit.mjs';

const site = process.argv[2];
const shots = process.argv[3];
// CI machines are slow and shared: this only catches a page that crawls. The real figures come from
// tests/web/measure.mjs.
const LEAST_FPS = 25;

let passed = 0, failed = 0;
function check(name, ok, detail) {
  if (ok) ++passed; else ++failed;
  console.log(`${ok ? 'pass' : 'FAIL'}: webkit: ${name}${detail === undefined ? '' : ` (${detail})`}`);
  return ok;
}

const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

async function poll(browser, f, args, accept, limitMs) {
  const until = Date.now() + limitMs;
  for (;;) {
    const value = await browser.evaluate((f, args) => window.probes[f](...args), f, args);
    if (accept(value) || Date.now() > until) return value;
    await sleep(50);
  }
}

async function shoot(browser, name) {
  if (shots) writeFileSync(`${shots}-${name}.png`, Buffer.from(await browser.screenshot(), 'base64'));
}

async function run(browser, url) {
  await browser.goto(url);
  const until = Date.now() + 30000;
  while (!(await browser.evaluate(() => typeof Module === 'object' && typeof Module.callMain === 'function'))) {
    if (Date.now() > until) return check('the module loads', false);
    await sleep(100);
  }
  await browser.evaluate(PROBES);
  await browser.click(400, 300);
  const title = await poll(browser, 'titlePage', [], t => t.logo > 800 && t.cells >= 12, 30000);
  check('the title page with its star field', title.logo > 800 && title.cells >= 12,
    `${title.logo} logo pixels, stars in ${title.cells} of 16 cells`);
  await shoot(browser, 'title');

  await browser.key('\uE009');  // Control
  const round1 = await poll(browser, 'message', [], m => m.lit > 150, 10000);
  const ship = await poll(browser, 'ship', [], s => s !== null, 10000);
  check('Control starts round 1: its message and the ship', round1.lit > 150 && ship !== null,
    `${round1.lit} message pixels, ship ${ship ? 'there' : 'none'}`);
  const heard = await poll(browser, 'sound', [], level => level > 0.01, 10000);
  const thread = await browser.evaluate(() => window.probes.mixing());
  check('sound reaches the output', heard > 0.01, `level ${heard.toFixed(3)}, mixed on ${thread}`);
  await shoot(browser, 'play');

  const start = await browser.evaluate(() => window.probes.counters());
  await sleep(10000);
  const end = await browser.evaluate(() => window.probes.counters());
  const fps = (end.frames - start.frames) * 1000 / (end.at - start.at);
  check(`at least ${LEAST_FPS} frames per second in play over 10 s`, fps >= LEAST_FPS, `${fps.toFixed(1)} frames per second`);
  check('the audio ran dry at most once meanwhile', end.stalls - start.stalls <= 1, `${end.stalls - start.stalls} times`);
}

setTimeout(() => {
  console.log(`webkit-test: ${passed} passed, ${failed + 1} failed (timed out)`);
  process.exit(1);
}, 150000).unref();

const server = await serve(site, 0);
let browser;
try {
  browser = await openWebKit();
  await run(browser, `http://127.0.0.1:${server.address().port}/`);
} catch (e) {
  check('the run went through', false, e.message);
} finally {
  if (browser) await browser.close();
  server.close();
}
console.log(`webkit-test: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
