// Nanoseconds per point of four operations through the package's API, on
// the points and the grid web/reference/Reference.cpp (--speed) uses: the
// one warm-up pass, then the best of 25, each one call on Float64Arrays of all points (the way
// the API is meant for many points). Defines tervalaSpeed(api, n); runs as
// a classic script in node (vm) and in a page.
function tervalaSpeed(T, n) {
  const lat = new Float64Array(n), lon = new Float64Array(n), x = new Float64Array(n), y = new Float64Array(n);
  const z = new Float64Array(n), e = new Float64Array(n), no = new Float64Array(n);
  for (let k = 0; k < n; ++k) {
    lat[k] = 35.0 + 3.0 * k / n;
    lon[k] = 126.0 + 2.0 * ((k * 7919) % n) / n;
    x[k] = 2884000.0 + 1000.0 * (k % 97);
    y[k] = 1342000.0 + 1000.0 * (k % 89);
    z[k] = 5510000.0 + 1000.0 * (k % 83);
    e[k] = 300000.0 + 400000.0 * k / n;
    no[k] = 3900000.0 + 300000.0 * ((k * 7919) % n) / n;
  }
  const utm = new T.Utm(52);
  const tm = new T.TransverseMercator({ ellipsoid: "GRS80", latitudeOfOrigin: 0, centralMeridian: 129,
    falseEasting: 500000, scaleFactor: 0.9996 });
  const h = new T.Helmert7({ tx: -81.07, ty: -89.36, tz: -115.75, s: -3.21, rx: 0.485, ry: 0.024, rz: 0.413,
    convention: "position_vector" });
  const bytes = new ArrayBuffer(40 + 4 * 1600);
  const view = new DataView(bytes);
  [39.0, 125.0, 0.25, 0.25].forEach((v, k) => view.setFloat64(8 * k, v, true));
  view.setInt32(32, 40, true);
  view.setInt32(36, 40, true);
  for (let i = 0; i < 40; ++i)
    for (let j = 0; j < 40; ++j) view.setFloat32(40 + 4 * (40 * i + j), 20.0 + Math.sin(0.3 * i) + Math.cos(0.2 * j), true);
  const grid = T.GeoidGrid.fromBytes(new Uint8Array(bytes), "speed grid");
  const now = typeof performance === "object" ? () => performance.now() : () => Date.now();
  const time = (body) => {
    body();  // warm-up: compilation, the module's memory grown to size
    let best = Infinity;
    for (let pass = 0; pass < 25; ++pass) {
      const t0 = now();
      body();
      best = Math.min(best, (now() - t0) * 1e6 / n);
    }
    return best;
  };
  const out = {
    utmForward: time(() => utm.forward(lat, lon)),
    tmInverse: time(() => tm.inverse(e, no)),
    helmert7Forward: time(() => h.forward(x, y, z)),
    gridHeight: time(() => grid.height(lat, lon)),
  };
  for (const o of [utm, tm, h, grid]) o.delete();
  return out;
}
if (typeof globalThis !== "undefined") globalThis.tervalaSpeed = tervalaSpeed;
