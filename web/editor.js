// The editor: the text of NSuica.in, the program's faults marked in it, and the file saved again
// with only what the user changed. The program says where each fault is; the editor only marks
// it, and asks the program again after an edit (check(), in the page's script).
const editor = document.getElementById("texto");
const margin = document.getElementById("margem");
const marginLines = margin.appendChild(document.createElement("div"));
const count = document.getElementById("contagem");
const list = document.getElementById("erros");
const notice = document.getElementById("aviso");
const saveButton = document.getElementById("salvar");
const downloadButton = document.getElementById("baixar");
const search = document.getElementById("procura");
const sought = document.getElementById("procurar");
const replacement = document.getElementById("substituto");
const searchButton = document.getElementById("abrir-procura");
const measure = document.createElement("canvas").getContext("2d");

// A new text is saved with the line break of the system the browser runs on.
const SYSTEM_BREAK = /Windows/.test(navigator.userAgent) ? "\r\n" : "\n";
const PAUSE = 300;  // ms after the last keystroke before the text is checked again
// The list is made a part at a time, each part as many items as this many ms make, so that a
// long list never holds the page; the frame after each part walks the whole list, so the parts
// are no smaller than that.
const LIST_PART = 8;
// Up to this many items, the list is made whole, one part after another. Past them, the next
// part is made only as the list's end is scrolled or tabbed near: a list of hundreds of
// thousands of faults, made whole, would hold the page for minutes, its frames ever slower.
const LIST_WHOLE = 25000;
// After an edit, at most this many items that it changed are replaced at once.
const LIST_SWAP = 500;

// A textarea turns every line break into "\n" and TextDecoder drops a byte-order mark: both are
// noted when a file is opened, and put back when it is saved.
let lineBreak = SYSTEM_BREAK;
let byteOrderMark = false;
let unsaved = false;
let edits = 0;  // counted, so that an edit made while a save is on stays unsaved
// The file that the text is saved into, where the browser gives one (opened or dropped with its
// handle, or chosen at the first save), and when it was last written as the page last read or
// wrote it: a change that another program saved since is never written over unasked.
let place = null;
let placeWritten = null;
let saving = false;
let lineCount = 1;
let faults = [];  // of the text last checked, in file order: { line, column, text }
let faultLines = new Set();
let listing = 0;  // which list is being made: a newer one stops an older one part way
let pause = 0;
let note = "";  // what the page did, said before what the next check finds
// The editor's own undo history. A textarea's holds only what was typed, and the first change
// that a script makes ends it; this one holds both, so that one Ctrl+Z takes a swap back whole
// and the edits typed before it stay, in order. Each change: where, what it took out, what it
// put in, and when.
let done = [];
let undone = [];
let recorded = "";  // the text as the history last saw it
const TYPING = 1000;  // ms: keystrokes one after the other, closer than this, undone together

// The list's last item within a list's height of its view: the next part is made.
const nearEnd = new IntersectionObserver((seen) => {
  if (!seen.some((entry) => entry.isIntersecting)) return;
  nearEnd.disconnect();
  makePart(listing);
}, { root: list, rootMargin: "0px 0px 100% 0px" });

// The text of a file's bytes, with how its lines end, or null when the editor could not give
// the same bytes back: a file that is not UTF-8, or that holds a NUL (UTF-16 or UTF-32 without
// a byte-order mark).
function textOf(bytes) {
  let text;
  try {
    text = new TextDecoder("utf-8", { fatal: true, ignoreBOM: true }).decode(bytes);
  } catch {
    return null;
  }
  if (text.includes("\0")) return null;
  const bom = text.startsWith("\uFEFF");
  if (bom) text = text.slice(1);
  const breaks = { "\r\n": 0, "\n": 0, "\r": 0 };
  for (const [found] of text.matchAll(/\r\n|\n|\r/g)) ++breaks[found];
  const kinds = Object.keys(breaks).filter((kind) => breaks[kind] > 0);
  const most = kinds.sort((a, b) => breaks[b] - breaks[a])[0] ?? SYSTEM_BREAK;
  return { text: text.replace(/\r\n?/g, "\n"), bom, lineBreak: most, mixed: kinds.length > 1 };
}

// The text as the file to save and to check: its own line breaks, its mark, in UTF-8.
function bytesOfText() {
  const text = lineBreak === "\n" ? editor.value : editor.value.replaceAll("\n", lineBreak);
  return new TextEncoder().encode((byteOrderMark ? "\uFEFF" : "") + text).buffer;
}

const BREAK_NAMES = { "\r\n": "CR LF, como no Windows", "\n": "LF, como no Linux e no Mac",
  "\r": "CR, como nos Macs antigos" };

// Puts an opened file's text in the editor, ready for edits, and saved back into `handle`.
function openText(opened, handle = null, written = null) {
  ({ lineBreak, bom: byteOrderMark } = opened);
  editor.value = opened.text;
  forget();
  editor.disabled = saveButton.disabled = false;
  unsaved = false;
  saveInto(handle, written);
  notice.textContent = opened.mixed ? "As linhas deste arquivo terminam de modos diferentes. " +
    `Ao salvar, todas terminam como a maioria delas: ${BREAK_NAMES[lineBreak]}.` : "";
  countLines();
}

// Leaves the editor empty and closed, saying why in `reason`.
function refuseText(reason) {
  clearTimeout(pause);
  editor.value = "";
  forget();
  editor.disabled = saveButton.disabled = true;
  unsaved = false;
  saveInto(null, null);
  notice.textContent = reason;
  showFaults(new Uint8Array(0));
  count.textContent = "";
  countLines();
}

// Whether the user would lose edits, after asking them when there are some.
function mayDropText() {
  return !unsaved || confirm("O texto tem mudancas que nao foram salvas. Deixar essas mudancas?");
}

function countLines() {
  const text = editor.value;
  let lines = 1;
  for (let at = text.indexOf("\n"); at >= 0; at = text.indexOf("\n", at + 1)) ++lines;
  lineCount = lines;
  margin.style.minWidth = `${String(lines).length + 1}ch`;
  drawMargin();
}

// The gutter holds the numbers of the lines in view alone, moved as the text scrolls: a file
// of many lines costs no more than one screenful.
function drawMargin() {
  const height = parseFloat(getComputedStyle(editor).lineHeight);
  const first = Math.floor(editor.scrollTop / height);
  const shown = Math.min(lineCount - first, Math.ceil(editor.clientHeight / height) + 1);
  const rows = [];
  for (let n = first + 1; n <= first + shown; ++n) {
    const row = document.createElement("div");
    row.textContent = String(n);
    if (faultLines.has(n)) row.className = "erro";
    rows.push(row);
  }
  marginLines.replaceChildren(...rows);
  marginLines.style.transform = `translateY(${first * height - editor.scrollTop}px)`;
}

// Shows the faults that the program listed for the text, as nsuica_faults writes them: one line
// each, its line, column and words apart by tabs.
function showFaults(bytes) {
  const shown = faults;
  const lines = new TextDecoder().decode(bytes).split("\n");
  lines.pop();
  faults = lines.map((line) => {
    const [at, column, text, from, to] = line.split("\t");
    const swap = from && { from: String.fromCodePoint(parseInt(from, 16)), to, code: from };
    return { line: Number(at), column: Number(column), text, swap };
  });
  faultLines = new Set(faults.map((fault) => fault.line));
  count.textContent = faults.length === 0 ? "Nenhum erro no texto."
    : faults.length === 1 ? "1 erro no texto." : `${faults.length} erros no texto.`;
  if (faults.length > 0) {
    editor.setAttribute("aria-invalid", "true");
  } else {
    editor.removeAttribute("aria-invalid");
  }
  drawMargin();
  ++listing;
  nearEnd.disconnect();
  keepSameItems(shown);
  makePart(listing);
}

// Items that say what they said before stay as they are, so that after an edit only the faults
// that it changed are laid out again: those between the first and the last that changed are
// replaced, at once when they are few. The rest of the list is made again, a part at a time.
function keepSameItems(shown) {
  const items = list.children;
  const same = (item, fault) => item.dataset.linha === String(fault.line) &&
    item.dataset.coluna === String(fault.column) && item.firstChild.textContent === fault.text;
  let first = 0;
  while (first < items.length && first < faults.length && same(items[first], faults[first])) {
    ++first;
  }
  // The last items are those of the last faults only in a list that was made whole.
  let last = 0;
  while (items.length === shown.length && last < items.length - first &&
    last < faults.length - first &&
    same(items[items.length - 1 - last], faults[faults.length - 1 - last])) {
    ++last;
  }
  const changed = faults.length - first - last;
  if (changed > LIST_SWAP) last = 0;
  if (first < items.length - last) {
    const range = document.createRange();
    range.setStartBefore(items[first]);
    range.setEndAfter(items[items.length - 1 - last]);
    range.deleteContents();
  }
  if (last > 0) {
    const part = document.createDocumentFragment();
    for (let i = first; i < first + changed; ++i) part.append(itemOf(faults[i]));
    list.insertBefore(part, items[first]);
  }
}

function itemOf(fault) {
  const item = document.createElement("li");
  item.dataset.linha = fault.line;
  item.dataset.coluna = fault.column;
  const button = item.appendChild(document.createElement("button"));
  button.type = "button";
  button.textContent = fault.text;
  if (fault.swap) {
    const swap = item.appendChild(document.createElement("button"));
    swap.type = "button";
    swap.className = "trocar";
    const { from, to, code } = fault.swap;
    swap.textContent = `Trocar todos os ${from < "\x80" ? `"${from}"` : `U+${code}`} por ` +
      (to === " " ? "espacos" : `"${to}"`);
  }
  return item;
}

// Adds the next part of the list being made, unless a newer list has replaced it.
function makePart(made) {
  if (made !== listing) return;
  const part = document.createDocumentFragment();
  const start = performance.now();
  let i = list.children.length;
  for (; i < faults.length && performance.now() - start < LIST_PART; ++i) {
    part.append(itemOf(faults[i]));
  }
  list.append(part);
  if (i >= faults.length) return;
  if (i < LIST_WHOLE) {
    setTimeout(makePart, 0, made);
  } else {
    nearEnd.observe(list.lastElementChild);
  }
}

// The bytes that a character takes in UTF-8: the program counts columns in bytes.
function utf8Size(code) {
  return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

// Where line `line`, column `column` of the program stands in the editor's text: the start and
// end of the character there, or twice the place where a line or the text ends.
function placeOf(line, column) {
  const text = editor.value;
  let at = 0;
  for (let n = 1; n < line && at >= 0; ++n) at = text.indexOf("\n", at) + 1 || -1;
  if (at < 0) return [text.length, text.length];
  for (let bytes = column - 1; bytes > 0 && at < text.length && text[at] !== "\n";) {
    const code = text.codePointAt(at);
    bytes -= utf8Size(code);
    at += code > 0xFFFF ? 2 : 1;
  }
  if (at >= text.length || text[at] === "\n") return [at, at];
  return [at, at + (text.codePointAt(at) > 0xFFFF ? 2 : 1)];
}

// The line and column, as the program counts them, of a place in the editor's text.
function lineAndColumn(place) {
  const text = editor.value;
  let line = 1;
  for (let at = text.indexOf("\n"); at >= 0 && at < place; at = text.indexOf("\n", at + 1)) ++line;
  const start = text.lastIndexOf("\n", place - 1) + 1;
  return { line, column: new TextEncoder().encode(text.slice(start, place)).length + 1 };
}

// Brings the place `at` of the text into view, down and sideways, with some of its line before
// it: not every engine scrolls a textarea sideways to its selection.
function reveal(at) {
  const text = editor.value;
  const style = getComputedStyle(editor);
  const height = parseFloat(style.lineHeight);
  const y = (lineAndColumn(at).line - 1) * height;
  if (y < editor.scrollTop || y + height > editor.scrollTop + editor.clientHeight) {
    editor.scrollTop = Math.max(0, y - editor.clientHeight / 2);
  }
  let before = "";  // the line up to `at`, its tabs as the spaces to their stops
  for (const c of text.slice(text.lastIndexOf("\n", at - 1) + 1, at)) {
    before += c === "\t" ? " ".repeat(8 - (before.length % 8)) : c;
  }
  measure.font = `${style.fontSize} ${style.fontFamily}`;
  const x = parseFloat(style.paddingLeft) + measure.measureText(before).width;
  const lead = measure.measureText("0000000000").width;
  if (x - lead < editor.scrollLeft || x + lead > editor.scrollLeft + editor.clientWidth) {
    editor.scrollLeft = Math.max(0, x - editor.clientWidth / 3);
  }
}

function goToFault(index) {
  const fault = faults[index];
  const [start, end] = placeOf(fault.line, fault.column);
  editor.focus();
  editor.setSelectionRange(start, end);
  reveal(start);
  for (const item of list.querySelectorAll("[aria-current]")) item.removeAttribute("aria-current");
  list.children[index]?.setAttribute("aria-current", "true");
  say(fault.text);
}

const indexOf = (item) => Array.prototype.indexOf.call(list.children, item);

// Tab never runs past the items made: focus near the end of a list made as it is reached makes
// the next part at once, before the next key.
list.addEventListener("focusin", (event) => {
  const made = list.children.length;
  const item = event.target.closest("li");
  if (item === null || made < LIST_WHOLE || made === faults.length) return;
  if (made - indexOf(item) > 50) return;
  nearEnd.disconnect();
  makePart(listing);
});

list.addEventListener("click", (event) => {
  const item = event.target.closest("li");
  if (item === null) return;
  if (event.target.closest(".trocar") === null) {
    goToFault(indexOf(item));
    return;
  }
  // Its button goes with the fault: the focus goes to the text, where Ctrl+Z takes it back.
  const { from, to } = faults[indexOf(item)].swap;
  const parts = editor.value.split(from);
  if (parts.length < 2) return;  // typed away since the list was made, which is checked again
  note = parts.length === 2 ? "1 caractere trocado. " : `${parts.length - 1} caracteres trocados. `;
  editor.focus();
  edit(parts.join(to));
});

// What changed from `before` to `after`: the one stretch between what they share at either end.
function changeOf(before, after) {
  const least = Math.min(before.length, after.length);
  let start = 0;
  while (start < least && before.charCodeAt(start) === after.charCodeAt(start)) ++start;
  let end = 0;
  while (end < least - start &&
    before.charCodeAt(before.length - 1 - end) === after.charCodeAt(after.length - 1 - end)) ++end;
  return { at: start, removed: before.slice(start, before.length - end),
    inserted: after.slice(start, after.length - end), time: performance.now() };
}

function forget() {
  done = [];
  undone = [];
  recorded = editor.value;
}

// Puts `text` in place of `length` characters at `at`, and the caret after it.
function replace(at, length, text) {
  editor.setRangeText(text, at, at + length);
  recorded = editor.value;
  editor.setSelectionRange(at + text.length, at + text.length);
  reveal(at);
  changed(true);
}

// An edit that the page makes (a swap, Substituir todos): one step of the history.
function edit(text) {
  const change = changeOf(recorded, text);
  change.time = -Infinity;  // never joined with what is typed next
  done.push(change);
  undone = [];
  replace(change.at, change.removed.length, change.inserted);
}

// What the user typed, joined to the change before when it goes on with it: letters typed one
// after the other, Backspace or Delete held down.
function typed() {
  const change = changeOf(recorded, editor.value);
  recorded = editor.value;
  undone = [];
  const last = done.at(-1);
  if (!last || change.time - last.time >= TYPING || !join(last, change)) done.push(change);
}

function join(last, change) {
  const erased = !change.inserted && !last.inserted;
  if (!change.removed && !last.removed && change.at === last.at + last.inserted.length) {
    last.inserted += change.inserted;
  } else if (erased && change.at + change.removed.length === last.at) {
    [last.at, last.removed] = [change.at, change.removed + last.removed];
  } else if (erased && change.at === last.at) {
    last.removed += change.removed;
  } else {
    return false;
  }
  last.time = change.time;
  return true;
}

function undo() {
  const change = done.pop();
  if (!change) return;
  undone.push(change);
  change.time = -Infinity;
  replace(change.at, change.inserted.length, change.removed);
}

function redo() {
  const change = undone.pop();
  if (!change) return;
  done.push(change);
  replace(change.at, change.removed.length, change.inserted);
}

// The text changed: it is checked again after a pause in typing, or at once after the page's
// own edit.
function changed(now) {
  unsaved = true;
  ++edits;
  countLines();
  outdated();
  clearTimeout(pause);
  if (now) {
    check(bytesOfText());
  } else {
    pause = setTimeout(() => check(bytesOfText()), PAUSE);
  }
}

// Undone and done again from the page's history alone, whether by keys or by a menu.
editor.addEventListener("beforeinput", (event) => {
  const undoing = event.inputType === "historyUndo";
  if (!event.cancelable || (!undoing && event.inputType !== "historyRedo")) return;
  event.preventDefault();
  if (undoing) undo(); else redo();
});

// F8 and Shift+F8 go to the next and the previous fault, as in code editors, round the end.
editor.addEventListener("keydown", (event) => {
  const key = event.key.toLowerCase();
  const command = (event.ctrlKey || event.metaKey) && !event.altKey &&
    { z: event.shiftKey ? redo : undo, y: event.ctrlKey && redo, h: openSearch }[key];
  if (command || (event.key === "F3" && !search.hidden)) {
    event.preventDefault();
    (command || findNext)();
    return;
  }
  if (event.key !== "F8" || faults.length === 0) return;
  event.preventDefault();
  const here = lineAndColumn(editor.selectionStart);
  const order = (f) => f.line - here.line || f.column - here.column;
  let index;
  if (event.shiftKey) {
    index = faults.findLastIndex((f) => order(f) < 0);
    if (index < 0) index = faults.length - 1;
  } else {
    index = faults.findIndex((f) => order(f) > 0);
    if (index < 0) index = 0;
  }
  goToFault(index);
});

editor.addEventListener("input", () => {
  typed();
  changed(false);
});

// Procurar e substituir: plain text, not a pattern, of any character.
function openSearch() {
  search.hidden = false;
  searchButton.setAttribute("aria-expanded", "true");
  const chosen = editor.value.slice(editor.selectionStart, editor.selectionEnd);
  if (chosen && !chosen.includes("\n")) sought.value = chosen;
  sought.focus();
  sought.select();
}

function closeSearch() {
  search.hidden = true;
  searchButton.setAttribute("aria-expanded", "false");
  editor.focus();
}

function notFound() {
  say(sought.value ? `O texto nao tem "${sought.value}".` : "Escreva em Procurar o que procura.");
}

function findNext() {
  const text = editor.value;
  let at = sought.value ? text.indexOf(sought.value, editor.selectionEnd) : -1;
  if (at < 0 && sought.value) at = text.indexOf(sought.value);
  if (at < 0) {
    notFound();
    return;
  }
  // In the text, where a selection shows: F3 there goes on to the next.
  editor.focus();
  editor.setSelectionRange(at, at + sought.value.length);
  reveal(at);
  const { line, column } = lineAndColumn(at);
  say(`Achado na linha ${line}, coluna ${column}.`);
}

searchButton.addEventListener("click", () => (search.hidden ? openSearch() : closeSearch()));
document.getElementById("fechar-procura").addEventListener("click", closeSearch);
search.addEventListener("keydown", (event) => {
  if (event.key === "Escape" || (event.key === "Enter" && event.target === sought)) {
    event.preventDefault();
    if (event.key === "Escape") closeSearch(); else findNext();
  }
});
document.getElementById("substituir-todos").addEventListener("click", () => {
  const parts = sought.value ? editor.value.split(sought.value) : [];
  if (parts.length < 2) {
    notFound();
    return;
  }
  note = parts.length === 2 ? "1 trecho substituido. " : `${parts.length - 1} trechos substituidos. `;
  edit(parts.join(replacement.value));
});
editor.addEventListener("scroll", drawMargin);
new ResizeObserver(drawMargin).observe(editor);

function saveInto(handle, written) {
  place = handle;
  placeWritten = written;
  saveButton.textContent = handle ? `Salvar em ${handle.name}` : "Salvar como NSuica.in";
  downloadButton.hidden = true;
}

// Why a write failed, by the name of the browser's error.
const WRITE_FAULTS = {
  NotAllowedError: "o navegador nao deu permissao para gravar nele",
  NotFoundError: "ele nao existe mais",
  NoModificationAllowedError: "ele esta aberto em outro programa, ou so pode ser lido",
  QuotaExceededError: "nao ha espaco no disco",
};

// Saves the text into its file where the browser gives one, asking where at the first save of
// a text that has none; elsewhere, downloads it.
async function save() {
  const made = edits;
  const bytes = bytesOfText();
  if (place === null && typeof showSaveFilePicker === "function") {
    try {
      saveInto(await showSaveFilePicker({ suggestedName: "NSuica.in" }), null);
    } catch (error) {
      if (error.name === "AbortError") {
        say("Nada foi salvo: o texto continua aqui, sem salvar.");
        return;
      }
      download(bytes, made);  // a picker that the browser refuses here
      return;
    }
  }
  if (place === null) {
    download(bytes, made);
    return;
  }
  const handle = place;
  try {
    const allowed = handle.requestPermission ?
      await handle.requestPermission({ mode: "readwrite" }) : "granted";
    if (allowed !== "granted") throw new DOMException("", "NotAllowedError");
    const written = (await handle.getFile()).lastModified;
    if (placeWritten !== null && written !== placeWritten && !confirm(`O arquivo ${handle.name} ` +
      "mudou depois que a pagina o leu: outro programa o gravou. Gravar o texto por cima?")) {
      say(`Nada foi salvo: o arquivo ${handle.name} ficou como o outro programa o deixou, e o ` +
        "texto continua aqui, sem salvar.");
      return;
    }
    // The browser writes into a copy, and puts it in the file's place only once it is whole.
    const copy = await handle.createWritable();
    try {
      await copy.write(bytes);
      await copy.close();
    } catch (error) {
      await copy.abort().catch(() => {});
      throw error;
    }
  } catch (error) {
    say(`O texto nao foi salvo no arquivo ${handle.name}: ` +
      `${WRITE_FAULTS[error.name] ?? "o navegador nao conseguiu grava-lo"}. O texto continua ` +
      "aqui, sem salvar; \"Baixar o texto\" o grava na pasta de downloads.");
    downloadButton.hidden = false;
    return;
  }
  placeWritten = await handle.getFile().then((file) => file.lastModified, () => null);
  saved(made);
  say(`O texto foi salvo no arquivo ${handle.name}.`);
}

function download(bytes, made) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
  link.download = "NSuica.in";
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  saved(made);
  say("O texto foi salvo como NSuica.in, na pasta de downloads do navegador. Se ja havia ali " +
    "um NSuica.in, o navegador chama o novo de NSuica(1).in ou NSuica (1).in: renomeie-o para " +
    "NSuica.in ao move-lo para a pasta do programa.");
}

function saved(made) {
  unsaved = edits !== made;
  downloadButton.hidden = true;
}

saveButton.addEventListener("click", () => {
  if (saving) return;
  saving = true;
  save().finally(() => (saving = false));
});
downloadButton.addEventListener("click", () => download(bytesOfText(), edits));

addEventListener("beforeunload", (event) => {
  if (!unsaved) return;
  event.preventDefault();
  event.returnValue = "";
});

countLines();
