// The page's worker (web/worker.js) under Node, given a file as the editor's text: prints its
// answer as JSON, the program's output and the fault list as latin-1 strings.
// Usage: node page_faults.mjs PAGE_PROGRAM WORKER_SCRIPT FILE
import { readFileSync, writeSync } from "node:fs";
import { createRequire } from "node:module";
import { resolve } from "node:path";
import vm from "node:vm";

const [program, script, file] = process.argv.slice(2);
const nsuica = createRequire(import.meta.url)(resolve(program));
const text = (bytes) => bytes && Buffer.from(bytes).toString("latin1");
const worker = vm.createContext({
  // The program's exit ends its run, not Node.
  nsuica: (module) => nsuica(Object.assign(module, { quit: (status, thrown) => { throw thrown; } })),
  postMessage: (answer) => writeSync(1, JSON.stringify({ ...answer, output: text(answer.output),
    faults: text(answer.faults) })),
});
vm.runInContext(readFileSync(script, "utf8"), worker);
const bytes = readFileSync(file);
worker.onmessage({ data: { id: 1, bytes: bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length), list: true } });
