// Figures of the web page, measured (not a test: nothing passes or fails here).
//   node measure.mjs <site folder> [fps|audio|latency|webkit|profile]...   (all when none is named)
//   fps      frame rate in play at 915 x 412 under Chromium's CPU throttling 1x, 4x and 6x
//   audio    3 minutes of play under 2x throttling: audio stalls, the longest frame gap (and the queue's lead
//            where the page mixes on its main thread)
//   latency  on a quiet page: an effect's way to the audio thread (or the queue ahead of it where the main
//            thread mixes) plus the output's own latency
//   webkit   frame rate in play, WebKit (MiniBrowser, needs DISPLAY) and Chromium taking turns
//   profile  where the main thread's time goes in play at 4x: a sampled profile by function
// MEASURE_PRESENTING=webgl, offscreen or 2d overrides the page's choice of canvas; MEASURE_RATES=4,6 picks the rates;
// MEASURE_MIXING=main mixes the sound on the main thread, as a page without an AudioWorklet does.
import {chromium} from 'playwright-core';
import {serve} from '../../platform/web/serve.mjs';
import {PROBES} from './probes.mjs';
import {openWebKit} from './webkit.mjs';
import {CHROMIUM_FLAGS} from './common.mjs';

const site = process.argv[2];
const wanted = process.argv.slice(3);
const all = wanted.length === 0;
const goals = [];   // the closing summary: what was measured against what is aimed at
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

const server = await serve(site, 0);
const url = `http://127.0.0.1:${server.address().port}/`;
const browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: CHROMIUM_FLAGS});

// How the page shows its frames.
const PRESENTING = () => !Module.web ? '?' : Module.web.gl ? 'WebGL'
  : Module.web.surface && Module.web.surface !== Module.canvas ? 'an OffscreenCanvas' : 'the 2D canvas';

// Frame gaps and queue leads, recorded in the page as frames are shown.
const RECORDER = () => {
  window.gaps = [];
  window.leads = [];
  let last = 0;
  const web = Module.web;
  const record = () => {
    const now = performance.now();
    if (last) window.gaps.push(now - last);
    last = now;
    if (web.audioLead !== undefined) window.leads.push(web.audioLead);
  };
  // Whichever way the page shows its frames.
  const wrap = (proto, name) => {
    if (!proto) return;
    const f = proto[name];
    proto[name] = function (...a) { record(); return f.apply(this, a); };
  };
  wrap(CanvasRenderingContext2D.prototype, 'putImageData');
  wrap(window.OffscreenCanvasRenderingContext2D && OffscreenCanvasRenderingContext2D.prototype, 'putImageData');
  wrap(window.WebGLRenderingContext && WebGLRenderingContext.prototype, 'texSubImage2D');
  wrap(window.WebGL2RenderingContext && WebGL2RenderingContext.prototype, 'texSubImage2D');
};

async function startGame(page) {
  await page.goto(url);
  await page.waitForFunction(() => typeof Module === 'object' && typeof Module.callMain === 'function', null, {timeout: 60000});
  await page.evaluate(PROBES);
  if (process.env.MEASURE_PRESENTING) await page.evaluate(way => { Module.presenting = way; }, process.env.MEASURE_PRESENTING);
  // As a page without an AudioWorklet: the main thread mixes.
  if (process.env.MEASURE_MIXING === 'main') await page.evaluate(() => { window.AudioWorkletNode = undefined; });
  await page.mouse.click(200, 200);
  await page.waitForFunction(() => { const t = window.probes.titlePage(); return t.logo > 800; }, null, {timeout: 60000, polling: 100});
  await page.keyboard.down('ControlLeft');
  await sleep(150);
  await page.keyboard.up('ControlLeft');
  await page.waitForFunction(() => window.probes.ship() !== null, null, {timeout: 20000, polling: 100});
  await page.evaluate(RECORDER);
}

// Steers left and right and fires for a while, as a player would.
async function play(page, ms) {
  const until = Date.now() + ms;
  for (let i = 0; Date.now() < until; ++i) {
    const named = await page.evaluate(() => window.probes.nameEntry());
    if (named > 200) {
      await page.keyboard.type('m');
      await page.keyboard.press('Enter');
    }
    const key = i % 2 ? 'ArrowLeft' : 'ArrowRight';
    await page.keyboard.down(key);
    await page.keyboard.down('ControlLeft');
    await sleep(Math.min(700, Math.max(0, until - Date.now())));
    await page.keyboard.up('ControlLeft');
    await page.keyboard.up(key);
  }
}

const summary = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const at = q => sorted.length ? sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))] : NaN;
  return {n: sorted.length, median: at(0.5), p99: at(0.99), max: sorted[sorted.length - 1]};
};

async function measureFps(page, ms) {
  const start = await page.evaluate(() => window.probes.counters());
  await page.evaluate(() => { window.gaps = []; });
  await play(page, ms);
  const end = await page.evaluate(() => window.probes.counters());
  const gaps = summary(await page.evaluate(() => window.gaps));
  return {fps: (end.frames - start.frames) * 1000 / (end.at - start.at), stalls: end.stalls - start.stalls, gaps};
}

async function newPage(width, height) {
  const context = await browser.newContext({viewport: {width, height}});
  const page = await context.newPage();
  const cdp = await context.newCDPSession(page);
  return {page, cdp, close: () => context.close()};
}

if (all || wanted.includes('fps')) {
  for (const rate of (process.env.MEASURE_RATES || '1,4,6').split(',').map(Number)) {
    const {page, cdp, close} = await newPage(915, 412);
    await startGame(page);
    await cdp.send('Emulation.setCPUThrottlingRate', {rate});
    await sleep(2000);
    const r = await measureFps(page, 15000);
    const goal = {4: 58, 6: 55}[rate];
    goals.push(`${rate}x throttling, frames per second in play at 915x412: ${r.fps.toFixed(1)}` +
      (goal ? ` (at least ${goal}: ${r.fps >= goal ? 'met' : 'missed'})` : ''));
    console.log(`fps: ${rate}x throttling at 915x412, 15 s in play: ${r.fps.toFixed(1)} frames/s, frame gap median ` +
      `${r.gaps.median.toFixed(1)} ms, 99% ${r.gaps.p99.toFixed(1)} ms, longest ${r.gaps.max.toFixed(1)} ms, ${r.stalls} audio stalls`);
    await close();
  }
}

if (all || wanted.includes('audio')) {
  const {page, cdp, close} = await newPage(800, 600);
  await startGame(page);
  await cdp.send('Emulation.setCPUThrottlingRate', {rate: 2});
  const r = await measureFps(page, 180000);
  const leads = summary(await page.evaluate(() => window.leads));
  const way = await page.evaluate(() => window.probes.mixing());
  goals.push(`audio stalls in 3 min of play at 2x throttling: ${r.stalls} (none: ${r.stalls === 0 ? 'met' : 'missed'})`);
  console.log(`audio: 3 min of play at 2x throttling: ${r.stalls} stalls, ${r.fps.toFixed(1)} frames/s, longest frame gap ` +
    `${r.gaps.max.toFixed(1)} ms (99% ${r.gaps.p99.toFixed(1)} ms); mixed on ${way}` +
    (leads.n ? `; queue lead median ${leads.median} ms, longest ${leads.max} ms` : ''));
  await close();
}

if (all || wanted.includes('latency')) {
  const {page, close} = await newPage(800, 600);
  await startGame(page);
  if (await page.evaluate(() => !!Module.web.audioNode)) {
    // Mixed on the audio thread: an effect's voice is a message there, mixed into the next block of 128
    // samples; the context adds its own buffering and the device's. The message's way is taken as the
    // whole round trip of a ping (it is about half of that).
    const r = await page.evaluate(async () => {
      const context = Module.audioContext, web = Module.web, trips = [];
      web.onAudioMessage = (m) => { if (m.op === 'pong') trips.push(performance.now() - m.sent); };
      for (let i = 0; i < 400; ++i) {
        web.audioNode.port.postMessage({op: 'ping', sent: performance.now()});
        await new Promise(resolve => setTimeout(resolve, 7));
      }
      return {trips, quantum: 128 / context.sampleRate * 1000, base: (context.baseLatency || 0) * 1000,
              output: (context.outputLatency || 0) * 1000};
    });
    const trip = summary(r.trips);
    const heard = trip.p99 + r.quantum + r.base + r.output + 1000 / 60;
    goals.push(`an effect heard within ${heard.toFixed(0)} ms of its cause (at most 100: ${heard <= 100 ? 'met' : 'missed'})`);
    console.log(`latency: mixed on the audio thread; a message's round trip there median ${trip.median.toFixed(1)} ms, ` +
      `99% ${trip.p99.toFixed(1)} ms, longest ${trip.max.toFixed(1)} ms (${trip.n} pings); one block of ${r.quantum.toFixed(1)} ms; ` +
      `context base latency ${r.base.toFixed(1)} ms, output latency ${r.output.toFixed(1)} ms; ` +
      `an effect is heard within ${heard.toFixed(0)} ms (the frame it is started in included)`);
  } else {
    // The lead grew over the loading's long frames; steady frames take it back down to its least.
    for (let i = 0; i < 120 && (await page.evaluate(() => Module.web.audioLead)) > 40; ++i) await sleep(500);
    // The queue ahead of the output when an effect is mixed is what was queued at that moment; the
    // context adds its own buffering and the device's. A loaded machine's late frames grow the lead
    // meanwhile (as they should): the figure for a quiet machine is taken while the lead is at its least.
    const r = await page.evaluate(async () => {
      const queued = [];
      const context = Module.audioContext, web = Module.web;
      for (let i = 0; i < 400; ++i) {
        queued.push({ahead: (web.audioEnd / context.sampleRate - context.currentTime) * 1000, lead: web.audioLead});
        await new Promise(resolve => setTimeout(resolve, 7));
      }
      return {queued, base: (context.baseLatency || 0) * 1000, output: (context.outputLatency || 0) * 1000};
    });
    const leastLead = Math.min(...r.queued.map(x => x.lead));
    const every = summary(r.queued.map(x => x.ahead));
    const q = summary(r.queued.filter(x => x.lead === leastLead).map(x => x.ahead));
    const heard = q.max + r.base + r.output + 1000 / 60;
    goals.push(`an effect heard within ${heard.toFixed(0)} ms of its cause (at most 100: ${heard <= 100 ? 'met' : 'missed'})`);
    console.log(`latency: with the lead at its least (${leastLead} ms, ${q.n} of ${every.n} samples) queued ahead median ` +
      `${q.median.toFixed(1)} ms, longest ${q.max.toFixed(1)} ms (all samples: longest ${every.max.toFixed(1)} ms); ` +
      `context base latency ${r.base.toFixed(1)} ms, output latency ${r.output.toFixed(1)} ms; ` +
      `an effect is heard within ${heard.toFixed(0)} ms (the frame it is mixed in included)`);
  }
  await close();
}

if (all || wanted.includes('profile')) {
  const rate = Number(process.env.MEASURE_PROFILE_RATE || 4);
  const {page, cdp, close} = await newPage(915, 412);
  await startGame(page);
  await cdp.send('Emulation.setCPUThrottlingRate', {rate});
  await sleep(1000);
  await cdp.send('Profiler.enable');
  await cdp.send('Profiler.setSamplingInterval', {interval: 200});
  const before = await page.evaluate(() => window.probes.counters());
  await cdp.send('Profiler.start');
  await play(page, 10000);
  const {profile} = await cdp.send('Profiler.stop');
  const after = await page.evaluate(() => window.probes.counters());
  const frames = Math.max(1, after.frames - before.frames);
  const self = new Map(), groups = new Map();
  const byId = new Map(profile.nodes.map(n => [n.id, n]));
  // What each function is part of: the module (WebAssembly), presenting, audio nodes, the timers and
  // messages that pace the frames, the browser's own work, idle.
  const group = (frame) => {
    const name = frame.functionName;
    if (/\.wasm$|^wasm:/.test(frame.url) || /^wasm-function/.test(name)) {
      // Names only in a build linked with --profiling-funcs.
      if (/Sid|StepVoice|RenderFrame|Mix|Voice|Tune|Block|Audio/.test(name)) return 'the module: tune and mixer';
      if (/PresentFrame|ShowFrame/.test(name)) return 'the module: presenting (alpha bytes)';
      return /^wasm-function/.test(name) ? 'the module' : 'the module: game and drawing';
    }
    if (/^(putImageData|texSubImage2D|drawArrays|WebShowFrame)$/.test(name)) return 'presenting';
    if (/^(createBuffer|createBufferSource|connect|start|WebQueueAudio|getChannelData|WebAudioQueued|set)$/.test(name) ||
        /Audio/.test(name)) return 'audio (page side)';
    if (/^(postMessage|setTimeout|handleSleep|WebNap|maybeStopUnwind|wake|wakeUp|onmessage|_emscripten_get_now|now)$/.test(name) ||
        /Asyncify|asyncify|napWakes/.test(name)) return 'timers, messages, sleeps';
    if (/^\((program|idle|garbage collector)\)$/.test(name)) return name;
    return 'other script';
  };
  let total = 0;
  profile.samples.forEach((id, i) => {
    const node = byId.get(id);
    const name = node.callFrame.functionName || `(${node.callFrame.url.split('/').pop() || 'anonymous'})`;
    const dt = profile.timeDeltas[i + 1] || 0;   // a sample's time runs until the next one
    self.set(name, (self.get(name) || 0) + dt);
    const g = group(node.callFrame);
    groups.set(g, (groups.get(g) || 0) + dt);
    total += dt;
  });
  const perFrame = (us) => `${(us / 1000 / frames).toFixed(2).padStart(6)} ms/frame ${(100 * us / total).toFixed(1).padStart(5)}%`;
  console.log(`profile: ${rate}x throttling at 915x412, 10 s in play, ${(frames * 1e6 / total).toFixed(1)} frames/s; main thread:`);
  for (const [name, us] of [...groups.entries()].sort((a, b) => b[1] - a[1])) console.log(`  ${perFrame(us)}  ${name}`);
  console.log('  by function (self time):');
  const top = [...self.entries()].sort((a, b) => b[1] - a[1]).slice(0, Number(process.env.MEASURE_TOP || 15));
  for (const [name, us] of top) console.log(`  ${perFrame(us)}  ${name.slice(0, 110)}`);
  await close();
}

if (all || wanted.includes('webkit')) {
  for (let round = 0; round < Number(process.env.MEASURE_ROUNDS || 2); ++round) {
    const {page, close} = await newPage(800, 600);
    await startGame(page);
    await sleep(1000);
    const c = await measureFps(page, 15000);
    await close();
    const wk = await openWebKit();
    let w;
    try {
      await wk.goto(url);
      for (let i = 0; i < 300 && !(await wk.evaluate(() => typeof Module === 'object' && typeof Module.callMain === 'function')); ++i) await sleep(100);
      await wk.evaluate(PROBES);
      if (process.env.MEASURE_PRESENTING) await wk.evaluate(way => { Module.presenting = way; }, process.env.MEASURE_PRESENTING);
      await wk.click(200, 200);
      const way = await wk.evaluate(`() => new Promise(resolve => setTimeout(() => resolve((${PRESENTING})()), 3000))`);
      for (let i = 0; i < 300 && (await wk.evaluate(() => window.probes.titlePage().logo)) < 800; ++i) await sleep(100);
      const title = await wk.evaluate(() => window.probes.counters());
      await sleep(5000);
      const titleEnd = await wk.evaluate(() => window.probes.counters());
      await wk.key('\uE009');
      await sleep(3000);
      await wk.evaluate(RECORDER);
      const start = await wk.evaluate(() => window.probes.counters());
      await sleep(15000);
      const end = await wk.evaluate(() => window.probes.counters());
      w = {title: (titleEnd.frames - title.frames) * 1000 / (titleEnd.at - title.at),
           play: (end.frames - start.frames) * 1000 / (end.at - start.at), stalls: end.stalls - start.stalls, way,
           gaps: summary(await wk.evaluate(() => window.gaps))};
    } finally {
      await wk.close();
    }
    const behind = 100 - 100 * w.play / c.fps;
    goals.push(`WebKit against Chromium in play, round ${round + 1}: ${w.play.toFixed(1)} and ${c.fps.toFixed(1)} frames/s ` +
      `(within 5%: ${behind <= 5 ? 'met' : 'missed'})`);
    console.log(`webkit: round ${round + 1}: Chromium ${c.fps.toFixed(1)} frames/s in play (frame gap median ` +
      `${c.gaps.median.toFixed(1)} ms, 99% ${c.gaps.p99.toFixed(1)} ms); WebKit ${w.play.toFixed(1)} in play (median ` +
      `${w.gaps.median.toFixed(1)} ms, 99% ${w.gaps.p99.toFixed(1)} ms), ${w.title.toFixed(1)} on the title page, ` +
      `${w.stalls} audio stalls; WebKit ${(100 * w.play / c.fps - 100).toFixed(1)}% against Chromium (WebKit through ${w.way})`);
  }
}

await browser.close();
server.close();
const load = (await import('node:os')).loadavg().map(x => x.toFixed(2)).join(' ');
if (goals.length) console.log(`summary (load average at the end ${load}):\n${goals.map(g => `  ${g}`).join('\n')}`);
