// The JavaScript layer's own behaviour: shapes of results, broadcasting,
// argument checks, loading grids from bytes, and a module that keeps working
// after a refusal.
import { test } from "node:test";
import assert from "node:assert/strict";

import * as tervala from "../index.js";

const utm52 = new tervala.Utm(52);

test("numbers give numbers, arrays give Float64Arrays, numbers broadcast", () => {
  const one = utm52.forward(37.5, 127.0);
  assert.equal(typeof one.easting, "number");
  const many = utm52.forward([37.5, 36.0], 127.0);
  assert.ok(many.easting instanceof Float64Array);
  assert.equal(many.easting.length, 2);
  assert.ok(Object.is(many.easting[0], one.easting));
  assert.ok(Object.is(many.northing[0], one.northing));
  const plane = new tervala.HeightPlane(0, 0, 1.5);
  assert.deepEqual(Array.from(plane.forward([0, 10], [0, 20], 100)), [101.5, 101.5]);
});

test("argument checks name the argument", () => {
  const cases = [
    [() => utm52.forward([1, 2], [1, 2, 3]), Error, /longitude has 3 values, latitude has 2/],
    [() => utm52.forward("37", 127), TypeError, /latitude must be a number/],
    [() => new tervala.Helmert7({ tx: 0, ty: 0, tz: 0, s: 0, rx: 0, ry: 0, rz: 0 }), TypeError, /convention is required/],
    [() => new tervala.Helmert7({ tx: 0, ty: 0, tz: 0, s: 0, rx: 0, ry: 0, rz: 0, convention: "pv" }), Error,
      /convention must be "position_vector" or "coordinate_frame"/],
    [() => tervala.fitHelmert2D([[0, 0], [1, 1]], [[0, 0]]), Error, /./],
    [() => tervala.fitHelmert2D([[0, 0], [1]], [[0, 0], [1, 1]]), TypeError, /source\[1\] must hold 2 numbers/],
    [() => tervala.fitHeightPlane([[0, 0], [1, 0], [0, 1]], [1, 2], [1, 2, 3]), Error, /targetHeights has 3 values, sourceHeights has 2/],
    [() => tervala.fitHeightPlane([[0, 0], [1, 0], [0, 1]], [1, 2], [1, 2]), Error, /one height per position \(3\)/],
    [() => new tervala.Utm(2.5), TypeError, /zone must be an integer/],
  ];
  for (const [call, type, pattern] of cases) {
    assert.throws(call, (e) => e instanceof type && pattern.test(e.message), String(call));
  }
});

test("a refusal leaves the module working", () => {
  for (let k = 0; k < 3; ++k) assert.throws(() => new tervala.Utm(0), Error);
  const p = utm52.forward(35.0, 129.0);
  assert.ok(Number.isFinite(p.easting) && Number.isFinite(p.northing));
});

test("GeoidGrid.fromBytes: a bad file is refused under the caller's name", () => {
  const header = new Uint8Array(20);
  assert.throws(() => tervala.GeoidGrid.fromBytes(header, "phone-grid.bin"),
    (e) => e instanceof Error && e.message.includes("phone-grid.bin") && !e.message.includes("/tmp/"));
  assert.throws(() => tervala.GeoidGrid.fromBytes("not bytes"), TypeError);
});

test("fits: degenerate geometry gives no transformation, not numbers", () => {
  const same = [[10, 10], [10, 10], [10, 10]];
  const r = tervala.fitHelmert2D(same, same);
  assert.equal(r.degenerate, true);
  assert.equal(r.transformation, null);
  assert.equal(r.parameters, null);
});

test("a fit's transformation maps the source onto the target", () => {
  // Exact similarity: t1 = 100, t2 = -50, no scale, no rotation.
  const source = [[0, 0], [1000, 0], [0, 1000], [1000, 1000]];
  const target = source.map(([x, y]) => [x + 100, y - 50]);
  const r = tervala.fitHelmert2D(source, target);
  assert.equal(r.points, 4);
  const m = r.transformation.forward(1000, 1000);
  assert.ok(Math.abs(m.first - 1100) < 1e-9 && Math.abs(m.second - 950) < 1e-9);
  assert.ok(Math.abs(r.parameters.scale) < 1e-9 && Math.abs(r.parameters.rotation) < 1e-9);
});

test("delete() frees the object; using it afterwards is refused", () => {
  const e = new tervala.Ellipsoid("WGS84");
  e.delete();
  assert.throws(() => e.a, Error);
});
