// The web page backend: the back buffer is shown in the page's canvas, keyboard and gamepad come from the
// page, the clock from performance.now(), and Web Audio plays what the mixer makes. A page has no threads:
// every sleep hands control back to the browser (through Asyncify). The audio is mixed on the page's audio
// thread, by the game's mixer in a module of its own (web_audio_worklet.cpp) that is sent every voice and
// tune block; where the page has no AudioWorklet it is mixed on the main thread whenever the frame loop
// sleeps, a little ahead of what the speakers play.
// This is the only file that includes Emscripten; the page around it is platform/web/.
#include <emscripten.h>
#include <emscripten/stack.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/backend.h"
#include "platform/input.h"
#include "platform/key_table.h"
#include "platform/mixer.h"
#include "platform/video.h"

extern "C" void stackRestore(uintptr_t pointer);  // the runtime's own setter of the stack pointer

namespace {
constexpr int AUDIO_RATE = 44100;
// Where the page mixes on its main thread (it has no AudioWorklet), the audio queued ahead of the output: an
// effect is heard within the queue plus the output latency. It is kept short while the frames come steadily,
// and grows at once after a late one, so that a page that falls behind now and then (a busy or slow machine)
// keeps its sound whole; it shrinks back by 16 ms a second.
constexpr int64_t LEAD_LEAST = 36000;                // microseconds
constexpr int64_t LEAD_MOST = 250000;
constexpr int64_t LEAD_MARGIN = 20000;               // beyond the longest recent gap between two feeds
constexpr int64_t LEAD_EASE = 64;                    // steady feeds take 1/64 of their gap off the lead
constexpr int AUDIO_PIECES = 6;                      // a top-up is at least this part of the lead: every
                                                     // piece costs the page two audio nodes, so not too many;
                                                     // but the queue a gap finds is the lead less a piece
constexpr uint32_t LONGEST_NAP = 20;                 // ms; longer sleeps wake to keep the audio queued (or
                                                     // to hand the tune its played blocks)

void (*audioMix)(void*, int16_t*, int);
void* audioUser;
std::vector<int16_t> audioPiece;
int64_t audioLead = LEAD_LEAST;                       // microseconds
int64_t lastFeed;                                     // BackendTicks of the last feed; 0 after a pause
std::vector<uint32_t> framePixels;                    // the back buffer with its alpha bytes set (2D canvas)
bool pictureOpen;
bool frameJustShown;                                  // no sleep since the last frame was shown
bool pictureOpaque;                                   // the canvas takes only opaque pixels (no WebGL)
// The page's frame schedule (BackendWaitUntil): when the next frame is due; 0 starts it afresh.
int64_t frameDue;
constexpr int64_t FRAME_DEBT_MOST = 50000;            // microseconds a late page makes up for at most

// The page's side. Module.web holds its state; the page (index.html) made the AudioContext on the first
// user gesture, when browsers let sound start. The input state and its listeners outlive a game: a game
// played again in the same page finds them in place.
EM_JS(void, WebStart, (uintptr_t stack), {
    let web = Module.web;
    if (!web) {
        web = Module.web = {keys: new Uint8Array(256), touch: new Uint8Array(256), pulse: new Uint8Array(256),
                            chars: new Uint8Array(256), codes: {}, frames: 0, typing: false, running: false,
                            away: false};
        // Only the keys the game uses in its current screen are kept from the browser, and none with Ctrl
        // (but Left Control itself, the fire key), Alt or Meta: the browser's shortcuts keep working.
        const gameKeys = /^(Arrow(Up|Down|Left|Right)|ControlLeft|Escape|Digit1)$/;
        const textKeys = /^(Key[A-Z]|Digit[0-9]|Numpad[0-9]|Backspace|Enter|NumpadEnter)$/;
        const taken = (event) => !event.altKey && !event.metaKey && (!event.ctrlKey || event.code === 'ControlLeft')
            && (gameKeys.test(event.code) || (web.typing && textKeys.test(event.code)));
        const handle = (down) => (event) => {
            const code = web.codes[event.code];
            if (!web.running || code === undefined) return;  // the ended page leaves every key to the browser
            web.keys[code] = down ? 0x80 : 0;
            if (down && event.key.length === 1 && event.key.charCodeAt(0) >= 32 && event.key.charCodeAt(0) < 127)
                web.chars[code] = event.key.charCodeAt(0);
            if (taken(event)) event.preventDefault();
        };
        const release = () => web.keys.fill(0);
        window.addEventListener('keydown', handle(true));
        window.addEventListener('keyup', handle(false));
        window.addEventListener('blur', release);
        document.addEventListener('visibilitychange', release);
        // A page the browser put away (hidden, or frozen or kept in its back-forward cache) counts as unseen.
        const away = (value) => () => { web.away = value; if (web.shown) web.shown(); };
        document.addEventListener('freeze', away(true));
        document.addEventListener('resume', away(false));
        window.addEventListener('pagehide', away(true));
        window.addEventListener('pageshow', away(false));
        document.addEventListener('visibilitychange', () => { if (web.shown) web.shown(); });
    }
    for (const a of [web.keys, web.touch, web.pulse]) a.fill(0);
    web.running = true;
    web.closeAsked = false;
    web.stackAtStart = stack;
});

EM_JS(int, WebVisible, (), { return document.visibilityState !== 'hidden' && !Module.web.away; });

// Hands the page back to the browser for `milliseconds`. Browsers hold a timer set from a timer's own
// callback (as every wake here would be) for at least 4 ms, so the timer is set from a task the page
// posts itself, which nothing holds back; for 0 that task is the wake. The module goes on where it
// stood when the wake comes (Asyncify; both waits are listed in ASYNCIFY_IMPORTS); the program's end,
// thrown through a wake, is no error.
EM_JS(void, WebNap, (int milliseconds), {
    const web = Module.web;
    Asyncify.handleSleep(wakeUp => {
        const wake = () => {
            try {
                wakeUp();
            } catch (e) {
                if (!(e instanceof ExitStatus) && e !== 'unwind') throw e;
            }
        };
        if (!web.post) {
            // A task of the scheduler's where there is one (Chromium): it carries no message to copy.
            if (self.scheduler && scheduler.postTask) {
                web.post = (f) => { scheduler.postTask(f); };
            } else {
                const channel = new MessageChannel(), waiting = [];
                channel.port1.onmessage = () => waiting.shift()();
                web.post = (f) => { waiting.push(f); channel.port2.postMessage(0); };
            }
        }
        web.post(milliseconds > 0 ? () => setTimeout(wake, milliseconds) : wake);
    });
});

// Waits (handing the page back to the browser) for the page to be shown, at most `milliseconds`.
EM_JS(void, WebWaitShown, (int milliseconds), {
    const web = Module.web;
    Asyncify.handleSleep(wakeUp => {
        const wake = () => {
            clearTimeout(timer);
            web.shown = null;
            try {
                wakeUp();
            } catch (e) {
                if (!(e instanceof ExitStatus) && e !== 'unwind') throw e;
            }
        };
        const timer = setTimeout(wake, milliseconds);
        web.shown = wake;
    });
});

// The context is held, not closed, and the mix goes on from where it stood when it is let go. The sound
// fades out over 10 ms first (a wave cut mid-swing clicks) and the context is held once the output has
// been silent for a moment (the analyser shows silence then); what was queued meanwhile is not heard.
EM_JS(void, WebPauseAudio, (int paused), {
    const context = Module.audioContext, web = Module.web;
    if (!context || context.state === 'closed' || !web.gain) return;
    const gain = web.gain.gain, now = context.currentTime;
    clearTimeout(web.suspending);
    gain.cancelScheduledValues(now);
    gain.setValueAtTime(paused ? 1 : 0, now);
    gain.linearRampToValueAtTime(paused ? 0 : 1, now + 0.01);
    if (paused) {
        web.suspending = setTimeout(() => context.suspend(), 100);
    } else {
        context.resume();
        web.audioEnd = Math.max(web.audioEnd, Math.round(now * context.sampleRate));  // no stall: it was held
    }
});
EM_JS(void, WebNameKey, (const char* dom, int code), { Module.web.codes[UTF8ToString(dom)] = code; });

EM_JS(void, WebOpenCanvas, (const char* title), {
    document.title = UTF8ToString(title);
    if (Module.onCanvasOpen) Module.onCanvasOpen();
});

// The picture goes to the canvas through WebGL where a graphics processor draws it: the back buffer is
// uploaded as a texture as it is (the shader makes it opaque), so the main thread copies the bytes once and
// converts nothing. WebGL that the processor emulates costs far more than the 2D canvas, so then (and
// without WebGL) a 2D context takes the frame, which needs opaque pixels (returns 0: the caller sets the
// alpha bytes first). In Chromium (the one engine with navigator.userAgentData) the 2D context is an
// OffscreenCanvas's that the canvas handed its picture to: its frames go to the compositor by themselves,
// while a plain canvas's wait for the page's own commit, which held the main thread about a millisecond a
// frame (software compositing). WebKit's OffscreenCanvas measured far slower than its plain canvas, so
// other engines keep the plain one. Module.presenting = 'webgl', 'offscreen' or '2d' (the plain canvas)
// makes the choice instead (the tests, the measurements).
EM_JS(int, WebOpenPicture, (int width, int height), {
    const web = Module.web, canvas = Module.canvas;
    const options = {alpha: false, antialias: false, depth: false, stencil: false, preserveDrawingBuffer: true,
                     failIfMajorPerformanceCaveat: Module.presenting !== 'webgl'};
    const emulated = () => {
        const probe = document.createElement('canvas').getContext('webgl');
        if (!probe) return true;
        const info = probe.getExtension('WEBGL_debug_renderer_info');
        const name = String(probe.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : probe.RENDERER));
        const lose = probe.getExtension('WEBGL_lose_context');
        if (lose) lose.loseContext();
        return /SwiftShader|llvmpipe|softpipe|software/i.test(name);
    };
    const offscreen = !!canvas.transferControlToOffscreen && typeof OffscreenCanvasRenderingContext2D === 'function';
    const way = Module.presenting || (!emulated() ? 'webgl' : offscreen && navigator.userAgentData ? 'offscreen' : '2d');
    const gl = way !== 'webgl' ? null : canvas.getContext('webgl', options);
    const open = () => {
        const shader = (type, text) => {
            const s = gl.createShader(type);
            gl.shaderSource(s, text);
            gl.compileShader(s);
            return s;
        };
        const program = gl.createProgram();
        gl.attachShader(program, shader(gl.VERTEX_SHADER,
            'attribute vec2 p; varying vec2 t; void main() { t = vec2(p.x + 1.0, 1.0 - p.y) * 0.5; gl_Position = vec4(p, 0.0, 1.0); }'));
        gl.attachShader(program, shader(gl.FRAGMENT_SHADER,
            'precision mediump float; uniform sampler2D s; varying vec2 t; void main() { gl_FragColor = vec4(texture2D(s, t).rgb, 1.0); }'));
        gl.linkProgram(program);
        if (!gl.getProgramParameter(program, gl.LINK_STATUS)) return false;
        gl.useProgram(program);
        gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
        gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-1, -1, 3, -1, -1, 3]), gl.STATIC_DRAW);
        gl.enableVertexAttribArray(0);
        gl.vertexAttribPointer(0, 2, gl.FLOAT, false, 0, 0);
        gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
        const settings = [gl.TEXTURE_MIN_FILTER, gl.NEAREST, gl.TEXTURE_MAG_FILTER, gl.NEAREST,
                          gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE];
        for (let i = 0; i < settings.length; i += 2) gl.texParameteri(gl.TEXTURE_2D, settings[i], settings[i + 1]);
        gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, width, height, 0, gl.RGBA, gl.UNSIGNED_BYTE, null);
        gl.viewport(0, 0, width, height);
        return gl.getError() === gl.NO_ERROR;
    };
    if (gl && open()) {
        web.gl = gl;
        canvas.addEventListener('webglcontextlost', (event) => { event.preventDefault(); web.gl = null; });
        canvas.addEventListener('webglcontextrestored', () => { if (open()) web.gl = gl; });
        return 1;
    }
    // A canvas hands its picture over once for good: a game played again in the same page keeps it.
    if (!web.surface) web.surface = way === 'offscreen' && offscreen ? canvas.transferControlToOffscreen() : canvas;
    web.context = web.surface.getContext('2d', {alpha: false});
    return 0;
});

EM_JS(void, WebShowFrame, (const uint32_t* pixels, int width, int height), {
    const web = Module.web, gl = web.gl;
    if (gl) {
        gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE,
                         HEAPU8.subarray(pixels, pixels + width * height * 4));
        gl.drawArrays(gl.TRIANGLES, 0, 3);
    } else if (web.context) {
        if (!web.image || web.image.data.buffer !== HEAPU8.buffer || web.pixels !== pixels) {
            web.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4), width, height);
            web.pixels = pixels;
        }
        web.context.putImageData(web.image, 0, 0);
    }
    ++web.frames;
    if (web.onFrame) web.onFrame();  // the browser test looks at frames as they are shown
});

// The keyboard's keys, the touch controls' (index.html), and the keys pressed and let go again since the
// last reading (a quick tap), which count as down once.
EM_JS(int, WebReadKeys, (uint8_t* keys, int typing), {
    const web = Module.web;
    if (web.typing !== (typing !== 0)) {
        web.typing = typing !== 0;
        if (Module.onTyping) Module.onTyping(web.typing);
    }
    if (!document.hasFocus()) return 0;
    for (let k = 0; k < 256; ++k) HEAPU8[keys + k] = web.keys[k] | web.touch[k] | web.pulse[k];
    web.pulse.fill(0);
    return 1;
});

// The page asks the game to close, as a window's close box would: after an error in the page's own code.
EM_JS(int, WebCloseAsked, (), { return Module.web.closeAsked ? 1 : 0; });

EM_JS(int, WebKeyCharacter, (int code), { return Module.web.chars[code]; });

// Joystick n is the Gamepad API's n-th attached pad: the left stick or the d-pad steers. A page whose frame
// forbids the API (getGamepads throws) plays without pads.
EM_JS(int, WebReadGamepad, (int n, int* axes, uint8_t* buttons), {
    const web = Module.web;
    let pads = [];
    try {
        if (!web.padsForbidden && navigator.getGamepads)
            pads = Array.from(navigator.getGamepads()).filter(p => p && p.connected);
    } catch (e) {
        web.padsForbidden = true;
    }
    const pad = pads[n];
    if (!pad) return 0;
    const pressed = (b) => pad.buttons[b] && pad.buttons[b].pressed;
    const axis = (a, less, more) => pressed(less) ? -1000 : pressed(more) ? 1000
        : Math.max(-1000, Math.min(1000, Math.round((pad.axes[a] || 0) * 1000)));
    HEAP32[axes >> 2] = axis(0, 14, 15);
    HEAP32[(axes >> 2) + 1] = axis(1, 12, 13);
    for (let b = 0; b < 32; ++b) HEAPU8[buttons + b] = pressed(b) ? 0x80 : 0;
    return 1;
});

EM_JS(uint32_t, WebRandomSeed, (), { return crypto.getRandomValues(new Uint32Array(1))[0]; });

EM_JS(int, WebOpenAudio, (int rate), {
    const context = Module.audioContext;
    if (!context || context.sampleRate !== rate) return 0;
    const web = Module.web;
    web.gain = context.createGain();
    web.gain.connect(context.destination);
    Module.audioTap = context.createAnalyser();   // sees what goes to the speakers (the browser test reads it)
    web.gain.connect(Module.audioTap);
    web.audioEnd = 0;      // in samples of the context's clock, so that pieces join without rounding
    web.audioStalls = 0;
    const node = Module.audioNode;   // the audio thread's mixer, when the page could make one
    if (!node) return 1;
    web.audioNode = node;
    web.samplesSent = new Map();
    web.blocksPlayed = [];
    web.blockStream = 0;
    node.port.onmessage = (event) => {
        const m = event.data;
        if (m.op === 'played') {
            if (m.stream === web.blockStream) web.blocksPlayed.push(m.block);
        }
        else if (m.op === 'stall') web.audioStalls = m.stalls;
        else if (web.onAudioMessage) web.onAudioMessage(m);   // the measuring scripts listen here
    };
    node.connect(web.gain);
    return 2;
});

// Samples queued but not yet played.
EM_JS(int, WebAudioQueued, (int rate), {
    const web = Module.web;
    return Math.max(0, web.audioEnd - Math.round(Module.audioContext.currentTime * rate));
});

EM_JS(void, WebSetAudioLead, (int milliseconds), { Module.web.audioLead = milliseconds; });  // for the browser test

EM_JS(void, WebQueueAudio, (const int16_t* samples, int count, int rate), {
    const web = Module.web, context = Module.audioContext;
    const buffer = context.createBuffer(1, count, rate);
    const out = buffer.getChannelData(0);
    const from = samples >> 1;
    for (let i = 0; i < count; ++i) out[i] = HEAP16[from + i] / 32768;
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(web.gain);
    // After a stall (counted for the browser test) the queue starts again a little ahead, so that the
    // first piece is heard whole.
    const now = Math.round(context.currentTime * rate);
    if (web.audioEnd < now) {
        if (web.audioEnd > 0) ++web.audioStalls;
        web.audioEnd = now + Math.round(rate / 100);
    }
    source.start(web.audioEnd / rate);
    web.audioEnd += count;
});

EM_JS(void, WebCloseAudio, (), {
    const web = Module.web;
    if (web.audioNode) {
        web.audioNode.port.onmessage = null;
        web.audioNode.disconnect();
    }
    web.audioNode = Module.audioNode = null;   // a game played again makes its own
    if (web.gain) web.gain.disconnect();
    web.gain = null;
});

// The game's end: the page says so and may start it again. Throwing "unwind" takes the module's stack back
// to the browser the way the runtime's own sleeps do, so the runtime stays usable for the next main().
EM_JS(void, WebEnded, (int code, int heapInUse), {
    const web = Module.web;
    web.running = false;
    web.heapInUse = heapInUse;   // bytes still allocated once everything was shut down: a leak shows here
    for (const a of [web.keys, web.touch, web.pulse]) a.fill(0);
    if (Module.audioContext) Module.audioContext.close();
    if (Module.onEnded) Module.onEnded(code);
    throw 'unwind';
});

// The audio thread's mixer (the page made its AudioWorkletNode, Module.audioNode, before main began). Each
// voice's samples go over once, the first time they are played; the blocks go over whole as they are queued,
// and come back (to be rendered afresh) as soon as their copy starts playing there.
EM_JS(void, WebRemoteStartVoice, (uint32_t handle, int owner, int extra, const int16_t* samples, int count,
                                  uint32_t rate, int gain, int loop), {
    const web = Module.web, key = samples + ':' + count;
    const message = {op: 'start', handle, owner, extra, key, count, rate, gain, loop};
    if (!web.samplesSent.has(key)) {
        web.samplesSent.set(key, owner);
        message.samples = HEAP16.slice(samples >> 1, (samples >> 1) + count);
    }
    web.audioNode.port.postMessage(message);
});
EM_JS(void, WebRemoteStopVoice, (int owner, int extra, uint32_t handle), {
    Module.web.audioNode.port.postMessage({op: 'stop', owner, extra, handle});
});
EM_JS(void, WebRemoteSetVoiceGain, (uint32_t handle, int gain), {
    Module.web.audioNode.port.postMessage({op: 'gain', handle, gain});
});
EM_JS(void, WebRemoteReleaseVoices, (int owner), {
    const web = Module.web;
    web.samplesSent.forEach((from, key) => { if (from === owner) web.samplesSent.delete(key); });
    web.audioNode.port.postMessage({op: 'release', owner});
});
EM_JS(void, WebRemoteBlocks, (int op, int block, const int16_t* samples, int count), {
    const web = Module.web;
    if (op === 0) {
        web.blocksPlayed = [];
        ++web.blockStream;   // what the audio thread reports of a stream closed before is no longer wanted
    }
    const message = {op: ['open', 'queue', 'resume', 'close'][op], stream: web.blockStream};
    if (op === 1) Object.assign(message, {block, samples: HEAP16.slice(samples >> 1, (samples >> 1) + count)});
    web.audioNode.port.postMessage(message);
    if (op === 3) web.blocksPlayed = [];
});
// The oldest block the audio thread reported played and the module has not taken yet, or -1.
EM_JS(int, WebRemoteTakePlayed, (), {
    const played = Module.web.blocksPlayed;
    return played && played.length ? played.shift() : -1;
});

constexpr int REMOTE_BLOCKS_MOST = 4;  // queued and not yet reported, as the main thread's stream allows
void (*blocksDone)(void* user, int block);
void* blocksUser;
bool blocksOpen;
int blocksOut;                         // blocks sent and not yet reported back

void RemoteStartVoice(uintptr_t handle, int owner, bool extra, const int16_t* samples, int count, uint32_t rate,
                      int gain, bool loop) {
    WebRemoteStartVoice(uint32_t(handle), owner, extra, samples, count, rate, gain, loop);
}
void RemoteStopVoice(int owner, bool extra, uintptr_t handle) { WebRemoteStopVoice(owner, extra, uint32_t(handle)); }
void RemoteSetVoiceGain(uintptr_t handle, int gain) { WebRemoteSetVoiceGain(uint32_t(handle), gain); }

bool RemoteOpenBlocks(void (*done)(void* user, int block), void* user) {
    if (blocksOpen || !done) return false;
    blocksOpen = true;
    blocksDone = done;
    blocksUser = user;
    blocksOut = 0;
    WebRemoteBlocks(0, 0, nullptr, 0);
    return true;
}
bool RemoteQueueBlock(int block, const int16_t* samples, int count) {
    if (!blocksOpen || !samples || count <= 0 || blocksOut == REMOTE_BLOCKS_MOST) return false;
    ++blocksOut;
    WebRemoteBlocks(1, block, samples, count);
    return true;
}
void RemoteResumeBlocks() {
    if (blocksOpen) WebRemoteBlocks(2, 0, nullptr, 0);
}
void RemoteCloseBlocks() {
    if (!blocksOpen) return;
    blocksOpen = false;
    WebRemoteBlocks(3, 0, nullptr, 0);
}

const RemoteMixer WEB_MIXER = {RemoteStartVoice, RemoteStopVoice, RemoteSetVoiceGain, WebRemoteReleaseVoices,
                               {RemoteOpenBlocks, RemoteQueueBlock, RemoteResumeBlocks, RemoteCloseBlocks}};
bool mixingRemotely;

// Hands the blocks the audio thread has played to the tune, which renders them afresh and queues them again.
void ReportPlayedBlocks() {
    for (int block; blocksOpen && (block = WebRemoteTakePlayed()) >= 0;) {
        if (blocksOut > 0) --blocksOut;
        blocksDone(blocksUser, block);
    }
}

// Where the audio thread mixes, hands the tune the blocks played there. Elsewhere tops the main thread's
// queue up to its lead; the tune's played blocks are reported, and rendered afresh, inside the mix call
// (BackendMixesOnFrameLoop).
void FeedAudio() {
    if (mixingRemotely) return ReportPlayedBlocks();
    if (!audioMix) return;
    const int64_t now = BackendTicks();
    if (lastFeed != 0) {
        const int64_t gap = now - lastFeed;
        audioLead = gap + LEAD_MARGIN > audioLead ? std::min(LEAD_MOST, gap * 3 / 2 + LEAD_MARGIN)
                                                  : std::max(LEAD_LEAST, audioLead - gap / LEAD_EASE);
    }
    lastFeed = now;
    WebSetAudioLead(int(audioLead / 1000));
    const int lead = int(audioLead * AUDIO_RATE / 1000000);
    const int wanted = lead - WebAudioQueued(AUDIO_RATE);
    if (wanted < lead / AUDIO_PIECES) return;
    audioPiece.resize(size_t(wanted));
    audioMix(audioUser, audioPiece.data(), wanted);
    WebQueueAudio(audioPiece.data(), wanted, AUDIO_RATE);
}

// Sleeps until the clock reads `until` microseconds, waking at least every LONGEST_NAP to feed the audio.
// A browser's timer wakes in whole milliseconds and usually late; the frame cap starts its next interval
// when a frame really goes out, so every late wake would be lost for good. The sleeps aim early by the
// lateness the timer has shown lately, and round to the nearest millisecond, so that a frame goes out on
// time on average instead of always after it.
void SleepUntil(int64_t until) {
    static int64_t timerLateness;                     // microseconds, a running mean
    for (;;) {
        FeedAudio();
        const int64_t left = until - BackendTicks() - timerLateness;
        if (left < 500) return;
        const uint32_t nap = std::min(LONGEST_NAP, uint32_t((left + 500) / 1000));
        const int64_t due = BackendTicks() + int64_t(nap) * 1000;
        WebNap(int(nap));
        timerLateness += (std::clamp<int64_t>(BackendTicks() - due, 0, 4000) - timerLateness) / 8;
    }
}
}  // namespace

bool BackendStart() {
    frameDue = 0;  // a game played again starts its own schedule
    WebStart(emscripten_stack_get_current());
    for (int k = 0; k < KEY_NAME_COUNT; ++k) WebNameKey(KEY_NAMES[k].dom, KEY_NAMES[k].set1);
    return true;
}

void BackendStop() {}

bool BackendOpenWindow(const char* title, int, int) {
    WebOpenCanvas(title);
    return true;
}

void BackendCloseWindow() {}

void BackendShowFrame(const uint32_t* pixels, int width, int height) {
    if (!pictureOpen) {
        pictureOpen = true;
        pictureOpaque = WebOpenPicture(width, height) == 0;
    }
    if (pictureOpaque) {
        // Canvas pixels are bytes R, G, B, A: the colour value 0x00BBGGRR with an opaque alpha byte.
        framePixels.resize(size_t(width) * size_t(height));
        std::transform(pixels, pixels + framePixels.size(), framePixels.begin(), [](uint32_t c) { return c | 0xFF000000u; });
        pixels = framePixels.data();
    }
    WebShowFrame(pixels, width, height);
    frameJustShown = true;
    FeedAudio();  // also between the loading screen's frames, which do not sleep
}

int BackendPollEvent() { return WebCloseAsked() ? 0x10 : 0; }

bool BackendVisible() { return WebVisible() != 0; }

bool BackendWaitShown(uint32_t milliseconds) {
    frameDue = 0;  // the time away is no debt
    WebWaitShown(int(milliseconds));
    return BackendVisible();
}

// The game reads typed text only while it wants a name: the page then takes the letter keys too, and shows
// its letter pad on a touch screen.
bool BackendReadKeys(uint8_t keys[256]) {
    static int textReads;
    const bool typing = TypedTextReads() != textReads;
    textReads = TypedTextReads();
    return WebReadKeys(keys, typing) != 0;
}

char BackendKeyCharacter(int code) { return code >= 0 && code < 256 ? char(WebKeyCharacter(code)) : 0; }

// Browsers show a gamepad only once it is used on the page, which is after the game has looked for
// joysticks: the first pad's place is always there, and reads as not attached until a pad comes.
int BackendOpenJoysticks() { return 1; }

bool BackendReadJoystick(int n, int& x, int& y, uint8_t buttons[32]) {
    int axes[2];
    if (!WebReadGamepad(n, axes, buttons)) return false;
    x = axes[0];
    y = axes[1];
    return true;
}

void BackendCloseJoysticks() {}

int64_t BackendTicks() { return int64_t(emscripten_get_now() * 1000.0); }
int64_t BackendTickFrequency() { return 1000000; }
// The frame cap's wait. The cap counts each interval from when a frame really went out, so every late
// frame (a long task of the browser's, a phone's slow moment) would cost the game that time for good. A page
// keeps a schedule of its own instead: a frame is due one interval after the previous one was due, so after a
// late frame the next ones go out as soon as they are drawn until the schedule is met again. It makes up for
// FRAME_DEBT_MOST at most (a longer stall is lost, as before). The schedule alone sets the pace: the cap's
// time counts from a frame's going out, which the sleep's aiming early (SleepUntil) would move ahead.
void BackendWaitUntil(int64_t ticks) {
    frameDue = frameDue == 0 ? ticks : std::max(frameDue, BackendTicks() - FRAME_DEBT_MOST);
    SleepUntil(frameDue);
    frameDue += FrameInterval(BackendTickFrequency(), FRAME_CAP) + 1;
}
uint32_t BackendMilliseconds() { return uint32_t(int64_t(emscripten_get_now())); }
// The frame loops sleep after every frame they show, so that a frame lasts its work and that sleep at the
// least. In a page the frame cap's own wait hands the browser its time until the next frame is due, so
// there the sleep after a frame only hands over once and the frame lasts the cap's interval, or its work
// when that is longer: a slow phone keeps its frame rate. Other sleeps sleep their whole time.
void BackendSleep(uint32_t milliseconds) {
    if (std::exchange(frameJustShown, false)) {
        WebNap(0);
        FeedAudio();
        return;
    }
    SleepUntil(BackendTicks() + int64_t(milliseconds) * 1000);
}
uint32_t BackendRandomSeed() { return WebRandomSeed(); }

void BackendExit(int code) {
    BackendCloseAudio();
    const int heapInUse = int(mallinfo().uordblks);
    // Leaving by an exception skips the frames' own stack pointer restores: the pointer goes back to where
    // main began (nothing lies above it), so a game played again starts with the whole stack. Nothing
    // below may use the stack any more.
    stackRestore(emscripten_stack_get_base());
    WebEnded(code, heapInUse);
    std::abort();  // not reached: WebEnded unwinds out of the module
}

bool BackendOpenAudio(void (*mix)(void*, int16_t*, int), void* user, std::string& error) {
    const int way = WebOpenAudio(AUDIO_RATE);
    if (way == 0) {
        error = "the page has no Web Audio context at 44100 Hz";
        return false;
    }
    mixingRemotely = way == 2;
    if (mixingRemotely) SetRemoteMixer(&WEB_MIXER);
    audioMix = mix;
    audioUser = user;
    return true;
}

void BackendCloseAudio() {
    if (mixingRemotely) {
        RemoteCloseBlocks();
        SetRemoteMixer(nullptr);
        mixingRemotely = false;
    }
    audioMix = nullptr;
    audioUser = nullptr;
    WebCloseAudio();
}

void BackendPauseAudio(bool paused) {
    WebPauseAudio(paused);
    lastFeed = 0;  // the time away is no gap between two feeds
}

bool BackendMixesOnFrameLoop() { return true; }
