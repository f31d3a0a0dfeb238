// The page's audio thread: runs the game's mixer (vexed-drifts-audio.wasm, from platform/web_audio_worklet.cpp)
// and plays what it makes. The main thread sends every voice and tune block as a message (web_backend.cpp);
// this side reports the blocks it has played, so that the tune renders them afresh, and counts the times the
// tune ran dry (a stall: the main thread fell more than a block behind).
class VexedDriftsAudio extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.waiting = [];      // messages that came before the module was ready
    this.samples = new Map();  // the main thread's samples by their key there: {at, owner}
    this.blocks = [];       // per block: {at, count}, the copy queued last
    this.queued = 0;        // blocks queued and not yet played
    this.playing = false;   // the block stream is open and resumed
    this.dry = false;
    this.stalls = 0;
    this.port.onmessage = (event) => this.mod ? this.handle(event.data) : this.waiting.push(event.data);
    const stub = () => 0;   // the module needs nothing from outside; whatever it imports does nothing
    WebAssembly.instantiate(options.processorOptions.wasm, new Proxy({}, {get: () => new Proxy({}, {get: () => stub})}))
      .then(({instance}) => {
        this.mod = instance.exports;
        if (this.mod._initialize) this.mod._initialize();
        this.out = this.mod.AudioAllocate(2 * 128);
        this.outCount = 128;
        for (const m of this.waiting) this.handle(m);
        this.waiting = null;
        this.port.postMessage({op: 'ready'});
      }, (error) => this.port.postMessage({op: 'failed', why: String(error)}));
  }

  copy(samples) {
    const at = this.mod.AudioAllocate(samples.length * 2);
    new Int16Array(this.mod.memory.buffer, at, samples.length).set(samples);
    return at;
  }

  handle(m) {
    const mod = this.mod;
    switch (m.op) {
      case 'start': {
        let held = this.samples.get(m.key);
        if (!held) this.samples.set(m.key, held = {at: this.copy(m.samples), owner: m.owner});
        mod.AudioStartVoice(m.handle, m.owner, m.extra, held.at, m.count, m.rate, m.gain, m.loop);
        break;
      }
      case 'stop': mod.AudioStopVoice(m.owner, m.extra, m.handle); break;
      case 'gain': mod.AudioSetVoiceGain(m.handle, m.gain); break;
      case 'release':
        mod.AudioReleaseVoices(m.owner);
        for (const [key, held] of this.samples)
          if (held.owner === m.owner) { mod.AudioFree(held.at); this.samples.delete(key); }
        break;
      case 'open': mod.AudioOpenBlocks(); this.queued = 0; this.playing = false; break;
      case 'queue': {
        const old = this.blocks[m.block];
        if (old) mod.AudioFree(old.at);  // played and reported: the stream no longer reads it
        this.blocks[m.block] = {at: this.copy(m.samples), count: m.samples.length};
        if (mod.AudioQueueBlock(m.block, this.blocks[m.block].at, m.samples.length)) ++this.queued;
        break;
      }
      case 'resume': mod.AudioResumeBlocks(); this.playing = true; this.dry = false; break;
      case 'close': mod.AudioCloseBlocks(); this.queued = 0; this.playing = false; break;
      case 'ping': this.port.postMessage({op: 'pong', sent: m.sent}); break;
    }
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    if (!this.mod) return true;   // silence until the module is ready
    if (out.length > this.outCount) {
      this.mod.AudioFree(this.out);
      this.out = this.mod.AudioAllocate(2 * out.length);
      this.outCount = out.length;
    }
    this.mod.AudioMix(this.out, out.length);
    const mixed = new Int16Array(this.mod.memory.buffer, this.out, out.length);
    for (let i = 0; i < out.length; ++i) out[i] = mixed[i] / 32768;
    for (let block; (block = this.mod.AudioTakePlayed()) >= 0;) {
      --this.queued;
      this.port.postMessage({op: 'played', block});
    }
    // The tune ran dry: counted once until it plays again.
    const dry = this.playing && this.queued === 0;
    if (dry && !this.dry) this.port.postMessage({op: 'stall', stalls: ++this.stalls});
    this.dry = dry;
    return true;
  }
}

registerProcessor('vexed-drifts-audio', VexedDriftsAudio);
