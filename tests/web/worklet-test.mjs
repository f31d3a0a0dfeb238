// The audio thread's side of the page (platform/web/audio-worklet.js with its module), run under Node.js with
// a stand-in for the worklet's scope: the tune's blocks play in order and whole, each goes back to the tune
// as it starts, a queue that runs dry counts one stall, and voices play their copied samples.
//   node worklet-test.mjs <audio-worklet.js> <vexed-drifts-audio.wasm>
import {readFileSync} from 'node:fs';
import {runInNewContext} from 'node:vm';
import {tally} from './common.mjs';

const [script, wasm] = process.argv.slice(2);
const {check, counts} = tally();

// The worklet's scope: registerProcessor keeps the class; each processor gets a port whose messages to the
// page are kept in `sent`.
let Processor;
const scope = {registerProcessor: (name, c) => { Processor = c; }, WebAssembly, Float32Array, Int16Array, Map, Proxy,
               console, AudioWorkletProcessor: class { constructor() { this.port = {postMessage: (m) => this.sent.push(m)}; this.sent = []; } }};
runInNewContext(readFileSync(script, 'utf8'), scope);

async function worklet() {
  const w = new Processor({processorOptions: {wasm: readFileSync(wasm)}});
  for (let i = 0; i < 100 && !w.sent.some((m) => m.op === 'ready'); ++i) await new Promise((r) => setTimeout(r, 10));
  const send = (m) => w.port.onmessage({data: m});
  const play = (quanta) => {
    const out = [];
    for (let q = 0; q < quanta; ++q) {
      const block = new Float32Array(128);
      w.process([], [[block]]);
      out.push(...Array.from(block, (x) => Math.round(x * 32768)));
    }
    return out;
  };
  const handedBack = () => w.sent.filter((m) => m.op === 'played').map((m) => m.block);
  return {w, send, play, handedBack};
}

const ramp = (from, n) => Int16Array.from({length: n}, (_, i) => from + i);
{
  const {w, send, play, handedBack} = await worklet();
  check('the module comes up', w.sent.some((m) => m.op === 'ready'));
  send({op: 'open', stream: 5});
  send({op: 'queue', block: 0, samples: ramp(0, 300)});
  send({op: 'queue', block: 1, samples: ramp(300, 300)});
  const before = play(2);
  check('nothing plays before the stream is resumed', before.every((x) => x === 0) && handedBack().length === 0);
  send({op: 'resume'});
  const first = handedBack();
  let out = play(3);                     // 384 samples: block 0 played, block 1 begun
  const second = handedBack();
  send({op: 'queue', block: 0, samples: ramp(600, 300)});   // the tune renders block 0 afresh as it is handed back
  out = out.concat(play(4));             // 896 in all: to 600 the first two, then the third
  const third = handedBack();
  check('each block goes back to the tune as it starts, in order, named with its stream', first.join() === '0' &&
    second.join() === '0,1' && third.join() === '0,1,0' && w.sent.every((m) => m.op !== 'played' || m.stream === 5),
    `${first} / ${second} / ${third}`);
  const wrong = out.findIndex((x, i) => x !== i);   // the three ramps join into one
  check('the blocks play whole and in order', out.length === 896 && wrong < 0, `first wrong sample at ${wrong}`);
  const stallsBefore = w.sent.filter((m) => m.op === 'stall').length;
  play(10);                              // the third runs out, nothing more comes
  const stalls = w.sent.filter((m) => m.op === 'stall');
  send({op: 'queue', block: 1, samples: ramp(0, 300)});
  play(2);
  play(10);
  const after = w.sent.filter((m) => m.op === 'stall');
  check('a queue that runs dry counts one stall each time', stallsBefore === 0 && stalls.length === 1 &&
    after.length === 2 && after[1].stalls === 2, `${stallsBefore}, ${stalls.length}, ${after.length}`);
  send({op: 'close'});
  play(2);
  check('a closed stream is silent and counts no stall', w.sent.filter((m) => m.op === 'stall').length === 2);
}
{
  const {send, play} = await worklet();
  const samples = Int16Array.from({length: 1000}, () => 1000);
  send({op: 'start', handle: 7, owner: 3, extra: 0, key: 'a', count: 1000, rate: 44100, gain: 32768, loop: 1, samples});
  const looping = play(10);
  send({op: 'gain', handle: 7, gain: 16384});
  const half = play(1);
  send({op: 'start', handle: 8, owner: 3, extra: 1, key: 'a', count: 1000, rate: 44100, gain: 32768, loop: 0});
  const both = play(1);
  send({op: 'stop', owner: 3, extra: 0, handle: 7});
  const one = play(1);
  send({op: 'release', owner: 3});
  const none = play(1);
  check('voices play their samples, sent once, and stop and go by their handles',
    looping.every((x) => x === 1000) && half.every((x) => x === 500) && both.every((x) => x === 1500) &&
    one.every((x) => x === 1000) && none.every((x) => x === 0), `${looping[0]} ${half[0]} ${both[0]} ${one[0]} ${none[0]}`);
}
console.log(`worklet-test: ${counts.passed} passed, ${counts.failed} failed`);
process.exit(counts.failed ? 1 : 0);
