// The package's JavaScript API over the WebAssembly core (web/bindings):
// value types shaped as the Python package's, in camelCase. Coordinates are
// numbers or arrays (Float64Array or plain arrays, numbers broadcast against
// them); results are numbers for numbers and Float64Arrays otherwise. Errors
// are JavaScript Errors with the library's message.
//
// This file is plain script-compatible JavaScript with one export, so the
// offline page can load it as a classic script (scripts/build-wasm writes
// that copy) and the ES module (index.js) imports it.

function makeTervalaApi(core) {
  // Frees the C++ objects of wrappers that the garbage collector took; an
  // explicit delete() frees them at once.
  const registry = typeof FinalizationRegistry === "function"
    ? new FinalizationRegistry((handle) => { if (!handle.isDeleted()) handle.delete(); })
    : null;
  const own = (wrapper, handle) => {
    Object.defineProperty(wrapper, "_handle", { value: handle });
    if (registry) registry.register(wrapper, handle, wrapper);
    return wrapper;
  };
  const release = (wrapper) => {
    if (registry) registry.unregister(wrapper);
    if (!wrapper._handle.isDeleted()) wrapper._handle.delete();
  };

  function isArrayLike(v) {
    return ArrayBuffer.isView(v) || Array.isArray(v);
  }

  function checkNumber(v, name) {
    if (typeof v !== "number") throw new TypeError(`${name} must be a number, got ${typeof v}`);
    return v;
  }

  // Broadcasts numbers against the arrays among `values`; all arrays must
  // have one length. Returns [columns as Float64Arrays, scalar?].
  function columns(values, names) {
    let n = -1;
    values.forEach((v, k) => {
      if (isArrayLike(v)) {
        if (n >= 0 && v.length !== n)
          throw new Error(`${names[k]} has ${v.length} values, ${names[values.findIndex(isArrayLike)]} has ${n}`);
        n = v.length;
      } else {
        checkNumber(v, names[k]);
      }
    });
    const scalar = n < 0;
    const len = scalar ? 1 : n;
    const cols = values.map((v) => {
      if (!isArrayLike(v)) return new Float64Array(len).fill(v);
      return v instanceof Float64Array ? v : Float64Array.from(v);
    });
    return [cols, scalar];
  }

  function shaped(result, scalar) {
    if (result instanceof Float64Array) return scalar ? result[0] : result;
    const out = {};
    for (const key of Object.keys(result)) out[key] = scalar ? result[key][0] : result[key];
    return out;
  }

  function call(handle, method, values, names) {
    const [cols, scalar] = columns(values, names);
    return shaped(handle[method](...cols), scalar);
  }

  class Ellipsoid {
    /** new Ellipsoid("GRS80") or new Ellipsoid(a, inverseFlattening). */
    constructor(nameOrA, inverseFlattening) {
      if (nameOrA instanceof core.Ellipsoid) return own(this, nameOrA);
      const handle = typeof nameOrA === "string"
        ? core.Ellipsoid.named(nameOrA)
        : core.Ellipsoid.fromConstants(checkNumber(nameOrA, "a"), checkNumber(inverseFlattening, "inverseFlattening"));
      own(this, handle);
    }
    static known() { return core.Ellipsoid.known(); }
    get name() { return this._handle.name; }
    get a() { return this._handle.a; }
    get inverseFlattening() { return this._handle.inverseFlattening; }
    get flattening() { return this._handle.flattening; }
    get b() { return this._handle.b; }
    get e2() { return this._handle.e2; }
    toGeocentric(latitude, longitude, height = 0) {
      return call(this._handle, "toGeocentric", [latitude, longitude, height], ["latitude", "longitude", "height"]);
    }
    toGeodetic(x, y, z) { return call(this._handle, "toGeodetic", [x, y, z], ["x", "y", "z"]); }
    equals(other) { return other instanceof Ellipsoid && this._handle.equals(other._handle); }
    delete() { release(this); }
  }

  const grs80 = () => new Ellipsoid("GRS80");
  const wgs84 = () => new Ellipsoid("WGS84");

  function ellipsoidArg(e, fallback) {
    if (e === undefined || e === null) return fallback();
    if (e instanceof Ellipsoid) return e;
    if (typeof e === "string") return new Ellipsoid(e);
    throw new TypeError("ellipsoid must be an Ellipsoid or a name");
  }

  const projectionMethods = {
    forward(latitude, longitude) {
      return call(this._handle, "forward", [latitude, longitude], ["latitude", "longitude"]);
    },
    inverse(easting, northing) {
      return call(this._handle, "inverse", [easting, northing], ["easting", "northing"]);
    },
    forwardWithScale(latitude, longitude) {
      return call(this._handle, "forwardWithScale", [latitude, longitude], ["latitude", "longitude"]);
    },
    inverseWithScale(easting, northing) {
      return call(this._handle, "inverseWithScale", [easting, northing], ["easting", "northing"]);
    },
    delete() { release(this); },
  };

  class TransverseMercator {
    /**
     * new TransverseMercator({ellipsoid, latitudeOfOrigin, centralMeridian,
     * falseNorthing = 0, falseEasting = 0, scaleFactor = 1}), or the same
     * positionally as in Python.
     */
    constructor(options, ...rest) {
      const o = options instanceof Ellipsoid || typeof options === "string"
        ? { ellipsoid: options, latitudeOfOrigin: rest[0], centralMeridian: rest[1], falseNorthing: rest[2],
            falseEasting: rest[3], scaleFactor: rest[4] }
        : options || {};
      const e = ellipsoidArg(o.ellipsoid, grs80);
      own(this, core.TransverseMercator.make(e._handle, checkNumber(o.latitudeOfOrigin, "latitudeOfOrigin"),
        checkNumber(o.centralMeridian, "centralMeridian"), checkNumber(o.falseNorthing ?? 0, "falseNorthing"),
        checkNumber(o.falseEasting ?? 0, "falseEasting"), checkNumber(o.scaleFactor ?? 1, "scaleFactor")));
    }
    get ellipsoid() { return new Ellipsoid(this._handle.ellipsoid()); }
    get latitudeOfOrigin() { return this._handle.latitudeOfOrigin; }
    get centralMeridian() { return this._handle.centralMeridian; }
    get falseNorthing() { return this._handle.falseNorthing; }
    get falseEasting() { return this._handle.falseEasting; }
    get scaleFactor() { return this._handle.scaleFactor; }
    get maxOffset() { return this._handle.maxOffset; }
  }
  Object.assign(TransverseMercator.prototype, projectionMethods);

  class Utm {
    /** new Utm(zone, south = false, ellipsoid = WGS84). */
    constructor(zone, south = false, ellipsoid) {
      if (zone instanceof core.Utm) return own(this, zone);
      if (!Number.isInteger(zone)) throw new TypeError(`zone must be an integer, got ${zone}`);
      own(this, core.Utm.make(zone, Boolean(south), ellipsoidArg(ellipsoid, wgs84)._handle));
    }
    static forLongitude(longitude, south = false, ellipsoid) {
      return new Utm(core.Utm.forLongitude(checkNumber(longitude, "longitude"), Boolean(south),
        ellipsoidArg(ellipsoid, wgs84)._handle));
    }
    get zone() { return this._handle.zone; }
    get south() { return this._handle.south; }
    get ellipsoid() { return new Ellipsoid(this._handle.ellipsoid()); }
    get centralMeridian() { return this._handle.centralMeridian; }
    get maxOffset() { return this._handle.maxOffset; }
  }
  Object.assign(Utm.prototype, projectionMethods);

  const sevenNames = ["tx", "ty", "tz", "s", "rx", "ry", "rz"];
  const spaceMethods = {
    forward(x, y, z) { return call(this._handle, "forward", [x, y, z], ["x", "y", "z"]); },
    inverse(x, y, z) { return call(this._handle, "inverse", [x, y, z], ["x", "y", "z"]); },
    delete() { release(this); },
  };

  class Helmert7 {
    /** new Helmert7({tx, ty, tz, s, rx, ry, rz, convention}); convention "position_vector" or "coordinate_frame". */
    constructor(options) {
      if (options instanceof core.Helmert7) return own(this, options);
      const o = options || {};
      if (typeof o.convention !== "string")
        throw new TypeError('convention is required: "position_vector" or "coordinate_frame"');
      own(this, core.Helmert7.make(...sevenNames.map((k) => checkNumber(o[k], k)), o.convention));
    }
    toConvention(convention) { return new Helmert7(this._handle.toConvention(String(convention))); }
    get tx() { return this._handle.tx; }
    get ty() { return this._handle.ty; }
    get tz() { return this._handle.tz; }
    get s() { return this._handle.s; }
    get rx() { return this._handle.rx; }
    get ry() { return this._handle.ry; }
    get rz() { return this._handle.rz; }
    get convention() { return this._handle.convention(); }
  }
  Object.assign(Helmert7.prototype, spaceMethods);

  class MolodenskyBadekas {
    /** new MolodenskyBadekas({tx, ty, tz, s, rx, ry, rz, convention, origin: [x0, y0, z0]}). */
    constructor(options) {
      if (options instanceof core.MolodenskyBadekas) return own(this, options);
      const o = options || {};
      if (typeof o.convention !== "string")
        throw new TypeError('convention is required: "position_vector" or "coordinate_frame"');
      const origin = o.origin || [];
      if (origin.length !== 3) throw new TypeError("origin must hold 3 numbers");
      own(this, core.MolodenskyBadekas.make(...sevenNames.map((k) => checkNumber(o[k], k)), o.convention,
        ...Array.from(origin, (v) => checkNumber(v, "origin"))));
    }
    toConvention(convention) { return new MolodenskyBadekas(this._handle.toConvention(String(convention))); }
    get parameters() { return new Helmert7(this._handle.parameters()); }
    get origin() { const o = this._handle.origin(); return { x: o[0], y: o[1], z: o[2] }; }
    get convention() { return this.parameters.convention; }
  }
  Object.assign(MolodenskyBadekas.prototype, spaceMethods);

  class AbridgedMolodensky {
    /** new AbridgedMolodensky(source, target, dx, dy, dz). */
    constructor(source, target, dx, dy, dz) {
      if (source instanceof core.AbridgedMolodensky) return own(this, source);
      own(this, core.AbridgedMolodensky.make(ellipsoidArg(source)._handle, ellipsoidArg(target)._handle,
        checkNumber(dx, "dx"), checkNumber(dy, "dy"), checkNumber(dz, "dz")));
    }
    shift(latitude, longitude) {
      return call(this._handle, "shift", [latitude, longitude], ["latitude", "longitude"]);
    }
    forward(latitude, longitude, height = 0) {
      return call(this._handle, "forward", [latitude, longitude, height], ["latitude", "longitude", "height"]);
    }
    reversed() { return new AbridgedMolodensky(this._handle.reversed()); }
    get source() { return new Ellipsoid(this._handle.source()); }
    get target() { return new Ellipsoid(this._handle.target()); }
    get dx() { return this._handle.dx; }
    get dy() { return this._handle.dy; }
    get dz() { return this._handle.dz; }
    delete() { release(this); }
  }

  function originArg(origin, n) {
    const o = origin ?? new Array(n).fill(0);
    if (!isArrayLike(o) || o.length !== n) throw new TypeError(`origin must hold ${n} numbers`);
    return Array.from(o, (v) => checkNumber(v, "origin"));
  }

  class Helmert2D {
    /** new Helmert2D(t1, t2, scale, rotation, origin = [0, 0]): metres, ppm, arc-seconds. */
    constructor(t1, t2, scale, rotation, origin) {
      if (t1 instanceof core.Helmert2D) return own(this, t1);
      own(this, core.Helmert2D.make(checkNumber(t1, "t1"), checkNumber(t2, "t2"), checkNumber(scale, "scale"),
        checkNumber(rotation, "rotation"), ...originArg(origin, 2)));
    }
    forward(first, second) { return call(this._handle, "forward", [first, second], ["first", "second"]); }
    inverse(first, second) { return call(this._handle, "inverse", [first, second], ["first", "second"]); }
    get t1() { return this._handle.t1; }
    get t2() { return this._handle.t2; }
    get scale() { return this._handle.scale; }
    get rotation() { return this._handle.rotation; }
    get origin() { return Array.from(this._handle.origin()); }
    delete() { release(this); }
  }

  class HeightPlane {
    /** new HeightPlane(slope1, slope2, shift, origin = [0, 0]). */
    constructor(slope1, slope2, shift, origin) {
      if (slope1 instanceof core.HeightPlane) return own(this, slope1);
      own(this, core.HeightPlane.make(checkNumber(slope1, "slope1"), checkNumber(slope2, "slope2"),
        checkNumber(shift, "shift"), ...originArg(origin, 2)));
    }
    forward(first, second, height) {
      return call(this._handle, "forward", [first, second, height], ["first", "second", "height"]);
    }
    inverse(first, second, height) {
      return call(this._handle, "inverse", [first, second, height], ["first", "second", "height"]);
    }
    get slope1() { return this._handle.slope1; }
    get slope2() { return this._handle.slope2; }
    get shift() { return this._handle.shift; }
    get origin() { return Array.from(this._handle.origin()); }
    delete() { release(this); }
  }

  // Bytes go into the module's in-memory file system for the loader and are
  // removed after the load (the loaded data are held in memory).
  let fileCount = 0;
  function withFiles(buffers, load) {
    const paths = buffers.map((bytes) => {
      const path = `/tmp/tervala-load-${++fileCount}`;
      const data = bytes instanceof Uint8Array ? bytes
        : ArrayBuffer.isView(bytes) ? new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength)
        : bytes instanceof ArrayBuffer ? new Uint8Array(bytes) : null;
      if (data === null) throw new TypeError("expected the file's bytes (Uint8Array or ArrayBuffer)");
      core.FS.writeFile(path, data);
      return path;
    });
    try {
      return load(...paths);
    } finally {
      for (const p of paths) core.FS.unlink(p);
    }
  }

  class GeoidGrid {
    /** GeoidGrid.fromBytes(bytes, name = "grid"): a grid file's contents. */
    static fromBytes(bytes, name = "grid") {
      const g = Object.create(GeoidGrid.prototype);
      own(g, withFiles([bytes], (path) => {
        try {
          return core.GeoidGrid.load(path);
        } catch (e) {
          // The loader names its path; the caller knows the data by `name`.
          throw new Error(String(e.message).split(path).join(name));
        }
      }));
      Object.defineProperty(g, "path", { value: String(name) });
      return g;
    }
    constructor() { throw new TypeError("use GeoidGrid.fromBytes(bytes)"); }
    height(latitude, longitude) {
      return call(this._handle, "height", [latitude, longitude], ["latitude", "longitude"]);
    }
    get isGlobal() { return this._handle.isGlobal(); }
    get north() { return this._handle.north(); }
    get west() { return this._handle.west(); }
    get latitudeSpacing() { return this._handle.latitudeSpacing(); }
    get longitudeSpacing() { return this._handle.longitudeSpacing(); }
    get rows() { return this._handle.rows(); }
    get columns() { return this._handle.columns(); }
    delete() { release(this); }
  }

  class Egm96Model {
    /** Egm96Model.fromBytes(geopotential, correction): EGM96.dat and CORRCOEF.dat. */
    static fromBytes(geopotential, correction) {
      const m = Object.create(Egm96Model.prototype);
      return own(m, withFiles([geopotential, correction], (g, c) => core.Egm96Model.load(g, c)));
    }
    constructor() { throw new TypeError("use Egm96Model.fromBytes(geopotential, correction)"); }
    height(latitude, longitude) {
      return call(this._handle, "height", [latitude, longitude], ["latitude", "longitude"]);
    }
    delete() { release(this); }
  }

  // ---- Fits --------------------------------------------------------------------------

  // Points as [[x, y], ...] or a flat array of n * dims numbers.
  function points(value, dims, name) {
    if (!isArrayLike(value)) throw new TypeError(`${name} must be an array of points`);
    if (value.length > 0 && isArrayLike(value[0])) {
      const flat = new Float64Array(value.length * dims);
      value.forEach((p, k) => {
        if (!isArrayLike(p) || p.length !== dims)
          throw new TypeError(`${name}[${k}] must hold ${dims} numbers`);
        for (let j = 0; j < dims; ++j) flat[k * dims + j] = checkNumber(p[j], `${name}[${k}][${j}]`);
      });
      return flat;
    }
    if (value.length % dims !== 0)
      throw new TypeError(`${name} must hold ${dims} numbers per point, got ${value.length} numbers`);
    return Float64Array.from(value);
  }

  function sigmaArg(sigma, name) {
    if (sigma === undefined || sigma === null) return new Float64Array(0);
    if (typeof sigma === "number") return Float64Array.of(sigma);
    if (!isArrayLike(sigma)) throw new TypeError(`${name} must be a number or an array`);
    return Float64Array.from(sigma.length > 0 && isArrayLike(sigma[0]) ? sigma.flat() : sigma);
  }

  function settings(o) {
    const fix = o.fix === undefined ? [] : typeof o.fix === "string" ? [o.fix] : Array.from(o.fix, String);
    return {
      sigma: sigmaArg(o.sigma, "sigma"),
      sourceSigma: sigmaArg(o.sourceSigma, "sourceSigma"),
      alpha: checkNumber(o.alpha ?? 0.05, "alpha"),
      alpha0: checkNumber(o.alpha0 ?? 0.001, "alpha0"),
      fix,
      snoop: Boolean(o.snoop),
    };
  }

  function named(values, names) {
    const out = {};
    names.forEach((n, k) => { out[n] = values[k]; });
    return out;
  }

  function fitResult(raw, names, wrap) {
    const r = raw;
    r.transformation = r.transformation === null ? null : wrap(r.transformation);
    r.parameters = r.transformation === null ? null : named(names.map((n) => r.transformation[n]), names);
    r.standardDeviations = named(r.standardDeviations, names);
    if (r.statistics !== null)
      r.statistics.observations.rejected = Array.from(r.statistics.observations.rejected, Boolean);
    return r;
  }

  /** fitHelmert2D(source, target, {sigma, alpha, alpha0, fix, snoop}). */
  function fitHelmert2D(source, target, options = {}) {
    const s = points(source, 2, "source");
    const t = points(target, 2, "target");
    const r = fitResult(core.fitHelmert2D(s, t, settings(options)), ["t1", "t2", "scale", "rotation"],
      (h) => new Helmert2D(h));
    r.origin = r.transformation === null ? null : r.transformation.origin;
    return r;
  }

  /** fitHeightPlane(positions, sourceHeights, targetHeights, {origin, sigma, alpha, alpha0, fix, snoop}). */
  function fitHeightPlane(positions, sourceHeights, targetHeights, options = {}) {
    const p = points(positions, 2, "positions");
    const n = p.length / 2;
    const [[hs, ht]] = columns([sourceHeights, targetHeights], ["sourceHeights", "targetHeights"]);
    if (!isArrayLike(sourceHeights) || hs.length !== n || ht.length !== n)
      throw new Error(`sourceHeights and targetHeights must hold one height per position (${n})`);
    const origin = options.origin === undefined || options.origin === null
      ? new Float64Array(0) : Float64Array.from(originArg(options.origin, 2));
    const r = fitResult(core.fitHeightPlane(p, hs, ht, origin, settings(options)), ["slope1", "slope2", "shift"],
      (h) => new HeightPlane(h));
    r.origin = r.transformation === null ? null : r.transformation.origin;
    return r;
  }

  function sevenFit(fn, wrap) {
    return (source, target, options = {}) => {
      const s = points(source, 3, "source");
      const t = points(target, 3, "target");
      if (typeof options.convention !== "string")
        throw new TypeError('convention is required: "position_vector" or "coordinate_frame"');
      const r = fitResult(fn(s, t, options.convention, settings(options)), sevenNames, wrap);
      if (r.transformation !== null) {
        const h = r.transformation instanceof MolodenskyBadekas ? r.transformation.parameters : r.transformation;
        r.parameters = named(sevenNames.map((k) => h[k]), sevenNames);
        if (r.transformation instanceof MolodenskyBadekas) r.origin = r.transformation.origin;
      }
      return r;
    };
  }

  /** fitHelmert7(source, target, {convention, sigma, sourceSigma, alpha, alpha0, fix, snoop}). */
  const fitHelmert7 = sevenFit((...a) => core.fitHelmert7(...a), (h) => new Helmert7(h));
  /** fitMolodenskyBadekas(source, target, {convention, ...}): about the centroid of the source points kept. */
  const fitMolodenskyBadekas = sevenFit((...a) => core.fitMolodenskyBadekas(...a),
    (h) => new MolodenskyBadekas(h));

  return {
    Ellipsoid, TransverseMercator, Utm, Helmert7, MolodenskyBadekas, AbridgedMolodensky, Helmert2D,
    HeightPlane, GeoidGrid, Egm96Model, fitHelmert2D, fitHeightPlane, fitHelmert7, fitMolodenskyBadekas,
  };
}

export { makeTervalaApi };
