// The page's common-point reader: the tool's layouts, separators, DMS
// angles, headers, comments, and the refusals naming line and field.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import vm from "node:vm";

vm.runInThisContext(readFileSync(new URL("../app/points.js", import.meta.url), "utf8"));
const { parse, parseAngle } = globalThis.TervalaPoints;

test("layouts, separators, comments and headers", () => {
  const cases = [
    // [model, text, options, expected points as [id, source, target, sigma]]
    ["helmert2d", "A 1 2 3 4\n", {}, [["A", [1, 2], [3, 4], []]]],
    ["helmert2d", "A,1,2,3,4\r\nB;5;6;7;8 # comment\n\n# only a comment\n", {}, [["A", [1, 2], [3, 4], []], ["B", [5, 6], [7, 8], []]]],
    ["helmert2d", "id x y x' y'\nA\t1\t2\t3\t4\t0.005\n", {}, [["A", [1, 2], [3, 4], [0.005]]]],
    ["helmert2d", "A 1 2 3 4 0.01 0.02\n", {}, [["A", [1, 2], [3, 4], [0.01, 0.02]]]],
    ["height", "A 1 2 10.5 12.25 0.003\n", {}, [["A", [1, 2, 10.5], [12.25], [0.003]]]],
    ["site", "A 1 2 3 4 5 6 0.01 0.02\n", {}, [["A", [1, 2, 3], [4, 5, 6], [0.01, 0.02]]]],
    ["bursa-wolf", "A 1 2 3 4 5 6 0 0.02\n", {}, [["A", [1, 2, 3], [4, 5, 6], [0, 0.02]]]],
    ["bursa-wolf", "A 60d30'00\"N 24:15:36 10 4 5 6\n", { geodeticSource: true },
      [["A", [60.5, 24.26, 10], [4, 5, 6], []]]],
    ["molodensky-badekas", "A 1 2 3 30S 15W 7\n", { geodeticTarget: true }, [["A", [1, 2, 3], [-30, -15, 7], []]]],
  ];
  for (const [model, text, options, want] of cases) {
    const r = parse(text, model, options);
    assert.deepEqual(r.errors, [], `${model}: ${JSON.stringify(text)}`);
    assert.deepEqual(r.points.map((p) => [p.id, p.source, p.target, p.sigma]), want, `${model}: ${JSON.stringify(text)}`);
  }
});

test("refusals name the line, the field and what was expected", () => {
  const cases = [
    ["helmert2d", "A 1 2 3\n", /^line 1: expected 5 fields \(id x y x' y'\), or 6 or 7 with standard deviations, got 4$/],
    ["helmert2d", "A 1 2 3 4\nB 1 2 3 4 5 6 7 8\n", /^line 2: expected 5 fields/],
    ["helmert2d", "A 1 2 3 4\nB 1 2 3 4 0.1\n", /^line 2: has 1 standard deviation columns, line 1 has 0/],
    ["helmert2d", "A 1 2 3 4\nA 5 6 7 8\n", /^line 2: point 'A' appears twice$/],
    ["helmert2d", "A 1 2 3 4\nB 1 0x10 3 4\n", /^line 2: y: expected a number/],
    ["helmert2d", "A 1 2 3 4 -0.1\n", /^line 1: standard deviation 1: must not be negative/],
    ["height", "A 1 2 3 4 0.1 0.2\n", /^line 1: expected 5 fields/],
    ["bursa-wolf", "A 95 0 0 1 2 3\n", /^line 1: latitude: latitude '95' is outside \[-90, 90\]$/],
    ["bursa-wolf", "A 60d75' 0 0 1 2 3\n", /^line 1: latitude: minutes and seconds of angle/],
    ["bursa-wolf", "A 60E 0 0 1 2 3\n", /^line 1: latitude: hemisphere letter 'E' does not fit a latitude$/],
    ["tm", "A 1 2\n", /^unknown model 'tm'$/],
  ];
  for (const [model, text, pattern] of cases) {
    const r = parse(text, model, model === "bursa-wolf" ? { geodeticSource: true } : {});
    assert.ok(r.errors.length >= 1 && pattern.test(r.errors[0]), `${JSON.stringify(text)}: ${r.errors[0]}`);
  }
});

test("DMS angles: forms and their values", () => {
  const cases = [
    ["60.5", "latitude", 60.5], ["-60:30", "latitude", -60.5], ["60d30'36\"", "latitude", 60.51],
    ["60°30′36″S", "latitude", -60.51], ["W24d15'", "longitude", -24.25], ["24:15:36E", "longitude", 24.26],
    ["179d59'59.999\"", "longitude", 179 + 59 / 60 + 59.999 / 3600],
  ];
  for (const [text, kind, want] of cases) {
    const r = parseAngle(text, kind);
    assert.equal(r.error, undefined, text);
    assert.ok(Math.abs(r.value - want) < 1e-12, `${text}: ${r.value}`);
  }
  for (const bad of ["60.5d30'", "-60N", "abc", "60d30'75\""])
    assert.ok(parseAngle(bad, "latitude").error !== undefined, bad);
});
