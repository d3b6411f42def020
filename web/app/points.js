// Common-point files as the tool's `fit` reads them, plus the page's "site"
// layout: one point per line, an identifier, the source coordinates, the
// target coordinates, then optionally a priori standard deviations (metres);
// fields separated by blanks, tabs, commas or semicolons; '#' starts a
// comment. A first line whose coordinates are not numbers is a header.
//   helmert2d            id x y x' y'            [s | sx' sy']
//   height               id x y h h'             [s]
//   site                 id x y h x' y' h'       [s | s sh]   (2D Helmert + height plane)
//   bursa-wolf, molodensky-badekas
//                        id X Y Z X' Y' Z'       [s | s s' | sX sY sZ sX' sY' sZ']
// Seven-parameter files may give either set as latitude, longitude (decimal
// degrees or DMS: 60d10'12.5"N, 60:10:12.5, 60°10′12.5″) and ellipsoidal
// height; the caller converts them.
// A classic script (the page must run from file://): defines TervalaPoints.
const TervalaPoints = (() => {
  const LAYOUTS = {
    helmert2d: { source: ["x", "y"], target: ["x'", "y'"], sigmas: [1, 2] },
    height: { source: ["x", "y", "h"], target: ["h'"], sigmas: [1] },
    site: { source: ["x", "y", "h"], target: ["x'", "y'", "h'"], sigmas: [1, 2] },
    "bursa-wolf": { source: ["X", "Y", "Z"], target: ["X'", "Y'", "Z'"], sigmas: [1, 2, 6] },
    "molodensky-badekas": { source: ["X", "Y", "Z"], target: ["X'", "Y'", "Z'"], sigmas: [1, 2, 6] },
  };

  const DECIMAL = /^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/;

  function parseNumber(field) {
    if (!DECIMAL.test(field)) {
      if (/^[+-]?\d+,\d+$/.test(field))
        return { error: `'${field}' holds a comma: decimal commas are not read (write 60.5, not 60,5)` };
      return { error: `expected a number (decimal, such as -12.5 or 1.5e3), got '${field}'` };
    }
    const v = Number(field);
    if (!Number.isFinite(v)) return { error: `the number '${field}' is not finite` };
    return { value: v };
  }

  // Decimal degrees or degrees, minutes, seconds with d/°, '/′, "/″/'' or
  // colons, a sign or one hemisphere letter (N S for latitudes, E W for
  // longitudes) before or after.
  function parseAngle(field, kind) {
    const plain = parseNumber(field);
    let value;
    if (plain.value !== undefined) {
      value = plain.value;
    } else {
      let s = field.trim();
      let sign = 1;
      let hemisphere = null;
      const letters = kind === "latitude" ? "NS" : "EW";
      const first = s[0] ? s[0].toUpperCase() : "";
      const last = s.length ? s[s.length - 1].toUpperCase() : "";
      if ("NSEW".includes(first) && first !== "") { hemisphere = first; s = s.slice(1).trim(); }
      else if ("NSEW".includes(last) && last !== "") { hemisphere = last; s = s.slice(0, -1).trim(); }
      if (hemisphere !== null) {
        if (!letters.includes(hemisphere))
          return { error: `hemisphere letter '${hemisphere}' does not fit a ${kind}` };
        sign = hemisphere === "S" || hemisphere === "W" ? -1 : 1;
      }
      if (s[0] === "-" || s[0] === "+") {
        if (hemisphere !== null) return { error: `angle '${field}' has both a sign and a hemisphere letter` };
        sign = s[0] === "-" ? -1 : 1;
        s = s.slice(1);
      }
      const m = /^(\d+(?:\.\d*)?)(?:\s*(?:d|D|°|:)\s*(\d+(?:\.\d*)?)?)?(?:\s*(?:'|′|:)\s*(\d+(?:\.\d*)?)?)?\s*(?:"|″|'')?$/.exec(s);
      if (!m) return { error: `expected an angle in degrees (37.5, 37d30'00"N, 37:30:00), got '${field}'` };
      const parts = [m[1], m[2], m[3]].map((p) => (p === undefined ? 0 : Number(p)));
      const given = [m[1], m[2], m[3]].filter((p) => p !== undefined);
      if (given.slice(0, -1).some((p) => p.includes(".")))
        return { error: `in angle '${field}' only the last component may have a fraction` };
      if (parts[1] >= 60 || parts[2] >= 60)
        return { error: `minutes and seconds of angle '${field}' must be below 60` };
      value = sign * (parts[0] + parts[1] / 60 + parts[2] / 3600);
    }
    if (kind === "latitude" && Math.abs(value) > 90) return { error: `latitude '${field}' is outside [-90, 90]` };
    return { value };
  }

  function splitFields(line) {
    const body = line.split("#")[0];
    return body.split(/[\s,;]+/).filter((f) => f.length > 0);
  }

  /**
   * Parses the text for a model. options.geodeticSource / geodeticTarget:
   * that set (seven-parameter models) is latitude, longitude, height.
   * Returns {points: [{id, line, source, target, sigma}], errors: [text],
   * header: line number or 0}.
   */
  function parse(text, model, options = {}) {
    const layout = LAYOUTS[model];
    if (!layout) return { points: [], errors: [`unknown model '${model}'`], header: 0 };
    const seven = model === "bursa-wolf" || model === "molodensky-badekas";
    const names = [...layout.source, ...layout.target].map((n, k) => {
      if (!seven) return n;
      const inSource = k < 3;
      const geodetic = inSource ? options.geodeticSource : options.geodeticTarget;
      if (!geodetic) return n;
      return ["latitude", "longitude", "h"][k % 3] + (inSource ? "" : "'");
    });
    const ns = layout.source.length, nt = layout.target.length;
    const expected = `id ${names.join(" ")}`;
    const sigmaText = layout.sigmas.map((c) => 1 + ns + nt + c).join(" or ");
    const points = [], errors = [];
    const ids = new Set();
    let header = 0, sigmaColumns = -1, firstLine = 0;
    const lines = text.split("\n");
    lines.forEach((raw, index) => {
      const number = index + 1;
      const line = raw.replace(/\r$/, "");
      if (/^\s*(#|$)/.test(line)) return;
      const f = splitFields(line);
      if (f.length === 0) return;
      const where = `line ${number}: `;
      // A header: the first line, with no number where the coordinates go.
      if (points.length === 0 && errors.length === 0 && header === 0 &&
          f.slice(1, 1 + ns + nt).every((v) => parseNumber(v).value === undefined && parseAngle(v, "longitude").value === undefined)) {
        header = number;
        return;
      }
      const extra = Math.max(0, f.length - 1 - ns - nt);
      if (f.length < 1 + ns + nt || (extra > 0 && !layout.sigmas.includes(extra))) {
        errors.push(`${where}expected ${1 + ns + nt} fields (${expected}), or ${sigmaText} with standard deviations, got ${f.length}`);
        return;
      }
      if (sigmaColumns >= 0 && extra !== sigmaColumns) {
        errors.push(`${where}has ${extra} standard deviation columns, line ${firstLine} has ${sigmaColumns}; give them for every point in one layout or for none`);
        return;
      }
      const p = { id: f[0], line: number, source: [], target: [], sigma: [] };
      for (let i = 0; i < ns + nt + extra; ++i) {
        const inSource = i < ns;
        const axis = inSource ? i : i - ns;
        const geodetic = seven && i < ns + nt && (inSource ? options.geodeticSource : options.geodeticTarget);
        const name = i < ns + nt ? names[i] : `standard deviation ${i - ns - nt + 1}`;
        const r = geodetic && axis < 2 ? parseAngle(f[1 + i], axis === 0 ? "latitude" : "longitude") : parseNumber(f[1 + i]);
        if (r.error === undefined && i >= ns + nt && !(r.value >= 0)) r.error = `must not be negative, got ${f[1 + i]}`;
        if (r.error !== undefined) {
          errors.push(`${where}${name}: ${r.error}`);
          return;
        }
        (i < ns ? p.source : i < ns + nt ? p.target : p.sigma).push(r.value);
      }
      if (ids.has(p.id)) {
        errors.push(`${where}point '${p.id}' appears twice`);
        return;
      }
      ids.add(p.id);
      if (sigmaColumns < 0) { sigmaColumns = extra; firstLine = number; }
      points.push(p);
    });
    return { points, errors, header };
  }

  /** The text of points in the layout parse() reads (17 significant digits where needed). */
  function format(points) {
    return points.map((p) => [p.id, ...p.source, ...p.target, ...p.sigma].map(String).join(" ")).join("\n") + "\n";
  }

  return { LAYOUTS, parse, parseAngle, parseNumber, format };
})();
if (typeof self !== "undefined") self.TervalaPoints = TervalaPoints;
if (typeof globalThis !== "undefined") globalThis.TervalaPoints = TervalaPoints;
