// The calibration page: reads common points, runs the library's weighted
// fits (WebAssembly, through the package's API), shows parameters,
// statistics and a residual plot, converts points, adds geoid heights, and
// writes the tool's parameter file, a PROJ string and the JSON report.
// Plain script (works from file://): uses TervalaPoints, createTervalaCore
// and makeTervalaApi from the scripts before it.
"use strict";

const DEMO = `# Example site calibration: grid E/N (ETRS-TM35FIN) and ellipsoidal height,
# then local site x' y' h'. CP7 carries a blunder of about 10 cm.
# id   x (grid)     y (grid)    h        x' (site)  y' (site)  h'
BM1 6672113.518 385609.999 12.403 1316.437 1704.692 30.843
BM2 6672481.204 385922.871 14.118 1678.055 2024.584 32.551
CP3 6672765.930 385380.442 17.562 1973.157 1487.699 36.010
CP4 6672290.377 385064.215 11.207 1503.739 1162.386 29.642
CP5 6672600.818 386170.093 19.845 1792.909 2274.057 38.283
CP6 6671905.644 385873.560 10.330 1103.527 1964.229 28.764
CP7 6672920.155 385795.316 21.094 2119.479 1905.419 39.543
CP8 6672050.062 386260.781 13.476 1240.493 2354.164 31.902
`;
const DEMO_SETTINGS = { model: "site", sigma: "0.01", sigmaHeight: "0.01", alpha: "0.05", alpha0: "0.001" };

const $ = (id) => document.getElementById(id);
let T = null;          // the package API once the module is ready
let last = null;       // the last fit: {model, runs, points, settings}
let geoid = null;      // a loaded GeoidGrid
let sourceName = "points";

// ---- Formatting ----------------------------------------------------------------------

// printf's %.17g: every double written so it reads back exactly, as the tool writes.
function g17(v) {
  if (!Number.isFinite(v)) return String(v);
  if (v === 0) return Object.is(v, -0) ? "-0" : "0";
  const [mant, e] = v.toExponential(16).split("e");
  const exp = Number(e);
  const strip = (s) => (s.includes(".") ? s.replace(/0+$/, "").replace(/\.$/, "") : s);
  if (exp < -4 || exp >= 17) return `${strip(mant)}e${exp < 0 ? "-" : "+"}${String(Math.abs(exp)).padStart(2, "0")}`;
  return strip(v.toFixed(16 - exp));
}
const fixed = (v, d) => (Number.isFinite(v) ? v.toFixed(d) : "–");
function el(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === "class") e.className = v;
    else if (k.startsWith("data-") || k === "title" || k === "scope") e.setAttribute(k, v);
    else e[k] = v;
  }
  for (const c of children) e.append(c instanceof Node ? c : document.createTextNode(String(c)));
  return e;
}

// ---- Models --------------------------------------------------------------------------

const SEVEN = new Set(["bursa-wolf", "molodensky-badekas"]);
const UNITS = { t1: "m", t2: "m", scale: "ppm", rotation: "arc-second", slope1: "m/m", slope2: "m/m", shift: "m",
  tx: "m", ty: "m", tz: "m", s: "ppm", rx: "arc-second", ry: "arc-second", rz: "arc-second" };
const SHOWN = { scale: ["ppm", 1], rotation: ['"', 1], slope1: ["mm/km", 1e6], slope2: ["mm/km", 1e6],
  s: ["ppm", 1], rx: ['"', 1], ry: ['"', 1], rz: ['"', 1] };

function numberSetting(id, name, fallback) {
  const text = $(id).value.trim();
  if (text === "") return fallback;
  const v = Number(text);
  if (!Number.isFinite(v)) throw new Error(`${name}: expected a number, got '${text}'`);
  return v;
}

function readSettings() {
  return {
    model: $("model").value,
    sigma: numberSetting("sigma", "σ", null),
    sigmaHeight: numberSetting("sigma-height", "σ heights", null),
    alpha: numberSetting("alpha", "α", 0.05),
    alpha0: numberSetting("alpha0", "α0", 0.001),
    convention: $("convention").value,
    sourceKind: $("source-kind").value,
    targetKind: $("target-kind").value,
  };
}

// Standard deviations per observed coordinate from the file's columns, or
// one value from the form, or none (equal weights).
function sigmasFor(points, count, column, formValue) {
  if (formValue !== null) return formValue;
  if (points.length === 0 || points[0].sigma.length === 0) return undefined;
  return points.flatMap((p) => {
    const s = p.sigma;
    if (s.length === 1) return new Array(count).fill(s[0]);
    if (column !== undefined) return new Array(count).fill(s[column]);
    return s.slice(0, count);
  });
}

// Runs the model's fits; each run is {name, title, coordinates, result, ids}.
function runFits(points, settings, snoop) {
  const ids = points.map((p) => p.id);
  const common = { alpha: settings.alpha, alpha0: settings.alpha0, snoop };
  const runs = [];
  const m = settings.model;
  if (m === "helmert2d" || m === "site") {
    const sigma = m === "site"
      ? sigmasFor(points, 2, points[0].sigma.length === 2 ? 0 : undefined, settings.sigma)
      : sigmasFor(points, 2, undefined, settings.sigma);
    const r = T.fitHelmert2D(points.map((p) => p.source.slice(0, 2)), points.map((p) => p.target.slice(0, 2)),
      { ...common, sigma });
    runs.push({ name: "helmert2d", title: "2D Helmert", coordinates: ["x'", "y'"], result: r, ids });
  }
  if (m === "height" || m === "site") {
    const hs = points.map((p) => p.source[2]);
    const ht = points.map((p) => (m === "site" ? p.target[2] : p.target[0]));
    const sigma = m === "site"
      ? (settings.sigmaHeight ?? settings.sigma ?? sigmasFor(points, 1, points[0].sigma.length === 2 ? 1 : 0, null))
      : sigmasFor(points, 1, 0, settings.sigma);
    const r = T.fitHeightPlane(points.map((p) => p.source.slice(0, 2)), hs, ht, { ...common, sigma });
    runs.push({ name: "height", title: "Height plane", coordinates: ["h'"], result: r, ids });
  }
  if (SEVEN.has(m)) {
    const toXYZ = (kind, v) => {
      if (!kind) return v;
      const g = new T.Ellipsoid(kind).toGeocentric(v[0], v[1], v[2]);
      return [g.x, g.y, g.z];
    };
    const source = points.map((p) => toXYZ(settings.sourceKind, p.source));
    const target = points.map((p) => toXYZ(settings.targetKind, p.target));
    let sigma, sourceSigma;
    if (settings.sigma !== null) sigma = settings.sigma;
    else if (points[0].sigma.length > 0) {
      const n = points[0].sigma.length;
      sigma = points.flatMap((p) => (n === 1 ? [p.sigma[0], p.sigma[0], p.sigma[0]] : n === 2 ? [p.sigma[1], p.sigma[1], p.sigma[1]] : p.sigma.slice(3)));
      sourceSigma = points.flatMap((p) => (n === 1 ? [p.sigma[0], p.sigma[0], p.sigma[0]] : n === 2 ? [p.sigma[0], p.sigma[0], p.sigma[0]] : p.sigma.slice(0, 3)));
    }
    const fit = m === "bursa-wolf" ? T.fitHelmert7 : T.fitMolodenskyBadekas;
    const r = fit(source, target, { ...common, sigma, sourceSigma, convention: settings.convention });
    runs.push({ name: m, title: m === "bursa-wolf" ? "Seven parameters (Bursa-Wolf)" : "Seven parameters (Molodensky-Badekas)",
      coordinates: ["X", "Y", "Z"], result: r, ids, source, target });
  }
  return runs;
}

// ---- Running ---------------------------------------------------------------------------

function parsed() {
  const s = readSettings();
  return TervalaPoints.parse($("points-text").value, s.model,
    { geodeticSource: Boolean(s.sourceKind), geodeticTarget: Boolean(s.targetKind) });
}

function fit(snoop = false) {
  $("fit-errors").textContent = "";
  if (T === null) return;
  let settings;
  try {
    settings = readSettings();
  } catch (e) {
    $("fit-errors").textContent = e.message;
    return;
  }
  const p = parsed();
  $("parse-errors").textContent = p.errors.join("\n");
  if (p.errors.length > 0) return;
  if (p.points.length === 0) {
    $("fit-errors").textContent = "no points to fit";
    return;
  }
  try {
    const runs = runFits(p.points, settings, snoop);
    const refused = runs.filter((r) => r.result.transformation === null);
    if (refused.length > 0) {
      const r = refused[0].result;
      throw new Error(`${refused[0].title}: the fit is refused: ${r.statistics && r.statistics.message ? r.statistics.message : "the points cannot determine its parameters"} (rank ${r.rank} of ${r.unknowns})`);
    }
    last = { model: settings.model, runs, points: p.points, settings, snoop };
    show(last);
  } catch (e) {
    last = null;
    $("results").hidden = true;
    $("convert-section").hidden = true;
    $("fit-errors").textContent = e.message;
  }
}

// ---- Showing ---------------------------------------------------------------------------

function show(state) {
  $("results").hidden = false;
  $("convert-section").hidden = false;
  const summary = $("summary"), params = $("parameters"), obs = $("observations"), removed = $("removed");
  summary.replaceChildren();
  params.replaceChildren();
  obs.replaceChildren();
  removed.replaceChildren();
  for (const run of state.runs) {
    const r = run.result, s = r.statistics;
    const dl = el("dl", { class: "kv" });
    const add = (k, v, cls) => dl.append(el("dt", {}, k), el("dd", cls ? { class: cls } : {}, v));
    add("Model", run.title);
    add("Points", `${r.points} (${r.observations} observations, ${r.unknowns} parameters, redundancy ${r.redundancy})`);
    if (run.result.origin && Array.isArray(run.result.origin)) add("Origin", run.result.origin.map((v) => v.toFixed(4)).join("  "));
    add("σ0", `${fixed(s.sigma0, 4)}${s.aPriori ? " (a posteriori, a priori 1)" : " m (no a priori σ: equal weights, no tests)"}`);
    if (s.globalTest) {
      const g = s.globalTest;
      add("Global test", `variance factor ${fixed(g.statistic, 4)} in [${fixed(g.lower, 4)}, ${fixed(g.upper, 4)}] at α ${g.alpha}: ${g.passed ? "passed" : "FAILED"}`,
        g.passed ? "pass" : "fail");
    }
    if (s.wCritical !== null) add("w-test", `critical value ${fixed(s.wCritical, 3)} at α0 ${s.alpha0}, power 80 %`);
    if (s.message) add("Note", s.message);
    summary.append(el("h3", {}, run.title), dl);

    const table = el("table", { class: "parameters" });
    table.append(el("tr", {}, el("th", {}, "Parameter"), el("th", {}, "Value"), el("th", {}, "σ")));
    for (const p of s.parameters) {
      const [unit, factor] = SHOWN[p.name] || [UNITS[p.name], 1];
      table.append(el("tr", {},
        el("td", {}, `${p.name} (${unit})`),
        el("td", { "data-parameter": p.name, "data-value": g17(p.value), title: g17(p.value) }, fixed(p.value * factor, 6)),
        el("td", { "data-sigma": p.name }, fixed(p.sigma * factor, 6))));
    }
    params.append(el("h3", {}, `${run.title}: parameters`), el("div", { class: "scroll" }, table));

    const ot = el("table", { class: "observations" });
    ot.append(el("tr", {}, ...["Point", "coord", "v (m)", "r", "nv", "w", "MDB (m)", ""].map((h) => el("th", {}, h))));
    const o = s.observations;
    const order = Array.from(o.point.keys()).sort((a, b) => o.point[a] - o.point[b] || o.coordinate[a] - o.coordinate[b]);
    for (const k of order) {
      const id = run.ids[o.point[k]];
      const attrs = { "data-point-id": id, "data-coordinate": run.coordinates[o.coordinate[k]] };
      if (o.rejected[k]) attrs["data-rejected"] = "true";
      ot.append(el("tr", attrs, el("td", {}, id), el("td", {}, run.coordinates[o.coordinate[k]]),
        el("td", {}, fixed(o.residual[k], 4)), el("td", {}, fixed(o.redundancyNumber[k], 3)),
        el("td", {}, fixed(o.normalisedResidual[k], 2)), el("td", {}, fixed(o.w[k], 2)),
        el("td", {}, fixed(o.mdb[k], 4)), el("td", {}, o.rejected[k] ? "REJECTED" : "")));
    }
    obs.append(el("h3", {}, `${run.title}: observations`), el("div", { class: "scroll" }, ot));
    if (s.removed.length > 0) {
      const list = el("ol", {});
      for (const p of s.removed)
        list.append(el("li", { "data-removed-point": run.ids[p.point] },
          `${run.ids[p.point]} ${run.coordinates[p.coordinate]}: w ${fixed(p.w, 2)} (variance factor ${fixed(p.varianceFactor, 3)})`));
      removed.append(el("h3", {}, `${run.title}: removed by snooping (the solution is without them)`), list);
    }
  }
  const anyRejected = state.runs.some((r) => r.result.statistics.observations.rejected.some(Boolean));
  $("snoop-button").disabled = !anyRejected;
  $("plot").replaceChildren(plot(state));
  $("download-proj").hidden = !SEVEN.has(state.model);
  $("convert-in").placeholder = state.points.slice(0, 2).map((p) => [p.id, ...p.source].join(" ")).join("\n");
}

// ---- Residual plot ---------------------------------------------------------------------

const SVG = "http://www.w3.org/2000/svg";
function svg(tag, attrs = {}, text) {
  const e = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
  if (text !== undefined) e.textContent = text;
  return e;
}
function niceLength(v) {
  if (!(v > 0) || !Number.isFinite(v)) return 1;
  const p = 10 ** Math.floor(Math.log10(v));
  const m = v / p;
  return (m >= 5 ? 5 : m >= 2 ? 2 : 1) * p;
}
function lengthLabel(m) {
  if (m >= 1000) return `${m / 1000} km`;
  if (m >= 1) return `${m} m`;
  if (m >= 0.01) return `${+(m * 100).toPrecision(6)} cm`;
  return `${+(m * 1000).toPrecision(6)} mm`;
}

// Plot positions and residual vectors of the points kept. Plane models: the
// source x (up) and y (right) with the 2D residuals and, where a priori
// standard deviations exist, the ellipse of the w-test's limit along x' and
// y' (wCritical sigma sqrt(r)); heights alone: vertical bars.
// Seven parameters: east and north about the centroid with the misclosures'
// horizontal components.
function plot(state) {
  const W = 640, H = 640, M = 70;
  const root = svg("svg", { viewBox: `0 0 ${W} ${H}`, role: "img", "aria-label": "residual plot", id: "residual-plot" });
  root.append(svg("rect", { x: 0, y: 0, width: W, height: H, fill: "#fff" }));
  const items = [];  // {id, x (right), y (up), dx, dy, sx, sy, flagged}
  const main = state.runs[0];
  const r = main.result, o = r.statistics.observations;
  const flagged = new Set();
  for (const run of state.runs) {
    const ob = run.result.statistics.observations;
    ob.point.forEach((p, k) => { if (ob.rejected[k]) flagged.add(run.ids[p]); });
  }
  const removedIds = new Set(state.runs.flatMap((run) => run.result.statistics.removed.map((p) => run.ids[p.point])));
  // The ellipse of the w-test's limit: wCritical times the residual's
  // standard deviation along each axis (a residual vector reaching past it
  // fails the test, correlation between the axes aside).
  const limit = r.statistics.aPriori && r.statistics.wCritical !== null ? r.statistics.wCritical : NaN;
  const sigmaOf = (k) => limit * Math.abs(o.residual[k]) / Math.abs(o.normalisedResidual[k]);
  let axes = ["y", "x"];
  if (main.name === "helmert2d") {
    state.points.forEach((p, i) => {
      if (removedIds.has(p.id)) return;
      const ks = [0, 1].map((c) => Array.from(o.point.keys()).find((k) => o.point[k] === i && o.coordinate[k] === c));
      items.push({ id: p.id, x: p.source[1], y: p.source[0], dx: r.residuals[2 * i + 1], dy: r.residuals[2 * i],
        sx: ks[1] === undefined ? NaN : sigmaOf(ks[1]), sy: ks[0] === undefined ? NaN : sigmaOf(ks[0]), flagged: flagged.has(p.id) });
    });
  } else if (main.name === "height") {
    state.points.forEach((p, i) => {
      if (removedIds.has(p.id)) return;
      items.push({ id: p.id, x: p.source[1], y: p.source[0], dx: 0, dy: r.residuals[i], sx: NaN, sy: NaN, flagged: flagged.has(p.id) });
    });
    axes = ["y", "x (bars: height residuals)"];
  } else {
    // Local east/north at the centroid of the source points.
    const n = main.source.length;
    const c = [0, 1, 2].map((j) => main.source.reduce((a, p) => a + p[j], 0) / n);
    const e = new T.Ellipsoid("GRS80");
    const g = e.toGeodetic(c[0], c[1], c[2]);
    e.delete();
    const la = g.latitude * Math.PI / 180, lo = g.longitude * Math.PI / 180;
    const east = [-Math.sin(lo), Math.cos(lo), 0];
    const north = [-Math.sin(la) * Math.cos(lo), -Math.sin(la) * Math.sin(lo), Math.cos(la)];
    const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    state.points.forEach((p, i) => {
      if (removedIds.has(p.id)) return;
      const d = [0, 1, 2].map((j) => main.source[i][j] - c[j]);
      const v = [0, 1, 2].map((j) => r.residuals[3 * i + j]);
      items.push({ id: p.id, x: dot(d, east), y: dot(d, north), dx: dot(v, east), dy: dot(v, north), sx: NaN, sy: NaN, flagged: flagged.has(p.id) });
    });
    axes = ["east (m)", "north (m)"];
  }
  const xs = items.map((p) => p.x), ys = items.map((p) => p.y);
  const minX = Math.min(...xs), maxX = Math.max(...xs), minY = Math.min(...ys), maxY = Math.max(...ys);
  const span = Math.max(maxX - minX, maxY - minY) || 1;
  const scale = (W - 2 * M) / span;
  const cx = (minX + maxX) / 2, cy = (minY + maxY) / 2;
  const px = (x) => W / 2 + (x - cx) * scale, py = (y) => H / 2 - (y - cy) * scale;
  const maxResidual = Math.max(...items.map((p) => Math.hypot(p.dx, p.dy)).filter(Number.isFinite), 1e-6);
  const exaggeration = 0.12 * (W - 2 * M) / maxResidual;  // the largest vector: 12 % of the plot
  for (const p of items) {
    const color = p.flagged ? "#c00000" : "#1f4e79";
    const x = px(p.x), y = py(p.y);
    const group = svg("g", { "data-point-id": p.id, class: p.flagged ? "flagged" : "" });
    if (Number.isFinite(p.sx) && Number.isFinite(p.sy))
      group.append(svg("ellipse", { cx: x, cy: y, rx: Math.max(p.sx * exaggeration, 0.5), ry: Math.max(p.sy * exaggeration, 0.5),
        fill: "none", stroke: color, "stroke-opacity": 0.45, "stroke-dasharray": "4 3" }));
    group.append(svg("circle", { cx: x, cy: y, r: 4, fill: color }));
    if (Number.isFinite(p.dx) && Number.isFinite(p.dy)) {
      const x2 = x + p.dx * exaggeration, y2 = y - p.dy * exaggeration;
      group.append(svg("line", { x1: x, y1: y, x2, y2, stroke: color, "stroke-width": 2.5 }));
      const a = Math.atan2(y2 - y, x2 - x), h = 8;
      if (Math.hypot(x2 - x, y2 - y) > h)
        group.append(svg("path", { d: `M${x2},${y2} L${x2 - h * Math.cos(a - 0.4)},${y2 - h * Math.sin(a - 0.4)} L${x2 - h * Math.cos(a + 0.4)},${y2 - h * Math.sin(a + 0.4)}Z`, fill: color }));
    }
    group.append(svg("text", { x: x + 7, y: y - 7, "font-size": 14, fill: color }, p.id));
    root.append(group);
  }
  // Scale bars: positions and residuals.
  const posBar = niceLength(span / 4), resBar = niceLength(maxResidual / 2);
  const bar = (y, length, label) => {
    root.append(svg("line", { x1: M, y1: y, x2: M + length, y2: y, stroke: "#333", "stroke-width": 2 }));
    root.append(svg("text", { x: M + length + 8, y: y + 5, "font-size": 13, fill: "#333" }, label));
  };
  bar(H - 40, posBar * scale, `${lengthLabel(posBar)} (positions)`);
  bar(H - 18, resBar * exaggeration, `${lengthLabel(resBar)} (residuals)`);
  if (items.some((p) => Number.isFinite(p.sx)))
    root.append(svg("text", { x: W - M, y: H - 18, "font-size": 13, "text-anchor": "end", fill: "#333" },
      `dashed: w-test limit ${fixed(limit, 2)} σv`));
  root.append(svg("text", { x: W - M, y: H - 40, "font-size": 13, "text-anchor": "end", fill: "#333" }, `→ ${axes[0]}`));
  root.append(svg("text", { x: 12, y: 24, "font-size": 13, fill: "#333" }, `↑ ${axes[1]}`));
  root.append(svg("text", { x: W / 2, y: 24, "font-size": 15, "text-anchor": "middle", fill: "#111" }, `${main.title}: residuals`));
  return root;
}

// ---- Converting ------------------------------------------------------------------------

function convert() {
  const out = $("convert-out");
  out.textContent = "";
  if (!last) return;
  const forward = $("direction").value === "forward";
  const lines = [];
  const runs = Object.fromEntries(last.runs.map((r) => [r.name, r.result]));
  const m = last.model;
  const need = m === "helmert2d" ? 2 : m === "height" || m === "site" ? 3 : 3;
  $("convert-in").value.split("\n").forEach((raw, index) => {
    const f = raw.split("#")[0].split(/[\s,;]+/).filter(Boolean);
    if (f.length === 0) return;
    if (f.length < 1 + need) { lines.push(`# error: line ${index + 1}: expected id and ${need} coordinates, got ${f.length - 1} fields`); return; }
    const v = f.slice(1, 1 + need).map(Number);
    const bad = v.findIndex((x) => !Number.isFinite(x));
    if (bad >= 0) { lines.push(`# error: line ${index + 1}: field ${bad + 2} '${f[bad + 1]}' is not a number`); return; }
    let result;
    if (m === "helmert2d" || m === "site") {
      const h = runs.helmert2d.transformation;
      const q = forward ? h.forward(v[0], v[1]) : h.inverse(v[0], v[1]);
      result = [q.first, q.second];
      if (m === "site") {
        const plane = runs.height.transformation;
        // The plane is a function of the source position.
        const at = forward ? [v[0], v[1]] : [q.first, q.second];
        result.push(forward ? plane.forward(at[0], at[1], v[2]) : plane.inverse(at[0], at[1], v[2]));
      }
    } else if (m === "height") {
      const plane = runs.height.transformation;
      result = [v[0], v[1], forward ? plane.forward(v[0], v[1], v[2]) : plane.inverse(v[0], v[1], v[2])];
    } else {
      const t = runs[m].transformation;
      const q = forward ? t.forward(v[0], v[1], v[2]) : t.inverse(v[0], v[1], v[2]);
      result = [q.x, q.y, q.z];
    }
    lines.push([f[0], ...result.map((x) => x.toFixed(4)), ...f.slice(1 + need)].join(" "));
  });
  out.textContent = lines.join("\n");
}

// ---- Files the tool reads ----------------------------------------------------------------

function parameterFile(run) {
  const head = `# written by tervala calibration page from ${sourceName}\n`;
  const r = run.result;
  const lines = [];
  if (run.name === "helmert2d") {
    const p = r.parameters;
    lines.push("model helmert2d", `t1 ${g17(p.t1)}`, `t2 ${g17(p.t2)}`, `scale ${g17(p.scale)}`, `rotation ${g17(p.rotation)}`,
      `x0 ${g17(r.origin[0])}`, `y0 ${g17(r.origin[1])}`);
  } else if (run.name === "height") {
    const p = r.parameters;
    lines.push("model height", `slope1 ${g17(p.slope1)}`, `slope2 ${g17(p.slope2)}`, `shift ${g17(p.shift)}`,
      `x0 ${g17(r.origin[0])}`, `y0 ${g17(r.origin[1])}`);
  } else {
    // The tool's files hold coordinate-frame rotations.
    const t = r.transformation.toConvention("coordinate_frame");
    const h = run.name === "molodensky-badekas" ? t.parameters : t;
    lines.push(`model ${run.name}`, "convention coordinate-frame");
    if (run.name === "molodensky-badekas") {
      const o = t.origin;
      lines.push(`x0 ${g17(o.x)}`, `y0 ${g17(o.y)}`, `z0 ${g17(o.z)}`);
    }
    for (const k of ["tx", "ty", "tz", "s", "rx", "ry", "rz"]) lines.push(`${k} ${g17(h[k])}`);
  }
  return head + lines.join("\n") + "\n";
}

function projString(run) {
  const t = run.result.transformation.toConvention("coordinate_frame");
  const badekas = run.name === "molodensky-badekas";
  const h = badekas ? t.parameters : t;
  let s = `+proj=${badekas ? "molobadekas" : "helmert"} +x=${g17(h.tx)} +y=${g17(h.ty)} +z=${g17(h.tz)} ` +
    `+rx=${g17(h.rx)} +ry=${g17(h.ry)} +rz=${g17(h.rz)} +s=${g17(h.s)}`;
  if (badekas) s += ` +px=${g17(t.origin.x)} +py=${g17(t.origin.y)} +pz=${g17(t.origin.z)}`;
  return `${s} +convention=coordinate_frame +exact\n`;
}

// The tool's JSON report, one per fit (a site calibration holds two).
function jsonReport(run) {
  const r = run.result, s = r.statistics;
  const num = (v) => (Number.isFinite(v) ? v : null);
  const n = s.parameters.length;
  const correlation = [];
  for (let i = 0; i < n; ++i) correlation.push(Array.from(s.correlation.slice(i * n, i * n + n)));
  const origin = run.name === "helmert2d" || run.name === "height" ? [r.origin[0], r.origin[1], 0]
    : run.name === "molodensky-badekas" ? [r.origin.x, r.origin.y, r.origin.z] : [0, 0, 0];
  const o = s.observations;
  const order = Array.from(o.point.keys()).sort((a, b) => o.point[a] - o.point[b] || o.coordinate[a] - o.coordinate[b]);
  return {
    model: run.name,
    a_priori: s.aPriori,
    parameters: s.parameters.map((p) => ({ name: p.name, value: p.value, sigma: num(p.sigma), unit: UNITS[p.name] })),
    correlation,
    origin,
    sigma0: s.sigma0,
    redundancy: s.redundancy,
    global_test: s.globalTest && s.aPriori ? { statistic: s.globalTest.statistic, lower: s.globalTest.lower,
      upper: s.globalTest.upper, alpha: s.globalTest.alpha, passed: s.globalTest.passed } : null,
    w_critical: s.aPriori ? num(s.wCritical) : null,
    observations: order.map((k) => ({ point: run.ids[o.point[k]], coordinate: run.coordinates[o.coordinate[k]],
      residual: o.residual[k], redundancy_number: o.redundancyNumber[k],
      normalised_residual: s.aPriori ? num(o.normalisedResidual[k]) : null, w: s.aPriori ? num(o.w[k]) : null,
      mdb: s.aPriori ? num(o.mdb[k]) : null, rejected: s.aPriori && o.rejected[k] })),
    removed: s.removed.map((p) => ({ point: run.ids[p.point], coordinate: run.coordinates[p.coordinate], w: p.w,
      variance_factor: p.varianceFactor })),
    converged: r.converged,
  };
}

function download(name, text, type = "text/plain") {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const a = el("a", { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

// ---- Sharing ---------------------------------------------------------------------------

function shareFragment() {
  const s = $("sigma").value.trim(), sh = $("sigma-height").value.trim();
  const parts = [`points=${encodeURIComponent($("points-text").value)}`, `model=${encodeURIComponent($("model").value)}`];
  if (s !== "") parts.push(`sigma=${encodeURIComponent($("model").value === "site" && sh !== "" ? `${s},${sh}` : s)}`);
  parts.push(`alpha=${encodeURIComponent($("alpha").value.trim())}`, `alpha0=${encodeURIComponent($("alpha0").value.trim())}`);
  if (SEVEN.has($("model").value)) parts.push(`convention=${$("convention").value}`);
  return `#${parts.join("&")}`;
}

function applyFragment(hash) {
  const params = new URLSearchParams(hash.replace(/^#/, "").replace(/\+/g, "%2B"));
  if (!params.has("points")) return false;
  $("points-text").value = params.get("points");
  if (params.has("model")) $("model").value = params.get("model");
  const sigma = (params.get("sigma") || "").split(",");
  $("sigma").value = sigma[0] || "";
  $("sigma-height").value = sigma[1] || "";
  if (params.has("alpha")) $("alpha").value = params.get("alpha");
  if (params.has("alpha0")) $("alpha0").value = params.get("alpha0");
  if (params.has("convention")) $("convention").value = params.get("convention");
  sourceName = "shared link";
  return true;
}

// ---- Table editing -----------------------------------------------------------------------

function renderTable() {
  const model = $("model").value;
  const layout = TervalaPoints.LAYOUTS[model];
  const p = parsed();
  const table = $("points-table");
  const heads = ["id", ...layout.source, ...layout.target, "σ"];
  table.replaceChildren(el("tr", {}, ...heads.map((h) => el("th", {}, h)), el("th", {}, "")));
  const rows = p.points.length > 0 ? p.points : [{ id: "", source: [], target: [], sigma: [] }];
  for (const pt of rows) addTableRow(heads.length, [pt.id, ...pt.source, ...pt.target, pt.sigma.length ? pt.sigma.join(" ") : ""]);
}

function addTableRow(columns, values = []) {
  const tr = el("tr", {});
  for (let k = 0; k < columns; ++k) {
    const input = el("input", { value: values[k] ?? "", inputMode: k === 0 ? "text" : "decimal" });
    input.addEventListener("change", tableToText);
    tr.append(el("td", {}, input));
  }
  const remove = el("button", { type: "button", title: "remove" }, "×");
  remove.addEventListener("click", () => { tr.remove(); tableToText(); });
  tr.append(el("td", {}, remove));
  $("points-table").append(tr);
}

function tableToText() {
  const rows = Array.from($("points-table").querySelectorAll("tr")).slice(1);
  const text = rows.map((tr) => Array.from(tr.querySelectorAll("input")).map((i) => i.value.trim()).filter(Boolean).join(" "))
    .filter(Boolean).join("\n");
  $("points-text").value = `${text}\n`;
  $("parse-errors").textContent = parsed().errors.join("\n");
}

// ---- Geoid -------------------------------------------------------------------------------

async function loadGeoid(file) {
  $("geoid-info").textContent = "";
  try {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const g = T.GeoidGrid.fromBytes(bytes, file.name);
    if (geoid) geoid.delete();
    geoid = g;
    $("geoid-info").textContent = `${file.name}: ${g.rows} × ${g.columns} nodes from ${g.north}° N, ${g.west}° E, spacing ${g.latitudeSpacing}° × ${g.longitudeSpacing}°`;
  } catch (e) {
    $("geoid-info").textContent = e.message;
  }
}

function geoidHeights() {
  const out = [];
  if (!geoid) { $("geoid-out").textContent = "open a geoid grid file first"; return; }
  $("geoid-in").value.split("\n").forEach((raw, index) => {
    const f = raw.split("#")[0].split(/[\s,;]+/).filter(Boolean);
    if (f.length === 0) return;
    const lat = TervalaPoints.parseAngle(f[1] ?? "", "latitude");
    const lon = TervalaPoints.parseAngle(f[2] ?? "", "longitude");
    const h = TervalaPoints.parseNumber(f[3] ?? "");
    const bad = [lat, lon, h].find((r) => r.error !== undefined);
    if (f.length < 4 || bad) { out.push(`# error: line ${index + 1}: ${bad ? bad.error : "expected id latitude longitude h"}`); return; }
    const n = geoid.height(lat.value, lon.value);
    out.push(Number.isFinite(n) ? `${f[0]} ${lat.value} ${lon.value} ${h.value.toFixed(4)} N ${n.toFixed(4)} H ${(h.value - n).toFixed(4)}`
      : `# error: line ${index + 1}: ${f[0]} lies outside the grid's reliable region`);
  });
  $("geoid-out").textContent = out.join("\n");
}

// ---- Start -------------------------------------------------------------------------------

function modelChanged() {
  document.body.classList.toggle("seven", SEVEN.has($("model").value));
  document.body.classList.toggle("site", $("model").value === "site");
  if (!$("points-table-wrap").hidden) renderTable();
}

function loadDemo() {
  $("points-text").value = DEMO;
  $("model").value = DEMO_SETTINGS.model;
  $("sigma").value = DEMO_SETTINGS.sigma;
  $("sigma-height").value = DEMO_SETTINGS.sigmaHeight;
  $("alpha").value = DEMO_SETTINGS.alpha;
  $("alpha0").value = DEMO_SETTINGS.alpha0;
  sourceName = "example network";
  modelChanged();
  fit();
}

function wire() {
  $("model").addEventListener("change", modelChanged);
  $("fit-button").addEventListener("click", () => fit(false));
  $("snoop-button").addEventListener("click", () => fit(true));
  $("demo-button").addEventListener("click", loadDemo);
  $("convert-button").addEventListener("click", convert);
  $("geoid-button").addEventListener("click", geoidHeights);
  $("table-button").addEventListener("click", () => {
    const wrap = $("points-table-wrap");
    wrap.hidden = !wrap.hidden;
    $("points-text").hidden = !wrap.hidden;
    if (!wrap.hidden) renderTable();
  });
  $("add-row").addEventListener("click", () => addTableRow($("points-table").rows[0].cells.length - 1));
  $("points-file").addEventListener("change", async (e) => {
    const file = e.target.files[0];
    if (!file) return;
    $("points-text").value = await file.text();
    sourceName = file.name;
  });
  const area = $("points-text");
  area.addEventListener("dragover", (e) => e.preventDefault());
  area.addEventListener("drop", async (e) => {
    const file = e.dataTransfer.files[0];
    if (!file) return;
    e.preventDefault();
    area.value = await file.text();
    sourceName = file.name;
  });
  $("geoid-file").addEventListener("change", (e) => { if (e.target.files[0]) loadGeoid(e.target.files[0]); });
  $("share-button").addEventListener("click", async () => {
    const url = `${location.href.split("#")[0]}${shareFragment()}`;
    history.replaceState(null, "", url);
    try { await navigator.clipboard.writeText(url); $("status").textContent = "link copied"; }
    catch { $("status").textContent = "link in the address bar"; }
  });
  $("download-params").addEventListener("click", () => {
    if (!last) return;
    for (const run of last.runs)
      download(last.runs.length > 1 ? `${sourceName}-${run.name}.params.txt` : `${sourceName}.params.txt`, parameterFile(run));
  });
  $("download-proj").addEventListener("click", () => {
    if (last && SEVEN.has(last.model)) download(`${sourceName}.proj`, projString(last.runs[0]));
  });
  $("download-json").addEventListener("click", () => {
    if (!last) return;
    const reports = last.runs.map(jsonReport);
    download(`${sourceName}.json`, `${JSON.stringify(reports.length === 1 ? reports[0] : reports, null, 2)}\n`, "application/json");
  });
  window.addEventListener("hashchange", () => { if (applyFragment(location.hash)) { modelChanged(); fit(); } });
}

async function start() {
  wire();
  for (const id of ["source-kind", "target-kind"])
    for (const name of ["GRS80", "WGS84", "Bessel1841", "International1924", "Krassovsky1940", "Airy1830", "Clarke1866"])
      $(id).append(el("option", { value: name }, `latitude longitude h on ${name}`));
  modelChanged();
  try {
    const core = await createTervalaCore();
    T = makeTervalaApi(core);
    $("status").textContent = "ready (offline capable)";
  } catch (e) {
    $("status").textContent = `the library did not load: ${e.message}`;
    return;
  }
  if (applyFragment(location.hash)) { modelChanged(); fit(); }
  else if (new URLSearchParams(location.search).has("demo")) loadDemo();
  if ("serviceWorker" in navigator && location.protocol !== "file:")
    navigator.serviceWorker.register("sw.js").catch(() => {});
}

window.TervalaPage = { g17, parameterFile, projString, jsonReport, shareFragment, state: () => last, api: () => T };
start();
