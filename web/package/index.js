// tervala for JavaScript: the WebAssembly build of the library's value types
// and fits. Importing the module loads the .wasm file beside it (once, with
// top-level await); every export is then synchronous.
import createTervalaCore from "./dist/tervala-core.js";
import { makeTervalaApi } from "./api.js";

const wasmUrl = new URL("./dist/tervala-core.wasm", import.meta.url);
const options = {};
if (typeof process === "object" && process.versions && process.versions.node) {
  // Read the file here: the generated loader would try node's experimental
  // fetch on a file path.
  const { readFile } = await import("node:fs/promises");
  options.wasmBinary = await readFile(wasmUrl);
} else {
  options.locateFile = (file) => new URL(`./dist/${file}`, import.meta.url).href;
}
const core = await createTervalaCore(options);
const api = makeTervalaApi(core);

export const {
  Ellipsoid, TransverseMercator, Utm, Helmert7, MolodenskyBadekas, AbridgedMolodensky, Helmert2D, HeightPlane,
  GeoidGrid, Egm96Model, fitHelmert2D, fitHeightPlane, fitHelmert7, fitMolodenskyBadekas,
} = api;
