// The page opened from disk in Chromium, Firefox and WebKitGTK; three files chosen one after
// another must show what the native program prints for each in a UTF-8 terminal, and the page
// may make no request. Usage: node browser_test.mjs PAGE NATIVE_PROGRAM [BROWSER ...]
import { spawn, spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";
import puppeteer from "puppeteer-core";

const [page, native, ...chosen] = process.argv.slice(2);
const pageUrl = pathToFileURL(resolve(page)).href;
const FILES = {  // read in full, malformed, not text
  "NSuica.in": readFileSync(new URL("../../examples/NSuica.in", import.meta.url)),
  "notas.txt": Buffer.from("1, 2-3,4-5,6,7-8\n7 , 1-2,3-4,5,6-7\n1, 2\u22123,4-5,6,7-8 S\u00e3o\n"),
  "NSuica.pdf": Buffer.from("%PDF-1.7\n%\xe2\xe3\xcf\xd3\n1 0 obj\n", "latin1"),
};
const folder = mkdtempSync(join(tmpdir(), "nsuica-chosen-"));

function printed(file) {
  writeFileSync(join(folder, "NSuica.in"), FILES[file]);
  const run = spawnSync(resolve(native), { cwd: folder, input: "", env: { LANG: "C.UTF-8" } });
  return [run.stdout.toString(), String(run.status)];
}

async function viaPuppeteer(options) {
  const browser = await puppeteer.launch({ headless: true, ...options });
  const tab = await browser.newPage();
  const requests = [];
  tab.on("request", (r) => requests.push(r.url()));
  await tab.goto(pageUrl);
  return { evaluate: (code) => tab.evaluate(code), requests: async () => requests,
    choose: async (file) => (await tab.$("#arquivo")).uploadFile(file), close: () => browser.close() };
}

// WebKitGTK has no driver on npm: its own WebDriver server, spoken to over HTTP.
async function viaWebDriver() {
  const port = 20000 + (process.pid % 20000);
  const server = spawn("WebKitWebDriver", [`--port=${port}`], { stdio: "ignore" });
  const call = async (method, path, body) => {
    const answer = await fetch(`http://127.0.0.1:${port}${path}`, { method,
      body: body && JSON.stringify(body), signal: AbortSignal.timeout(60000) });
    const { value } = await answer.json();
    if (!answer.ok) throw new Error(`WebDriver ${path}: ${JSON.stringify(value)}`);
    return value;
  };
  for (let tries = 50; await call("GET", "/status").then(() => false, () => --tries > 0);)
    await new Promise((done) => setTimeout(done, 100));
  const session = `/session/${(await call("POST", "/session", { capabilities: { alwaysMatch: {
    "webkitgtk:browserOptions": { args: ["--automation"] } } } })).sessionId}`;
  const evaluate = (code) => call("POST", `${session}/execute/sync`, { script: `return (${code})()`, args: [] });
  await call("POST", `${session}/url`, { url: pageUrl });
  return { evaluate,
    choose: async (file) => {
      const input = await call("POST", `${session}/element`, { using: "css selector", value: "#arquivo" });
      await call("POST", `${session}/element/${Object.values(input)[0]}/value`, { text: file });
    },
    requests: () => evaluate(() => performance.getEntriesByType("resource").map((e) => e.name)),
    close: () => call("DELETE", session).finally(() => server.kill()) };
}

const BROWSERS = {
  chromium: () => viaPuppeteer({ executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-component-update"] }),
  firefox: () => viaPuppeteer({ browser: "firefox", executablePath: "/usr/bin/firefox-esr" }),
  webkit: viaWebDriver,
};

// A result is waited for until it is the one wanted: the files' outputs differ, so the last
// file's result never passes for this one's.
const shown = () => ((output) => [output.textContent, output.dataset.status])(document.getElementById("saida"));
let failures = 0;
for (const name of chosen.length ? chosen : Object.keys(BROWSERS)) {
  const browser = await BROWSERS[name]();
  try {
    for (const file of Object.keys(FILES)) {
      const want = JSON.stringify(printed(file));  // before the choice: a file changed since is unreadable
      writeFileSync(join(folder, file), FILES[file]);
      await browser.choose(join(folder, file));
      let got = "";
      for (const deadline = Date.now() + 60000; got !== want && Date.now() < deadline;)
        got = JSON.stringify(await browser.evaluate(shown));
      failures += got === want ? 0 : 1;
      console.log(got === want ? `ok: ${name}, ${file}` : `FAILED: ${name}, ${file}\n${got}\n${want}`);
    }
    const requests = (await browser.requests()).filter((url) => url !== pageUrl && !url.startsWith("blob:"));
    failures += requests.length;
    console.log(`${requests.length ? "FAILED" : "ok"}: ${name} makes no request ${requests.join(" ")}`);
  } finally {
    await browser.close();
  }
}
rmSync(folder, { recursive: true });
process.exitCode = failures ? 1 : 0;
