import {chromium} from 'playwright-core';
import {writeFileSync} from 'node:fs';
import {serve} from '../../platform/web/serve.mjs';
import {PROBES} from './probes.mjs';
import {CHROMIUM_FLAGS} from './common.mjs';
const sleep = ms => new Promise(r => setTimeout(r, ms));
const server = await serve(process.argv[2], 0);
const url = `http://127.0.0.1:${server.address().port}/`;
const browser = await chromium.launch({executablePath: '/usr/bin/chromium', args: CHROMIUM_FLAGS});
const page = await browser.newPage({viewport: {width: 800, height: 600}});
await page.goto(url);
await page.waitForFunction(() => typeof Module === 'object' && typeof Module.callMain === 'function', null, {timeout: 60000});
await page.evaluate(PROBES);
if (process.argv[4] === 'main') await page.evaluate(() => { window.AudioWorkletNode = undefined; });
await page.mouse.click(200, 200);
await page.waitForFunction(() => window.probes.titlePage().logo > 800, null, {timeout: 60000, polling: 100});
if (process.argv[4] === 'title') await page.evaluate(() => { window.recordMs = 20000; });
const rec = page.evaluate(async () => {
  const context = Module.audioContext, web = Module.web;
  const code = `registerProcessor('rec', class extends AudioWorkletProcessor {
    constructor() { super(); this.buf = []; }
    process(inputs) { const c = inputs[0][0]; this.buf.push(c ? Float32Array.from(c) : new Float32Array(128));
      if (this.buf.length === 64) { this.port.postMessage(this.buf); this.buf = []; } return true; } });`;
  await context.audioWorklet.addModule(URL.createObjectURL(new Blob([code], {type: 'text/javascript'})));
  const node = new AudioWorkletNode(context, 'rec', {numberOfInputs: 1, numberOfOutputs: 1, outputChannelCount: [1]});
  const chunks = [];
  node.port.onmessage = (e) => { for (const c of e.data) chunks.push(Array.from(c)); };
  const sink = context.createGain(); sink.gain.value = 0;
  web.gain.connect(node); node.connect(sink); sink.connect(context.destination);
  await new Promise(r => setTimeout(r, Number(window.recordMs || 8000)));
  node.disconnect();
  return chunks.flat();
});
if (process.argv[4] !== 'title') {
await sleep(3000);
await page.keyboard.down('ControlLeft'); await sleep(150); await page.keyboard.up('ControlLeft');
for (let i = 0; i < 8; ++i) { await sleep(300); await page.keyboard.down('ControlLeft'); await sleep(80); await page.keyboard.up('ControlLeft'); }
}
const samples = await rec;
const n = samples.length, buf = Buffer.alloc(44 + 2 * n);
buf.write('RIFF', 0); buf.writeUInt32LE(36 + 2 * n, 4); buf.write('WAVEfmt ', 8); buf.writeUInt32LE(16, 16);
buf.writeUInt16LE(1, 20); buf.writeUInt16LE(1, 22); buf.writeUInt32LE(44100, 24); buf.writeUInt32LE(88200, 28);
buf.writeUInt16LE(2, 32); buf.writeUInt16LE(16, 34); buf.write('data', 36); buf.writeUInt32LE(2 * n, 40);
for (let i = 0; i < n; ++i) buf.writeInt16LE(Math.max(-32768, Math.min(32767, Math.round(samples[i] * 32768))), 44 + 2 * i);
writeFileSync(process.argv[3], buf);
let run = 0, longest = 0; for (let i = 4410; i < n; ++i) { if (samples[i] === 0) { ++run; longest = Math.max(longest, run); } else run = 0; }
console.log(`${n} samples, longest run of exact zeros after 0.1 s: ${longest}`);
await browser.close(); server.close();
