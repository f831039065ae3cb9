// The page's worker: runs the program once for each message, as NSuica.in in its current
// folder, in a UTF-8 locale, with standard input at its end, and answers with every byte that
// it printed and its exit status, under the message's `id`.
// - A chosen file comes as `file`, and is read where it lies, a slice at a time: never copied
//   whole. WebKit lets a page opened from disk read the chosen file, but its worker no file at
//   all: the worker then asks for the file's bytes, and runs on them where they are.
// - The editor's text comes as `bytes` with `list`: the program's second entry point first lists
//   every fault of it (`faults`, its lines as nsuica_faults writes them), and says whether it is
//   text that an editor can show (`text`).
onmessage = ({ data: { id, file, bytes, asked, list } }) => {
  if (!bytes && !asked && !readable(file)) {
    postMessage({ id, unreadable: true });
    return;
  }
  const printed = [];
  let faults = null;
  let text = true;
  const program = {
    preRun: [({ FS, ENV }) => {
      FS.init(() => null, (byte) => printed.push(byte), (byte) => printed.push(byte));
      ENV.LANG = "C.UTF-8";
      const { WORKERFS } = FS.filesystems;
      // A file that the browser can no longer read (changed or removed since it was chosen)
      // is a failed read, which the program reports, not a crash.
      const read = WORKERFS.stream_ops.read;
      WORKERFS.stream_ops.read = (...args) => {
        try {
          return read(...args);
        } catch {
          throw new FS.ErrnoError(29);  // EIO
        }
      };
      FS.mkdir("/entrada");
      if (bytes) {
        FS.writeFile("/entrada/NSuica.in", new Uint8Array(bytes), { canOwn: true });
      } else {
        FS.mount(WORKERFS, { blobs: [{ name: "NSuica.in", data: file }] }, "/entrada");
      }
      FS.chdir("/entrada");
    }],
    // After the program's start-up and before its main: the list reads the file that the
    // program then reads.
    onRuntimeInitialized: () => {
      if (!list) return;
      text = program._nsuica_faults() === 1;
      faults = program.FS.readFile("/faltas");
    },
    onExit: (status) => postMessage({ id, output: new Uint8Array(printed), status, faults, text },
      faults ? [faults.buffer] : []),
    onAbort: () => postMessage({ id, failed: true }),
  };
  nsuica(program);
};

function readable(file) {
  try {
    new FileReaderSync().readAsArrayBuffer(file.slice(0, 1));
    return true;
  } catch {
    return false;
  }
}
