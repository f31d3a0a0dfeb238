// The page's audio thread: runs the game's mixer (vexed-drifts-audio.wasm, from platform/web_audio_worklet.cpp)
// and plays what it makes. The main thread sends every voice and tune block as a message (web_backend.cpp).
// Blocks are played from copies, so each is handed back to the tune (to be rendered afresh) as soon as it
// starts playing here: with the tune's two blocks of 160 ms, the main thread may then fall up to 320 ms
// behind before the tune runs dry. This side counts the times it did (a stall).
class VexedDriftsAudio extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.waiting = [];      // messages that came before the module was ready
    this.samples = new Map();  // the main thread's samples by their key there: {at, owner}
    this.queue = [];        // the blocks queued, in their order: {block, at} (at: the copy), the first playing
    this.handedBack = false;  // the first has been handed back
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
      case 'open': this.dropBlocks(); mod.AudioOpenBlocks(); this.stream = m.stream; break;
      case 'queue': {
        const at = this.copy(m.samples);
        if (mod.AudioQueueBlock(m.block, at, m.samples.length)) this.queue.push({block: m.block, at});
        else mod.AudioFree(at);
        break;
      }
      case 'resume': mod.AudioResumeBlocks(); this.playing = true; this.dry = false; break;
      case 'close': mod.AudioCloseBlocks(); this.dropBlocks(); break;
      case 'ping': this.port.postMessage({op: 'pong', sent: m.sent}); break;
    }
    this.handBack();
  }

  dropBlocks() {
    for (const {at} of this.queue) this.mod.AudioFree(at);
    this.queue = [];
    this.handedBack = false;
    this.playing = false;
  }

  // The block now playing goes back to the tune, once.
  handBack() {
    if (!this.playing || this.handedBack || !this.queue.length) return;
    this.handedBack = true;
    this.port.postMessage({op: 'played', block: this.queue[0].block, stream: this.stream});
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
    // A view made afresh only when the block moved or the memory grew: nothing is allocated per block.
    if (!this.mixed || this.mixed.buffer !== this.mod.memory.buffer || this.mixed.byteOffset !== this.out ||
        this.mixed.length !== out.length)
      this.mixed = new Int16Array(this.mod.memory.buffer, this.out, out.length);
    for (let i = 0; i < out.length; ++i) out[i] = this.mixed[i] / 32768;
    // A block played to its end is no longer read: its copy goes, and the next one plays.
    for (let played = this.mod.AudioTakePlayed(); played > 0 && this.queue.length; --played) {
      this.mod.AudioFree(this.queue.shift().at);
      this.handedBack = false;
    }
    this.handBack();
    // The tune ran dry: counted once until it plays again.
    const dry = this.playing && this.queue.length === 0;
    if (dry && !this.dry) this.port.postMessage({op: 'stall', stalls: ++this.stalls});
    this.dry = dry;
    return true;
  }
}

registerProcessor('vexed-drifts-audio', VexedDriftsAudio);
