// The page in headless Chromium, opened from disk: how long from choosing a file to its
// result, and the longest that the page's main thread was held meanwhile (a timer that should
// fire every 5 ms measures the gaps). Runs the example ten times, then a file of 100 MB of
// random bytes once, whose output it checks against the native program's.
//
// Usage: node bench/page_bench.mjs PAGE NATIVE_PROGRAM   (after `npm ci` in tests/browser)
import { spawnSync } from "node:child_process";
import { randomFillSync } from "node:crypto";
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

const require = createRequire(new URL("../tests/browser/", import.meta.url));
const puppeteer = require("puppeteer-core");
const [page, native] = process.argv.slice(2);
const folder = mkdtempSync(join(tmpdir(), "nsuica-bench-"));

const browser = await puppeteer.launch({ headless: true, executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-component-update"] });
const tab = await browser.newPage();
await tab.goto(pathToFileURL(resolve(page)).href);

async function timed(path) {
  await tab.evaluate(() => {
    const output = document.getElementById("saida");
    output.removeAttribute("data-status");
    const run = (window.bench = { held: 0 });
    document.getElementById("arquivo").addEventListener("change", () => {
      run.start = performance.now();
      let last = run.start;
      const tick = () => {
        const now = performance.now();
        run.held = Math.max(run.held, now - last);
        last = now;
        if (!output.dataset.status) run.timer = setTimeout(tick, 5);
      };
      tick();
    }, { once: true });
    new MutationObserver((_, observer) => {
      if (output.dataset.status) {
        run.end = performance.now();
        observer.disconnect();
      }
    }).observe(output, { attributes: true });
  });
  await (await tab.$("#arquivo")).uploadFile(path);
  await tab.waitForFunction(() => window.bench.end !== undefined, { timeout: 600000 });
  return tab.evaluate(() => ({ ms: window.bench.end - window.bench.start, held: window.bench.held,
    text: document.getElementById("saida").textContent }));
}

const example = join(folder, "NSuica.in");
writeFileSync(example, readFileSync(new URL("../examples/NSuica.in", import.meta.url)));
const times = [];
for (let i = 0; i < 10; ++i) times.push((await timed(example)).ms);
times.sort((a, b) => a - b);
console.log(`example: median ${times[5].toFixed(1)} ms, fastest ${times[0].toFixed(1)}, ` +
  `slowest ${times[9].toFixed(1)} ms over 10 runs`);

const big = join(folder, "aleatorio", "NSuica.in");
mkdirSync(join(folder, "aleatorio"));
const bytes = Buffer.alloc(100 * 1000 * 1000);
for (let at = 0; at < bytes.length; at += 65536) randomFillSync(bytes, at, Math.min(65536, bytes.length - at));
writeFileSync(big, bytes);
const shown = await timed(big);
const run = spawnSync(resolve(native), { cwd: join(folder, "aleatorio"), input: "", env: { LANG: "C.UTF-8" } });
console.log(`100 MB of random bytes: ${(shown.ms / 1000).toFixed(2)} s, main thread held at most ` +
  `${shown.held.toFixed(1)} ms; output ${shown.text === run.stdout.toString() ? "the same as" : "NOT the same as"} the native program's`);
console.log(`page: ${readFileSync(page).length} bytes`);
await browser.close();
rmSync(folder, { recursive: true });
