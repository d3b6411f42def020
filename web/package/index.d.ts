// Type declarations of the tervala package. Angles are decimal degrees,
// lengths metres, scale corrections ppm, rotations arc-seconds. Coordinate
// arguments are numbers or arrays of equal length (numbers broadcast);
// results hold numbers for number arguments and Float64Arrays otherwise.

export type Values = number | ArrayLike<number>;
/** number for number arguments, Float64Array for arrays. */
export type Result = number | Float64Array;
export type Convention = "position_vector" | "coordinate_frame";
export type Points = ArrayLike<ArrayLike<number>> | ArrayLike<number>;

interface Deletable {
  /** Frees the C++ object now (otherwise the garbage collector's finalizer does). */
  delete(): void;
}

export interface Geodetic<T = Result> { latitude: T; longitude: T; height: T }
export interface Geocentric<T = Result> { x: T; y: T; z: T }
export interface Projected<T = Result> { easting: T; northing: T }
export interface ProjectedWithScale<T = Result> extends Projected<T> { convergence: T; scale: T }
export interface Geographic<T = Result> { latitude: T; longitude: T }
export interface GeographicWithScale<T = Result> extends Geographic<T> { convergence: T; scale: T }
export interface PlaneCoordinates<T = Result> { first: T; second: T }

export class Ellipsoid implements Deletable {
  /** A built-in ellipsoid by name ("GRS80", "WGS84", "Bessel", ...) or one from a and 1/f. */
  constructor(name: string);
  constructor(a: number, inverseFlattening: number);
  static known(): { name: string; a: number; inverseFlattening: number }[];
  readonly name: string;
  readonly a: number;
  readonly inverseFlattening: number;
  readonly flattening: number;
  readonly b: number;
  readonly e2: number;
  toGeocentric(latitude: Values, longitude: Values, height?: Values): Geocentric;
  toGeodetic(x: Values, y: Values, z: Values): Geodetic;
  equals(other: Ellipsoid): boolean;
  delete(): void;
}

interface Projection extends Deletable {
  forward(latitude: Values, longitude: Values): Projected;
  inverse(easting: Values, northing: Values): Geographic;
  forwardWithScale(latitude: Values, longitude: Values): ProjectedWithScale;
  inverseWithScale(easting: Values, northing: Values): GeographicWithScale;
  readonly ellipsoid: Ellipsoid;
  readonly centralMeridian: number;
  readonly maxOffset: number;
}

export interface TransverseMercatorOptions {
  ellipsoid?: Ellipsoid | string;
  latitudeOfOrigin: number;
  centralMeridian: number;
  falseNorthing?: number;
  falseEasting?: number;
  scaleFactor?: number;
}

export class TransverseMercator implements Projection {
  constructor(options: TransverseMercatorOptions);
  constructor(ellipsoid: Ellipsoid | string, latitudeOfOrigin: number, centralMeridian: number,
              falseNorthing?: number, falseEasting?: number, scaleFactor?: number);
  forward(latitude: Values, longitude: Values): Projected;
  inverse(easting: Values, northing: Values): Geographic;
  forwardWithScale(latitude: Values, longitude: Values): ProjectedWithScale;
  inverseWithScale(easting: Values, northing: Values): GeographicWithScale;
  readonly ellipsoid: Ellipsoid;
  readonly latitudeOfOrigin: number;
  readonly centralMeridian: number;
  readonly falseNorthing: number;
  readonly falseEasting: number;
  readonly scaleFactor: number;
  readonly maxOffset: number;
  delete(): void;
}

export class Utm implements Projection {
  /** Zone 1..60; WGS84 unless another ellipsoid is given. */
  constructor(zone: number, south?: boolean, ellipsoid?: Ellipsoid | string);
  static forLongitude(longitude: number, south?: boolean, ellipsoid?: Ellipsoid | string): Utm;
  forward(latitude: Values, longitude: Values): Projected;
  inverse(easting: Values, northing: Values): Geographic;
  forwardWithScale(latitude: Values, longitude: Values): ProjectedWithScale;
  inverseWithScale(easting: Values, northing: Values): GeographicWithScale;
  readonly zone: number;
  readonly south: boolean;
  readonly ellipsoid: Ellipsoid;
  readonly centralMeridian: number;
  readonly maxOffset: number;
  delete(): void;
}

export interface SevenParameters {
  tx: number; ty: number; tz: number; s: number; rx: number; ry: number; rz: number;
}

export class Helmert7 implements Deletable {
  constructor(options: SevenParameters & { convention: Convention });
  forward(x: Values, y: Values, z: Values): Geocentric;
  inverse(x: Values, y: Values, z: Values): Geocentric;
  toConvention(convention: Convention): Helmert7;
  readonly tx: number; readonly ty: number; readonly tz: number; readonly s: number;
  readonly rx: number; readonly ry: number; readonly rz: number;
  readonly convention: Convention;
  delete(): void;
}

export class MolodenskyBadekas implements Deletable {
  constructor(options: SevenParameters & { convention: Convention; origin: ArrayLike<number> });
  forward(x: Values, y: Values, z: Values): Geocentric;
  inverse(x: Values, y: Values, z: Values): Geocentric;
  toConvention(convention: Convention): MolodenskyBadekas;
  readonly parameters: Helmert7;
  readonly origin: Geocentric<number>;
  readonly convention: Convention;
  delete(): void;
}

export class AbridgedMolodensky implements Deletable {
  constructor(source: Ellipsoid | string, target: Ellipsoid | string, dx: number, dy: number, dz: number);
  shift(latitude: Values, longitude: Values): Geodetic;
  forward(latitude: Values, longitude: Values, height?: Values): Geodetic;
  reversed(): AbridgedMolodensky;
  readonly source: Ellipsoid;
  readonly target: Ellipsoid;
  readonly dx: number; readonly dy: number; readonly dz: number;
  delete(): void;
}

export class Helmert2D implements Deletable {
  constructor(t1: number, t2: number, scale: number, rotation: number, origin?: ArrayLike<number>);
  forward(first: Values, second: Values): PlaneCoordinates;
  inverse(first: Values, second: Values): PlaneCoordinates;
  readonly t1: number; readonly t2: number; readonly scale: number; readonly rotation: number;
  readonly origin: [number, number];
  delete(): void;
}

export class HeightPlane implements Deletable {
  constructor(slope1: number, slope2: number, shift: number, origin?: ArrayLike<number>);
  forward(first: Values, second: Values, height: Values): Result;
  inverse(first: Values, second: Values, height: Values): Result;
  readonly slope1: number; readonly slope2: number; readonly shift: number;
  readonly origin: [number, number];
  delete(): void;
}

export class GeoidGrid implements Deletable {
  /** A grid file's bytes (for example from a File or a fetch); `name` stands for it in messages. */
  static fromBytes(bytes: Uint8Array | ArrayBuffer | ArrayBufferView, name?: string): GeoidGrid;
  private constructor();
  /** Undulation at latitude and longitude (degrees); NaN outside the grid's reliable region. */
  height(latitude: Values, longitude: Values): Result;
  readonly path: string;
  readonly isGlobal: boolean;
  readonly north: number; readonly west: number;
  readonly latitudeSpacing: number; readonly longitudeSpacing: number;
  readonly rows: number; readonly columns: number;
  delete(): void;
}

export class Egm96Model implements Deletable {
  /** The bytes of EGM96.dat and CORRCOEF.dat. */
  static fromBytes(geopotential: Uint8Array | ArrayBuffer, correction: Uint8Array | ArrayBuffer): Egm96Model;
  private constructor();
  height(latitude: Values, longitude: Values): Result;
  delete(): void;
}

export interface FitOptions {
  /** A priori standard deviation (m): one number, or one per point per observed coordinate. */
  sigma?: number | ArrayLike<number> | ArrayLike<ArrayLike<number>>;
  /** Significance of the global test, default 0.05. */
  alpha?: number;
  /** Significance of each w-test, default 0.001 (power 80 %). */
  alpha0?: number;
  /** Parameter names held at zero. */
  fix?: string | string[];
  /** Remove the point with the largest failing |w| and fit again while a test fails. */
  snoop?: boolean;
}

export interface SevenFitOptions extends FitOptions {
  convention: Convention;
  /** Of the source coordinates (0: error-free); defaults to sigma. */
  sourceSigma?: number | ArrayLike<number> | ArrayLike<ArrayLike<number>>;
}

export interface FitStatistics {
  aPriori: boolean;
  parameters: { name: string; value: number; sigma: number }[];
  /** Row-major, parameters x parameters. */
  correlation: Float64Array;
  sigma0: number;
  redundancy: number;
  globalTest: { statistic: number; lower: number; upper: number; alpha: number; passed: boolean } | null;
  wCritical: number | null;
  alpha: number;
  alpha0: number;
  noncentralitySqrt: number;
  observations: {
    point: Int32Array; coordinate: Int32Array; residual: Float64Array; redundancyNumber: Float64Array;
    normalisedResidual: Float64Array; w: Float64Array; mdb: Float64Array; rejected: boolean[];
  };
  removed: { point: number; coordinate: number; w: number; varianceFactor: number; globalPassed: boolean }[];
  message: string;
}

export interface FitResult<T, P> {
  /** null when the geometry cannot carry the fit. */
  transformation: T | null;
  parameters: P | null;
  standardDeviations: P;
  /** Row-major covariance of the parameters in their units squared. */
  covariance: Float64Array;
  /** Fitted minus target, interleaved per point (NaN for points removed by snooping). */
  residuals: Float64Array;
  points: number; observations: number; unknowns: number; redundancy: number; rank: number;
  degenerate: boolean; converged: boolean; iterations: number; sigma: number;
  statistics: FitStatistics | null;
}

export interface Helmert2DParameters { t1: number; t2: number; scale: number; rotation: number }
export interface HeightPlaneParameters { slope1: number; slope2: number; shift: number }

export function fitHelmert2D(source: Points, target: Points, options?: FitOptions):
  FitResult<Helmert2D, Helmert2DParameters> & { origin: [number, number] | null };
export function fitHeightPlane(positions: Points, sourceHeights: ArrayLike<number>, targetHeights: ArrayLike<number>,
                               options?: FitOptions & { origin?: ArrayLike<number> }):
  FitResult<HeightPlane, HeightPlaneParameters> & { origin: [number, number] | null };
export function fitHelmert7(source: Points, target: Points, options: SevenFitOptions):
  FitResult<Helmert7, SevenParameters>;
export function fitMolodenskyBadekas(source: Points, target: Points, options: SevenFitOptions):
  FitResult<MolodenskyBadekas, SevenParameters> & { origin?: Geocentric<number> };
