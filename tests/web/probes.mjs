// What the browser tests measure in the page, run inside it (web-test.mjs, webkit-test.mjs, measure.mjs).
// Runs in the page: measures on the canvas. Colours are bytes R, G, B of the 0x00BBGGRR back buffer.
export const PROBES = () => {
  const canvas = document.getElementById('screen');
  // A WebGL canvas is read through a 2D copy of it; a canvas that handed its picture to an OffscreenCanvas,
  // through the context that draws it.
  const copy = document.createElement('canvas');
  copy.width = 800;
  copy.height = 600;
  const copyContext = copy.getContext('2d', {willReadFrequently: true});
  const read = (x, y, w, h) => {
    const web = Module.web;
    // Nothing is shown before the game opens its picture (a context taken here would keep it from its own),
    // nor once it has ended: the canvas, hidden then, still holds the last frame.
    if (!web || !web.running || !(web.gl || web.context)) return new Uint8ClampedArray(w * h * 4);
    if (!web.gl) return web.context.getImageData(x, y, w, h).data;
    copyContext.drawImage(canvas, x, y, w, h, 0, 0, w, h);
    return copyContext.getImageData(0, 0, w, h).data;
  };
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
    // The ship icons at the top, one per ship left: the places that look like the first (objects in play
    // may pass over them).
    lives() {
      const first = read(130, 16, 16, 23);
      if (count(130, 16, 16, 23, (r, g, b) => b > 150) < 40) return 0;
      let n = 0;
      for (let i = 1; i <= 8; ++i) {
        const d = read(102 + 28 * i, 16, 16, 23);
        let differ = 0;
        for (let k = 0; k < d.length; k += 4) if (Math.abs(d[k + 2] - first[k + 2]) > 80) ++differ;
        if (differ < 12) ++n;
      }
      return n;
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
    // Where the sound is mixed: on the audio thread (an AudioWorklet) or, without one, on the main thread.
    mixing() { return Module.web && Module.web.audioNode ? 'the audio thread' : 'the main thread'; },
    // Keeps the next shown frame, or two frames in a row, as window.kept.
    keepFrames(count) {
      window.kept = [];
      Module.web.onFrame = () => {
        window.kept.push(read(0, 0, 800, 600));
        if (window.kept.length >= count) Module.web.onFrame = null;
      };
    },
    // The share of pixels that differ clearly between two kept frames.
    changed(a, b) {
      const p = window.kept[a] || window.standing, q = window.kept[b];
      let n = 0;
      for (let i = 0; i < p.length; i += 4)
        if (Math.max(Math.abs(p[i] - q[i]), Math.abs(p[i + 1] - q[i + 1]), Math.abs(p[i + 2] - q[i + 2])) > 40) ++n;
      return n / (p.length / 4);
    },
    stand() { window.standing = read(0, 0, 800, 600); },
    // The page hidden or shown as the browser does it when another tab comes in front and goes again.
    setHidden(hidden) {
      window.pageHidden = hidden;
      if (!window.hiddenDefined) {
        window.hiddenDefined = true;
        Object.defineProperty(document, 'visibilityState', {get: () => window.pageHidden ? 'hidden' : 'visible'});
        Object.defineProperty(document, 'hidden', {get: () => window.pageHidden});
      }
      document.dispatchEvent(new Event('visibilitychange'));
    },
    audioTime() { return Module.audioContext.currentTime; },
  };
};
