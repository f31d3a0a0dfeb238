// The page's offline copy. Each version of the site installs its own cache, filled in one go, and drops the
// older ones once it takes over, so the files in use always come from the same build. The page is asked
// from the network first (a new version is seen at once) and from the cache when there is no network;
// everything else carries a hash in its name and comes from the cache.
const CACHE = '@CACHE@';
const FILES = @FILES@;

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((keys) => Promise.all(keys.filter((k) => k.startsWith('vexed-drifts-') && k !== CACHE).map((k) => caches.delete(k))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET') return;
  if (request.mode === 'navigate') {
    event.respondWith(fetch(request).catch(() => caches.open(CACHE).then((cache) => cache.match('./'))));
    return;
  }
  event.respondWith(caches.open(CACHE).then((cache) => cache.match(request, {ignoreSearch: true}))
    .then((hit) => hit || fetch(request)));
});
