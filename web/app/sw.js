// Keeps the page's files so it opens without a network: cache first, the
// network only for what is not cached yet. A new CACHE name replaces the old.
const CACHE = "tervala-calibration-1";
const FILES = ["./", "./index.html", "./app.css", "./app.js", "./points.js", "./tervala-core.js",
  "./tervala-api.js", "./manifest.webmanifest", "./icon.svg"];

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(caches.keys()
    .then((keys) => Promise.all(keys.filter((k) => k !== CACHE).map((k) => caches.delete(k))))
    .then(() => self.clients.claim()));
});

self.addEventListener("fetch", (event) => {
  if (event.request.method !== "GET") return;
  event.respondWith(caches.match(event.request, { ignoreSearch: true })
    .then((hit) => hit || fetch(event.request)));
});
