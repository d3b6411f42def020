// The package against the native build: every case of cases.json computed
// here and by the native program web_reference (its printed values are in
// reference.json, written by scripts/test-web, or the file TERVALA_REFERENCE
// names). Both builds compile the same sources with the same floating-point
// rules (no contraction, no fast-math), so arithmetic and square roots give
// the same doubles; only the C libraries' sin, cos, atan2, exp and log may
// round differently (emscripten's musl against glibc) by an ulp. Hence:
//   - bit for bit where no such function enters (seven-parameter and 2D
//     transformations, height planes, the grid spline) and for UTM, whose
//     results happen to agree on every case;
//   - within 4 ulp where they enter (Transverse Mercator, geocentric
//     conversion, the fits and their statistics; 1 ulp is what was seen);
//   - the ellipsoidal height from geocentric coordinates within 1e-8 m:
//     the iteration stops once the latitude moves by less than 1e-14 rad,
//     and an ulp earlier or later ends it one pass apart (9.3e-10 m seen).
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";

import * as tervala from "../index.js";

const here = new URL(".", import.meta.url);
const cases = JSON.parse(readFileSync(new URL("cases.json", here), "utf8"));
const referencePath = process.env.TERVALA_REFERENCE || new URL("reference.json", here);
const reference = JSON.parse(readFileSync(referencePath, "utf8"));

const number = (text) => (text === "nan" ? NaN : text === "inf" ? Infinity : text === "-inf" ? -Infinity : Number(text));

function ellipsoidOf(e) {
  return typeof e === "string" ? new tervala.Ellipsoid(e) : new tervala.Ellipsoid(e[0], e[1]);
}

const column = (pts, k) => Float64Array.from(pts, (p) => p[k]);

// The fit results flattened in the order web/reference/Reference.cpp prints.
function fitCommon(r) {
  const out = [r.points, r.redundancy, r.degenerate ? 1 : 0, r.sigma, ...r.covariance,
    ...Object.values(r.standardDeviations)];
  const s = r.statistics;
  if (s === null) return out;
  for (const p of s.parameters) out.push(p.value, p.sigma);
  out.push(s.sigma0);
  if (s.globalTest !== null) out.push(s.globalTest.statistic, s.globalTest.lower, s.globalTest.upper, s.globalTest.passed ? 1 : 0);
  const o = s.observations;
  for (let k = 0; k < o.point.length; ++k)
    out.push(o.point[k], o.coordinate[k], o.residual[k], o.redundancyNumber[k], o.w[k], o.mdb[k], o.rejected[k] ? 1 : 0);
  for (const p of s.removed) out.push(p.point, p.w);
  return out;
}

function fitOptions(c) {
  const o = { alpha: c.alpha, alpha0: c.alpha0, fix: c.fix, snoop: c.snoop, sigma: c.sigma, sourceSigma: c.sourceSigma };
  if (c.convention) o.convention = c.convention;
  if (c.origin) o.origin = c.origin;
  return o;
}

function interleave(...cols) {
  const out = [];
  for (let k = 0; k < cols[0].length; ++k) for (const c of cols) out.push(c[k]);
  return out;
}

// section -> the flat list of one case's values.
const compute = {
  geocentric(c) {
    const e = ellipsoidOf(c.ellipsoid);
    const g = e.toGeocentric(column(c.points, 0), column(c.points, 1), column(c.points, 2));
    const b = e.toGeodetic(g.x, g.y, g.z);
    return interleave(g.x, g.y, g.z, b.latitude, b.longitude, b.height);
  },
  tm(c) {
    const tm = new tervala.TransverseMercator({ ...c, ellipsoid: ellipsoidOf(c.ellipsoid) });
    const f = tm.forwardWithScale(column(c.points, 0), column(c.points, 1));
    const b = tm.inverseWithScale(f.easting, f.northing);
    return [tm.maxOffset, ...interleave(f.easting, f.northing, f.convergence, f.scale, b.latitude, b.longitude,
      b.convergence, b.scale)];
  },
  utm(c) {
    const utm = new tervala.Utm(c.zone, c.south, ellipsoidOf(c.ellipsoid));
    const out = [];
    // One point at a time: the scalar path of the same functions.
    for (const [lat, lon] of c.points) {
      const f = utm.forward(lat, lon);
      const b = utm.inverse(f.easting, f.northing);
      out.push(f.easting, f.northing, b.latitude, b.longitude);
    }
    return out;
  },
  helmert7(c) {
    const h = new tervala.Helmert7(c);
    const f = h.forward(column(c.points, 0), column(c.points, 1), column(c.points, 2));
    const b = h.inverse(f.x, f.y, f.z);
    return interleave(f.x, f.y, f.z, b.x, b.y, b.z);
  },
  molodenskyBadekas(c) {
    const m = new tervala.MolodenskyBadekas(c);
    const f = m.forward(column(c.points, 0), column(c.points, 1), column(c.points, 2));
    const b = m.inverse(f.x, f.y, f.z);
    return interleave(f.x, f.y, f.z, b.x, b.y, b.z);
  },
  abridged(c) {
    const m = new tervala.AbridgedMolodensky(ellipsoidOf(c.source), ellipsoidOf(c.target), c.dx, c.dy, c.dz);
    const f = m.forward(column(c.points, 0), column(c.points, 1), column(c.points, 2));
    return interleave(f.latitude, f.longitude, f.height);
  },
  helmert2d(c) {
    const h = new tervala.Helmert2D(c.t1, c.t2, c.scale, c.rotation, c.origin);
    const f = h.forward(column(c.points, 0), column(c.points, 1));
    const b = h.inverse(f.first, f.second);
    return interleave(f.first, f.second, b.first, b.second);
  },
  heightPlane(c) {
    const h = new tervala.HeightPlane(c.slope1, c.slope2, c.shift, c.origin);
    const x = column(c.points, 0), y = column(c.points, 1);
    const f = h.forward(x, y, column(c.points, 2));
    const b = h.inverse(x, y, f);
    return interleave(f, b);
  },
  fitHelmert2D(c) {
    const r = tervala.fitHelmert2D(c.source, c.target, fitOptions(c));
    return [...fitCommon(r), ...r.residuals];
  },
  fitHeightPlane(c) {
    const r = tervala.fitHeightPlane(c.positions, c.sourceHeights, c.targetHeights, fitOptions(c));
    return [...fitCommon(r), ...r.residuals];
  },
  fitHelmert7(c) {
    const r = tervala.fitHelmert7(c.source, c.target, fitOptions(c));
    return [...fitCommon(r), ...r.residuals];
  },
  fitMolodenskyBadekas(c) {
    const r = tervala.fitMolodenskyBadekas(c.source, c.target, fitOptions(c));
    return [...fitCommon(r), ...r.residuals];
  },
  geoidGrid(c) {
    const grid = tervala.GeoidGrid.fromBytes(gridBytes(c), "test grid");
    return Array.from(grid.height(column(c.points, 0), column(c.points, 1)));
  },
};

// The grid file layout the loader reads (little-endian).
function gridBytes(c) {
  const bytes = new ArrayBuffer(40 + 4 * c.values.length);
  const view = new DataView(bytes);
  [c.north, c.west, c.dlat, c.dlon].forEach((v, k) => view.setFloat64(8 * k, v, true));
  view.setInt32(32, c.rows, true);
  view.setInt32(36, c.cols, true);
  c.values.forEach((v, k) => view.setFloat32(40 + 4 * k, v, true));
  return new Uint8Array(bytes);
}

// How far apart two doubles are, in units in the last place.
function ulps(a, b) {
  if (Object.is(a, b) || (Number.isNaN(a) && Number.isNaN(b))) return 0;
  if (!Number.isFinite(a) || !Number.isFinite(b) || Math.sign(a) !== Math.sign(b)) return Infinity;
  const bits = new BigInt64Array(new Float64Array([Math.abs(a), Math.abs(b)]).buffer);
  const d = bits[0] - bits[1];
  return Number(d < 0n ? -d : d);
}

const BITS = { what: "bit for bit", ok: (g, w) => ulps(g, w) === 0 };
const ULP4 = { what: "within 4 ulp", ok: (g, w) => ulps(g, w) <= 4 };
const HEIGHT = { what: "within 1e-8 m", ok: (g, w) => ulps(g, w) === 0 || Math.abs(g - w) <= 1e-8 };
// section -> (index of the value in its case) -> the agreement promised.
const promise = {
  geocentric: (j) => (j % 6 === 5 ? HEIGHT : ULP4),
  tm: () => ULP4,
  utm: () => ULP4,  // Krueger's series by default: the maths library's last bits, as tm
  helmert7: () => BITS,
  molodenskyBadekas: () => BITS,
  abridged: () => ULP4,
  helmert2d: () => BITS,
  heightPlane: () => BITS,
  fitHelmert2D: () => ULP4,
  fitHeightPlane: () => ULP4,
  fitHelmert7: () => ULP4,
  fitMolodenskyBadekas: () => ULP4,
  geoidGrid: () => BITS,
};

for (const [section, run] of Object.entries(compute)) {
  test(`${section}: the native build's doubles (${promise[section](0).what})`, () => {
    assert.ok(Array.isArray(reference[section]), `reference.json has no section ${section}`);
    assert.equal(cases[section].length, reference[section].length);
    cases[section].forEach((c, k) => {
      const got = run(c);
      const want = reference[section][k].map(number);
      assert.equal(got.length, want.length, `${section} case ${k}: ${got.length} values, native ${want.length}`);
      for (let j = 0; j < want.length; ++j) {
        const g = typeof got[j] === "boolean" ? Number(got[j]) : got[j];
        const p = promise[section](j);
        assert.ok(p.ok(g, want[j]), `${section} case ${k} value ${j}: ${g} here, ${want[j]} native (${ulps(g, want[j])} ulp; promised ${p.what})`);
      }
    });
  });
}

// The library's refusals arrive as JavaScript Errors with the native message.
const errorCalls = {
  ellipsoid: (a) => new tervala.Ellipsoid(a[0]),
  ellipsoidConstants: (a) => new tervala.Ellipsoid(a[0], a[1]),
  tm: (a) => new tervala.TransverseMercator({ ellipsoid: a[0], latitudeOfOrigin: a[1], centralMeridian: a[2],
    falseNorthing: a[3], falseEasting: a[4], scaleFactor: a[5] }),
  utm: (a) => new tervala.Utm(a[0]),
  helmert7: (a) => new tervala.Helmert7({ tx: a[0], ty: a[1], tz: a[2], s: a[3], rx: a[4], ry: a[5], rz: a[6],
    convention: "position_vector" }),
  fitHelmert2D: (a) => tervala.fitHelmert2D(a[0], a[1], { sigma: a[2] }),
};

test("refusals: an Error with the native message, never a bare number", () => {
  cases.errors.forEach((c, k) => {
    const message = reference.errors[k];
    assert.notEqual(message, "", `case ${k} (${c.call}) is not refused natively`);
    assert.throws(() => errorCalls[c.call](c.args), (e) => e instanceof Error && e.message === message,
      `case ${k} (${c.call}): expected Error "${message}"`);
  });
});
