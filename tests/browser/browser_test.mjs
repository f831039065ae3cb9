// The page opened from disk in Firefox and WebKitGTK, and served from 127.0.0.1 to Chromium,
// whose pickers hand out files of the page's private file system; files chosen one after another
// must show what the native program prints for each in a UTF-8 terminal, and in the editor
// the faults that it reports, or no text where the editor could not give the file back. The
// last file is then mended with real keys and saved, and the page may make no request. In
// Chromium, the page then writes back into a file that it opened, asking first where another
// program changed it, and a cancelled dialog saves nothing.
// Usage: node browser_test.mjs PAGE NATIVE_PROGRAM [BROWSER ...]
import axe from "axe-core";
import { spawn, spawnSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { createServer } from "node:http";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";
import puppeteer from "puppeteer-core";

const [page, native, ...chosen] = process.argv.slice(2);
const pageUrl = pathToFileURL(resolve(page)).href;
// Seven faults, two of them mended later by deleting the space before their comma.
const seven = (mended = 0) => Buffer.from("\ufeff" + Array.from({ length: 12 }, (_, i) =>
  i % 3 || i / 3 < mended ? "7, 1-2,3-4,5,6-7\r\n" : "7 , 1-2,3-4,5,6-7\r\n").join("") +
  "1\r\n8, 9-4\r\n1, 2-x\r\n");
const FILES = {  // read in full, malformed, not text, not UTF-8, over 1 MiB, then the one to mend
  "NSuica.in": readFileSync(new URL("../../examples/NSuica.in", import.meta.url)),
  "notas.txt": Buffer.from("1, 2-3,4-5,6,7-8\n7 , 1-2,3-4,5,6-7\n1, 2\u22123,4-5,6,7-8 S\u00e3o\n"),
  "NSuica.pdf": Buffer.from("%PDF-1.7\n%\xe2\xe3\xcf\xd3\n1 0 obj\n", "latin1"),
  "utf16.txt": Buffer.from("\ufeff1, 2-3,4-5,6,7-8\r\n", "utf16le"),
  "grande.in": Buffer.from("\n".repeat(1100000) + "7 , 1\n"),
  "sete.in": seven(),
};
const EDITABLE = ["NSuica.in", "notas.txt", "sete.in"];
const folder = mkdtempSync(join(tmpdir(), "nsuica-chosen-"));
const downloads = join(folder, "baixados");
mkdirSync(downloads);

// What the page must show for `bytes`: the native program's output and status, whether the
// editor is closed, the words of the faults told, and how many there are in all.
function printed(bytes, editable = true) {
  writeFileSync(join(folder, "NSuica.in"), bytes);
  const run = spawnSync(resolve(native), { cwd: folder, input: "", env: { LANG: "C.UTF-8" } });
  const out = run.stdout.toString();
  const told = editable ? out.split("\n").filter((line) => line.startsWith("A entrada ")) : [];
  const more = Number(/^E mais (\d+)/m.exec(out)?.[1] ?? 0);
  return JSON.stringify([out, String(run.status), !editable, told, told.length + more, true]);
}
const shown = () => ((items) => [document.getElementById("saida").textContent,
  document.getElementById("saida").dataset.status, document.getElementById("texto").disabled,
  items.slice(0, 5).map((item) => item.textContent), items.length, items.every((item) =>
    item.textContent.includes(`(linha ${item.parentNode.dataset.linha}, coluna ${item.parentNode.dataset.coluna})`))])(
  [...document.querySelectorAll("#erros li button:first-child")]);

// Whatever the page downloads, once it is whole; removed, so that the next comes by that name.
async function saved() {
  const path = join(downloads, "NSuica.in");
  for (const deadline = Date.now() + 30000; !existsSync(path) && Date.now() < deadline;)
    await new Promise((done) => setTimeout(done, 100));
  await new Promise((done) => setTimeout(done, 500));
  const bytes = existsSync(path) ? readFileSync(path) : Buffer.from("no download");
  rmSync(path, { force: true });
  return bytes;
}

// Chromium's pickers, in place before the page's script: files of the page's private file
// system, so that the page writes through the real API. `picked` counts and answers the dialogs.
const PICKERS = () => {
  const file = async (name) =>
    (await navigator.storage.getDirectory()).getFileHandle(name, { create: true });
  window.picked = { saves: 0, cancel: false, answer: true, asked: 0 };
  window.showSaveFilePicker = async () => (++picked.saves && picked.cancel ?
    Promise.reject(new DOMException("", "AbortError")) : file("NSuica.in"));
  window.showOpenFilePicker = async () => [await file("aberto.in")];
  window.confirm = () => ++picked.asked && picked.answer;
  window.privateFile = async (name, bytes) => {
    const copy = bytes && await (await file(name)).createWritable();
    if (copy) return copy.write(new Uint8Array(bytes)).then(() => copy.close()).then(() => []);
    return [...new Uint8Array(await (await (await file(name)).getFile()).arrayBuffer())];
  };
};

// Whether the editor shows the place of its caret: a line's start measured as it is laid out.
const IN_VIEW = () => {
  const editor = document.getElementById("texto");
  const probe = document.body.appendChild(document.createElement("span"));
  probe.style.cssText = "font: 1rem monospace; white-space: pre; position: absolute";
  probe.textContent = editor.value.slice(0, editor.selectionStart).split("\n").pop();
  const x = probe.getBoundingClientRect().width - editor.scrollLeft;
  probe.remove();
  return x > 0 && x < editor.clientWidth - 10;
};

// What axe-core finds on the page, best practices included, once it is loaded into it.
const AXE = () => window.axe.run().then(({ violations }) =>
  violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target)}`));

async function viaPuppeteer(options, served = false) {
  const browser = await puppeteer.launch({ headless: true, ...options });
  const tab = await browser.newPage();
  const requests = [];
  tab.on("request", (r) => requests.push(r.url()));
  let url = pageUrl;
  let server = null;
  if (served) {
    server = createServer((_, answer) => answer.end(readFileSync(page)));
    await new Promise((done) => server.listen(0, "127.0.0.1", done));
    url = `http://127.0.0.1:${server.address().port}/`;
    await tab.evaluateOnNewDocument(PICKERS);
  }
  await tab.goto(url);
  const file = async (name, bytes = null) => Buffer.from(await tab.evaluate((...a) =>
    privateFile(...a), name, bytes && [...bytes]));
  // Saved once the page says so: what it says is cleared before each save.
  const written = () => tab.waitForFunction(() => document.getElementById("situacao")
    .textContent).then(() => file("NSuica.in"));
  return { evaluate: (code) => tab.evaluate(code), saved: served ? written : saved, file,
    requests: async () => requests.filter((r) => r !== url), close: () => (server?.close(),
      browser.close()),
    choose: async (file) => (await tab.$("#arquivo")).uploadFile(file),
    click: (selector) => tab.click(selector), type: (selector, text) => tab.type(selector, text),
    press: async (keys) => {
      for (const key of keys.split("+")) await tab.keyboard.down(key);
      for (const key of keys.split("+").reverse()) await tab.keyboard.up(key);
    },
    axe: async () => (await tab.evaluate(axe.source), tab.evaluate(AXE)) };
}

// WebKitGTK has no driver on npm: its own WebDriver server, spoken to over HTTP.
async function viaWebDriver() {
  const port = 20000 + (process.pid % 20000);
  // Its browser downloads into the home folder, where it has no folder for downloads.
  const server = spawn("WebKitWebDriver", [`--port=${port}`], { stdio: "ignore",
    env: { ...process.env, HOME: downloads } });
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
  const element = async (selector) => `${session}/element/${Object.values(await call("POST",
    `${session}/element`, { using: "css selector", value: selector }))[0]}`;
  const keys = { Delete: "\uE017", F8: "\uE038", Control: "\uE009", Escape: "\uE00C" };
  return { evaluate, saved, axe: () => call("POST", `${session}/execute/async`, { args: [],
      script: `${axe.source}; (${AXE})().then(arguments[arguments.length - 1])` }),
    choose: async (file) => call("POST", `${await element("#arquivo")}/value`, { text: file }),
    click: async (selector) => call("POST", `${await element(selector)}/click`, {}),
    type: async (selector, text) => call("POST", `${await element(selector)}/value`, { text }),
    press: (combination) => ((all) => call("POST", `${session}/actions`, { actions: [{ type: "key",
      id: "teclado", actions: [...all.map((value) => ({ type: "keyDown", value })),
        ...all.reverse().map((value) => ({ type: "keyUp", value }))] }] }))(
      combination.split("+").map((key) => keys[key] ?? key)),
    requests: () => evaluate(() => performance.getEntriesByType("resource").map((e) => e.name)),
    close: () => call("DELETE", session).finally(() => server.kill()) };
}

const BROWSERS = {
  chromium: () => viaPuppeteer({ executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-component-update"] }, true),
  firefox: () => viaPuppeteer({ browser: "firefox", executablePath: "/usr/bin/firefox-esr",
    extraPrefsFirefox: { "browser.download.dir": downloads, "browser.download.folderList": 2,
      "browser.download.always_ask_before_handling_new_types": false } }),
  webkit: viaWebDriver,
};

let failures = 0;
const expect = (ok, what, why = "") => {
  failures += ok ? 0 : 1;
  console.log(ok ? `ok: ${what}` : `FAILED: ${what}\n${why}`);
};
// A result is waited for until it is the one wanted: the files' outputs differ, so the last
// file's result never passes for this one's.
async function expectShown(browser, want, what) {
  let got = "";
  for (const deadline = Date.now() + 60000; got !== want && Date.now() < deadline;)
    got = JSON.stringify(await browser.evaluate(shown));
  expect(got === want, what, `${got}\n${want}`);
}
for (const name of chosen.length ? chosen : Object.keys(BROWSERS)) {
  const browser = await BROWSERS[name]();
  try {
    const axeFinds = async (when) => ((found) => expect(found === "", `${name}, axe ${when}`, found))(
      `${await browser.axe()}`);
    await axeFinds("at the start");
    for (const file of Object.keys(FILES)) {
      // Before the choice: a file changed since is unreadable.
      const want = printed(FILES[file], EDITABLE.includes(file));
      writeFileSync(join(folder, file), FILES[file]);
      await browser.choose(join(folder, file));
      await expectShown(browser, want, `${name}, ${file}`);
    }
    const save = async (bytes, what) => {
      await browser.evaluate(() => (document.getElementById("situacao").textContent = ""));
      await browser.click("#salvar");
      return what ? expect((await browser.saved()).equals(bytes), what) : browser.saved();
    };
    await save(FILES["sete.in"], `${name}, saved as it was opened`);
    // The first fault from the list, the second by F8: each mended by Delete.
    await browser.click("#erros li button");
    await browser.press("Delete");
    await browser.press("F8");
    await browser.press("Delete");
    await expectShown(browser, printed(seven(2)), `${name}, mended as typed`);
    await save(seven(2), `${name}, saved with its own line breaks`);
    await axeFinds("after a check");
    // Swaps and Substituir todos, each undone whole by Ctrl+Z, after an edit typed before; a
    // fault far along its line, brought into view.
    const swaps = "1; 2-3,4-5,6,7-8\n7 , 1-2,3-4,5,6-7\n1; 2-3,4-5,6,7-8\n1," + " ".repeat(300) +
      "2-3,4.5,6,7-8\n";
    const mended = swaps.replace(".", "");
    const text = () => browser.evaluate(() => document.getElementById("texto").value);
    writeFileSync(join(folder, "trocas.in"), swaps);
    await browser.choose(join(folder, "trocas.in"));
    await expectShown(browser, printed(Buffer.from(swaps)), `${name}, trocas.in`);
    await browser.click("#erros li:last-child button");
    expect(await browser.evaluate(IN_VIEW), `${name}, a fault far along its line in view`);
    await browser.press("Delete");
    await expectShown(browser, printed(Buffer.from(mended)), `${name}, mended before the swap`);
    await browser.click("#erros .trocar");
    await expectShown(browser, printed(Buffer.from(mended.replaceAll(";", ","))), `${name}, swapped`);
    const undone = [];
    for (const keys of ["Control+z", "Control+z", "Control+y"]) {
      await browser.press(keys);
      undone.push(await text());
    }
    expect(`${undone}` === `${[mended, swaps, mended]}`, `${name}, a swap undone whole by Ctrl+Z`);
    await browser.press("Control+h");
    await browser.type("#procurar", "2-3,");
    await browser.type("#substituto", "3-2,");
    await browser.click("#substituir-todos");
    const replaced = await text();
    await axeFinds("with the search open, after a swap");
    await browser.press("Escape");
    await browser.press("Control+z");
    expect(replaced === mended.replaceAll("2-3,", "3-2,") && await text() === mended &&
      await browser.evaluate(() => document.activeElement.id) === "texto",
    `${name}, every match replaced, and undone`);
    await expectShown(browser, printed(Buffer.from(mended)), `${name}, checked as undone`);
    if (name === "chromium") {
      const picked = () => browser.evaluate(() => `${picked.saves} ${picked.asked}`);
      const saveTo = async (file) => (await save(), browser.file(file));
      expect(await picked() === "1 0", "chromium, asked where at the first save alone");
      // A new text, its save dialog closed: nothing saved, and closing the page asks.
      await browser.choose(join(folder, "sete.in"));
      await expectShown(browser, printed(seven()), "chromium, chosen again");
      await browser.evaluate(() => (picked.cancel = true));
      await browser.click("#erros li button");
      await browser.press("Delete");
      expect((await saveTo("NSuica.in")).equals(seven(2)) && await browser.evaluate(() =>
        !dispatchEvent(new Event("beforeunload", { cancelable: true }))),
        "chromium, a closed dialog saves nothing, and the text stays unsaved");
      // A file opened with its handle, changed by another program since: the page asks.
      await browser.file("aberto.in", seven());
      await browser.click("#abrir");
      await expectShown(browser, printed(seven()), "chromium, opened with its handle");
      await browser.file("aberto.in", FILES["NSuica.in"]);
      await browser.evaluate(() => Object.assign(picked, { answer: false, asked: 0 }));
      await browser.click("#erros li button");
      await browser.press("Delete");
      expect((await saveTo("aberto.in")).equals(FILES["NSuica.in"]) && await picked() === "2 1",
        "chromium, another program's change kept when the question is refused");
      await browser.evaluate(() => (picked.answer = true));
      for (const time of ["asked", "not asked"]) {
        expect((await saveTo("aberto.in")).equals(seven(1)) && await picked() === "2 2",
          `chromium, written into its own file, ${time}`);
      }
    }
    const requests = (await browser.requests()).filter((url) => url !== pageUrl && !url.startsWith("blob:"));
    expect(requests.length === 0, `${name} makes no request`, requests.join(" "));
  } finally {
    await browser.close();
  }
}
rmSync(folder, { recursive: true });
process.exitCode = failures ? 1 : 0;
