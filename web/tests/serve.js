// A static file server for the page, on 127.0.0.1 and a free port: GET and
// HEAD of files under one folder, nothing else.
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize, sep } from "node:path";

const TYPES = {
  ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8", ".css": "text/css; charset=utf-8",
  ".json": "application/json", ".webmanifest": "application/manifest+json", ".svg": "image/svg+xml",
  ".wasm": "application/wasm", ".png": "image/png",
};

export function serve(root, port = 0) {
  const server = createServer(async (request, response) => {
    if (request.method !== "GET" && request.method !== "HEAD") {
      response.writeHead(405).end();
      return;
    }
    const path = decodeURIComponent(new URL(request.url, "http://127.0.0.1").pathname);
    const file = normalize(join(root, path.endsWith("/") ? `${path}index.html` : path));
    if (!file.startsWith(normalize(root + sep))) {
      response.writeHead(403).end();
      return;
    }
    try {
      const body = await readFile(file);
      response.writeHead(200, { "content-type": TYPES[extname(file)] || "application/octet-stream",
        "cache-control": "no-store" });
      response.end(request.method === "HEAD" ? undefined : body);
    } catch {
      response.writeHead(404).end();
    }
  });
  return new Promise((resolve) => server.listen(port, "127.0.0.1", () => resolve(server)));
}

// node serve.js [folder] [port]: serve the page by hand.
if (import.meta.url === `file://${process.argv[1]}`) {
  const root = process.argv[2] || new URL("../app/", import.meta.url).pathname;
  serve(root, Number(process.argv[3] || 8080)).then((s) =>
    console.log(`serving ${root} at http://127.0.0.1:${s.address().port}/`));
}
