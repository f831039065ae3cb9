// The page in headless Chromium, opened from disk: how long from choosing a file to its
// result, and the longest that the page's main thread was held meanwhile (a timer that should
// fire every 5 ms measures the gaps). Runs the example ten times, then a file of 100 MB of
// random bytes once, whose output it checks against the native program's. Then the editor:
// in a file of 733 malformed entries, how long from the end of the pause after an edit to the
// marks, and the longest hold while 20 characters are typed; and the longest hold while a file
// of 1 MiB, every entry malformed, is opened, beside that of a bare textarea given its text;
// the same for a file of 1 MiB with a fault on each of its lines, and its list scrolled, and
// Substituir todos in it. Last, in 733 entries with ';' for ',', from the click on the swap to
// the result, five times, each undone by Ctrl+Z.
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

// In the page: the longest gap between the firings of a 5 ms timer until `done()` holds, and
// whether the result of a run shows with every one of `n` faults listed.
await tab.evaluate(() => {
  window.held = (done) => new Promise((end) => {
    let last = performance.now();
    let held = 0;
    const tick = () => {
      const now = performance.now();
      held = Math.max(held, now - last);
      last = now;
      if (done()) end(held); else setTimeout(tick, 5);
    };
    tick();
  });
  window.listed = (n) => document.getElementById("saida").dataset.status !== undefined &&
    document.querySelectorAll("#erros li").length === n;
});

const malformed = (n, entry) => Array.from({ length: n }, (_, i) => entry(i + 1)).join("");
const edited = join(folder, "editado", "NSuica.in");
mkdirSync(join(folder, "editado"));
writeFileSync(edited, malformed(733, (k) => `${k}, 10-25,3-4,12,100;140\n`));
await (await tab.$("#arquivo")).uploadFile(edited);
await tab.waitForFunction(() => window.listed(733), { timeout: 60000 });
const checks = [];
for (let i = 0; i < 10; ++i) {
  // The end of the pause is the editor's call of the page's check().
  await tab.evaluate(() => {
    const check = window.check;
    const run = (window.bench = {});
    window.check = (bytes) => {
      window.check = check;
      run.start = performance.now();
      check(bytes);
      new MutationObserver((_, observer) => {
        if (!document.getElementById("saida").dataset.status) return;
        if (document.querySelectorAll("#erros li").length !== 733) return;
        run.end = performance.now();
        observer.disconnect();
      }).observe(document.body, { attributes: true, childList: true, subtree: true });
    };
  });
  await tab.focus("#texto");
  await tab.keyboard.press("End");
  await (i % 2 ? tab.keyboard.press("Backspace") : tab.keyboard.type(" "));
  await tab.waitForFunction(() => window.bench.end !== undefined, { timeout: 60000 });
  checks.push(await tab.evaluate(() => window.bench.end - window.bench.start));
}
checks.sort((a, b) => a - b);
console.log(`733 malformed entries, an edit: from the end of the pause to the marks, median ` +
  `${checks[5].toFixed(1)} ms, slowest ${checks[9].toFixed(1)} ms over 10 edits`);
// At the end of the first line: the entry there stays malformed, as before.
await tab.evaluate(() => document.getElementById("texto").setSelectionRange(23, 23));
await tab.evaluate(() => { window.typed = false; });
const typing = tab.evaluate(() => window.held(() => window.typed && window.listed(733)));
await tab.keyboard.type("abcdefghij0123456789", { delay: 50 });
await tab.evaluate(() => { window.typed = true; });
console.log(`typing 20 characters, one every 50 ms, into it, then its check: main thread held ` +
  `at most ${(await typing).toFixed(1)} ms`);

// About 20,000 entries of some 50 bytes, each malformed at its last separator, just under 1 MiB.
const large = join(folder, "grande", "NSuica.in");
mkdirSync(join(folder, "grande"));
const entry = (k) => `${k}, ${1000 + k}-${2500 + k},${300 + k}-${400 + k},${1200 + k},${10000 + k};${14000 + k}\n`;
let entries = 0;
for (let size = 0; size + entry(entries + 1).length < 1024 * 1024; size += entry(++entries).length);
writeFileSync(large, malformed(entries, entry));
// The edits above are not saved: the page asks before it opens another file.
tab.on("dialog", (dialog) => dialog.accept());
await tab.evaluate(() => { document.getElementById("saida").removeAttribute("data-status"); });
const opening = tab.evaluate((n) => window.held(() => window.listed(n)), entries);
await (await tab.$("#arquivo")).uploadFile(large);
const openHeld = await opening;
// The longest hold while a bare textarea is given the text of `path` and shows it.
const bare = (path) => tab.evaluate(async (text) => {
  const area = document.body.appendChild(document.createElement("textarea"));
  let shown = false;
  const holding = window.held(() => shown);
  area.value = text;
  requestAnimationFrame(() => requestAnimationFrame(() => { shown = true; }));
  const gap = await holding;
  area.remove();
  return gap;
}, readFileSync(path, "utf8"));
console.log(`${entries} malformed entries, ${readFileSync(large).length} bytes, opened: main ` +
  `thread held at most ${openHeld.toFixed(1)} ms; a bare textarea given the text, ` +
  `${(await bare(large)).toFixed(1)} ms`);

// 1 MiB of nothing but faults, one a line: the list is made whole up to 25,000 items, then as
// its end is scrolled near. The holds: from the choice to those items, in the 10 s after, and
// while the list is scrolled to its end ten times, half a second apart.
const junk = join(folder, "lixo", "NSuica.in");
mkdirSync(join(folder, "lixo"));
writeFileSync(junk, "x\n".repeat(512 * 1024 - 1));
await tab.evaluate(() => { document.getElementById("saida").removeAttribute("data-status"); });
const junkOpening = tab.evaluate(() => window.held(() => document.getElementById("saida")
  .dataset.status !== undefined && document.getElementById("erros").children.length >= 25000));
await (await tab.$("#arquivo")).uploadFile(junk);
const junkHeld = await junkOpening;
const after = await tab.evaluate(() => ((end) => window.held(() => performance.now() > end))(
  performance.now() + 10000));
const scrolled = await tab.evaluate(async () => {
  const list = document.getElementById("erros");
  const before = list.children.length;
  let scrolls = 0;
  const holding = window.held(() => scrolls === 10);
  for (; scrolls < 10; ++scrolls) {
    list.scrollTop = list.scrollHeight;
    await new Promise((done) => setTimeout(done, 500));
  }
  return [await holding, before, list.children.length];
});
console.log(`${readFileSync(junk).length} bytes, a fault on each line: main thread held at most ` +
  `${junkHeld.toFixed(1)} ms until its text and ${scrolled[1]} items, then ${after.toFixed(1)} ms ` +
  `in 10 s, and ${scrolled[0].toFixed(1)} ms while scrolled to the list's end 10 times, which ` +
  `made it ${scrolled[2]} items; a bare textarea given the text, ${(await bare(junk)).toFixed(1)} ms`);
// Substituir todos in that file: every 'x' a 'y', every fault listed again in other words.
const replacing = await tab.evaluate(async () => {
  document.getElementById("abrir-procura").click();
  document.getElementById("procurar").value = "x";
  document.getElementById("substituto").value = "y";
  const output = document.getElementById("saida");
  const list = document.getElementById("erros");
  const holding = window.held(() => output.dataset.status !== undefined &&
    list.children.length >= 25000 && list.firstChild.textContent.includes("'y'"));
  document.getElementById("substituir-todos").click();
  return holding;
});
console.log(`Substituir todos in it, every 'x' by 'y': main thread held at most ` +
  `${replacing.toFixed(1)} ms until the result and 25,000 items`);

const swapped = join(folder, "trocado", "NSuica.in");
mkdirSync(join(folder, "trocado"));
writeFileSync(swapped, malformed(733, (k) => `${k}; 10-25,3-4,12,100-140\n`));
await tab.evaluate(() => { document.getElementById("saida").removeAttribute("data-status"); });
await (await tab.$("#arquivo")).uploadFile(swapped);
await tab.waitForFunction(() => window.listed(733), { timeout: 60000 });
const swaps = [];
for (let i = 0; i < 5; ++i) {
  swaps.push(await tab.evaluate(async () => {
    const start = performance.now();
    document.querySelector("#erros .trocar").click();
    await new Promise((done) => {
      const wait = () => (window.listed(0) ? done() : requestAnimationFrame(wait));
      wait();
    });
    return performance.now() - start;
  }));
  await tab.keyboard.down("Control");
  await tab.keyboard.press("z");
  await tab.keyboard.up("Control");
  await tab.waitForFunction(() => window.listed(733), { timeout: 60000 });
}
swaps.sort((a, b) => a - b);
console.log(`733 entries with ';' for ',': from the click on the swap to the result, median ` +
  `${swaps[2].toFixed(1)} ms, slowest ${swaps[4].toFixed(1)} ms over 5 swaps`);
console.log(`page: ${readFileSync(page).length} bytes`);
await browser.close();
rmSync(folder, { recursive: true });
