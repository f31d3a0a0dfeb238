// Puts the web page together, as the build's last step:
//   node make-site.mjs <module dir> <icon dir> <licence> <version> <site dir> <zip> <cmake>
// The loader and the modules carry a hash of their bytes in their names, and so do the audio thread's script
// and the icons, so that a host's cache or the page's own offline copy never pairs a new page with an old
// module. index.html, the manifest and the service worker keep their names: they are what a visit asks for
// first. The zip holds the site as a game host takes it, index.html at its top.
import {createHash} from 'node:crypto';
import {execFileSync} from 'node:child_process';
import {copyFileSync, mkdirSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {dirname, join} from 'node:path';
import {fileURLToPath} from 'node:url';

const [moduleDir, iconDir, licence, version, site, zip, cmake] = process.argv.slice(2);
if (!cmake) {
  console.error('usage: node make-site.mjs <module dir> <icon dir> <licence> <version> <site dir> <zip> <cmake>');
  process.exit(2);
}
const here = dirname(fileURLToPath(import.meta.url));
const hash = (bytes) => createHash('sha256').update(bytes).digest('hex').slice(0, 12);
const hashed = (name, bytes) => name.replace(/(\.[a-z]+)$/, `.${hash(bytes)}$1`);

// Replaces each quoted name in text by its hashed one; every name must be there.
function refer(text, names, what) {
  for (const [name, to] of Object.entries(names)) {
    const quoted = new RegExp(`(["'])${name.replace(/\./g, '\\.')}\\1`, 'g');
    if (!quoted.test(text)) throw new Error(`${what} does not name ${name}`);
    text = text.replace(quoted, `$1${to}$1`);
  }
  return text;
}

rmSync(site, {recursive: true, force: true});
mkdirSync(site, {recursive: true});
const files = {};   // the site's files: name -> bytes
const names = {};   // plain name -> hashed name

const wasm = readFileSync(join(moduleDir, 'vexed-drifts.wasm'));
names['vexed-drifts.wasm'] = hashed('vexed-drifts.wasm', wasm);
files[names['vexed-drifts.wasm']] = wasm;
const loader = refer(readFileSync(join(moduleDir, 'vexed-drifts.js'), 'utf8'),
                     {'vexed-drifts.wasm': names['vexed-drifts.wasm']}, 'the loader');
names['vexed-drifts.js'] = hashed('vexed-drifts.js', loader);
files[names['vexed-drifts.js']] = Buffer.from(loader);

// The audio thread's script and its module, which the page hands it.
for (const [name, bytes] of [['audio-worklet.js', readFileSync(join(here, 'audio-worklet.js'))],
                             ['vexed-drifts-audio.wasm', readFileSync(join(moduleDir, 'vexed-drifts-audio.wasm'))]]) {
  names[name] = hashed(name, bytes);
  files[names[name]] = bytes;
}

for (const size of [32, 180, 192, 512]) {
  const icon = readFileSync(join(iconDir, `${size}x${size}`, 'apps', 'vexed-drifts.png'));
  names[`icon-${size}.png`] = hashed(`icon-${size}.png`, icon);
  files[names[`icon-${size}.png`]] = icon;
}

files['LICENSE.txt'] = readFileSync(licence);
files['manifest.webmanifest'] = Buffer.from(JSON.stringify({
  name: 'Vexed Drifts',
  short_name: 'Vexed Drifts',
  description: 'Arcade shoot-\'em-up over a turning star field',
  id: './',
  start_url: './',
  scope: './',
  display: 'fullscreen',
  display_override: ['fullscreen', 'standalone'],
  orientation: 'landscape',
  background_color: '#000000',
  theme_color: '#000000',
  icons: [192, 512].map((size) => ({src: names[`icon-${size}.png`], sizes: `${size}x${size}`, type: 'image/png'})),
}, null, 2) + '\n');
const page = refer(readFileSync(join(here, 'index.html'), 'utf8'),
                   Object.fromEntries(['vexed-drifts.js', 'audio-worklet.js', 'vexed-drifts-audio.wasm', 'icon-32.png',
                                       'icon-180.png'].map((n) => [n, names[n]])),
                   'index.html');
files['index.html'] = Buffer.from(page);

// The service worker keeps this version's files together under one cache name.
const listed = Object.keys(files).sort();
const cacheName = `vexed-drifts-${version}-${hash(listed.map((n) => n + ':' + hash(files[n])).join('\n'))}`;
files['sw.js'] = Buffer.from(readFileSync(join(here, 'sw.js'), 'utf8')
  .replace('@CACHE@', cacheName).replace('@FILES@', JSON.stringify(['./', ...listed])));

for (const [name, bytes] of Object.entries(files)) writeFileSync(join(site, name), bytes);
rmSync(zip, {force: true});
// Fixed times, so that the same site gives the same zip.
execFileSync(cmake, ['-E', 'tar', 'cf', zip, '--format=zip', '--mtime=2026-01-01 00:00:00Z', ...Object.keys(files).sort()],
             {cwd: site});
console.log(`site: ${Object.keys(files).length} files, cache ${cacheName}; ${zip}`);
