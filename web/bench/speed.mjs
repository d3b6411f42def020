// Per-point speed of the WebAssembly build in node and in headless Chromium
// against the native build, measured in one run on the same points:
//   node web/bench/speed.mjs NATIVE_PROGRAM [N]
// NATIVE_PROGRAM is web_reference of a native Release build; prints a
// Markdown table (nanoseconds per point, one warm-up pass, then the best of 25).
import { readFileSync, mkdtempSync, rmSync } from "node:fs";
import { execFileSync } from "node:child_process";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createRequire } from "node:module";
import { fileURLToPath, pathToFileURL } from "node:url";
import vm from "node:vm";

const [native, count] = process.argv.slice(2);
if (!native) {
  console.error("usage: node web/bench/speed.mjs NATIVE_PROGRAM [N]");
  process.exit(2);
}
const n = Number(count || 20000);
const coreSource = readFileSync(new URL("speed-core.js", import.meta.url), "utf8");

const nativeResult = JSON.parse(execFileSync(native, ["--speed", String(n)], { encoding: "utf8" }));

vm.runInThisContext(coreSource);
const api = await import("../package/index.js");
const nodeResult = globalThis.tervalaSpeed(api, n);

// puppeteer-core as installed for the browser test (web/tests).
const fromTests = createRequire(new URL("../tests/package.json", import.meta.url));
const { default: puppeteer } = await import(pathToFileURL(fromTests.resolve("puppeteer-core")).href);
const { serve } = await import("../tests/serve.js");
const server = await serve(fileURLToPath(new URL("../app/", import.meta.url)));
const profile = mkdtempSync(join(tmpdir(), "tervala-chromium-"));
let chromiumResult;
const browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium", headless: true,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync", `--user-data-dir=${profile}`] });
try {
  const page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${server.address().port}/index.html`, { waitUntil: "load" });
  await page.waitForFunction(() => window.TervalaPage && window.TervalaPage.api() !== null, { timeout: 30000 });
  await page.addScriptTag({ content: coreSource });
  chromiumResult = await page.evaluate((k) => tervalaSpeed(window.TervalaPage.api(), k), n);
} finally {
  await browser.close();
  server.close();
  rmSync(profile, { recursive: true, force: true });
}

const names = { utmForward: "Utm.forward", tmInverse: "TransverseMercator.inverse",
  helmert7Forward: "Helmert7.forward", gridHeight: "GeoidGrid.height (6 x 6 spline)" };
console.log(`${n} points, ns per point (best of 25 after a warm-up), node ${process.version}`);
console.log("| operation | native | node | node / native | Chromium | Chromium / native |");
console.log("|---|---|---|---|---|---|");
for (const [key, name] of Object.entries(names)) {
  const a = nativeResult[key], b = nodeResult[key], c = chromiumResult[key];
  console.log(`| ${name} | ${a.toFixed(1)} | ${b.toFixed(1)} | ${(b / a).toFixed(2)} | ${c.toFixed(1)} | ${(c / a).toFixed(2)} |`);
}
