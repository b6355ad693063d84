// The page's worker: lz16pack's WebAssembly (createLz16Pack, just above in
// the same source) run on the files the page sends, one batch at a time, in
// an in-memory file system made afresh for each. Progress is read from the
// progress line lz16pack writes on a terminal and taken out of standard
// error, which is handed back as lz16pack would print it into a file.
"use strict";

let runtime = null;  // the module, once instantiated
let stderr = [];     // bytes of standard error, without the progress line
let stdout = [];
let control = null;  // bytes of a progress line being read, or null
let onProgress = () => {};

// Standard error a byte at a time: "\r[K/N] INPUT\x1b[K" is progress, "\r\x1b[K" clears it.
function errorByte(c) {
  if (c === null) return;
  if (control === null && c === 13) {
    control = [];
    return;
  }
  if (control === null) {
    stderr.push(c);
    return;
  }
  control.push(c);
  const n = control.length;
  if (n >= 3 && control[n - 3] === 27 && control[n - 2] === 91 && control[n - 1] === 75) {
    const text = new TextDecoder().decode(new Uint8Array(control.slice(0, n - 3)));
    const m = /^\[(\d+)\/(\d+)\] (.*)$/s.exec(text);
    if (m) onProgress(Number(m[1]) - 1, Number(m[2]), m[3]);
    control = null;
  }
}

async function load() {
  if (!runtime) {
    runtime = createLz16Pack({
      preRun: [(m) => m.FS.init(null, (c) => c !== null && stdout.push(c), errorByte)],
    });
  }
  return runtime;
}

function removeTree(FS, path) {
  if (!FS.analyzePath(path).exists) return;
  for (const name of FS.readdir(path)) {
    if (name === "." || name === "..") continue;
    const child = path + "/" + name;
    if (FS.isDir(FS.stat(child).mode)) removeTree(FS, child);
    else FS.unlink(child);
  }
  FS.rmdir(path);
}

function makeParents(FS, path) {
  const parts = path.split("/").slice(0, -1);
  let at = "";
  for (const part of parts) {
    at += "/" + part;
    if (!FS.analyzePath(at).exists) FS.mkdir(at);
  }
}

function collect(FS, dir, prefix, into) {
  for (const name of FS.readdir(dir).sort()) {
    if (name === "." || name === "..") continue;
    const path = dir + "/" + name;
    if (FS.isDir(FS.stat(path).mode)) collect(FS, path, prefix + name + "/", into);
    else into[prefix + name] = FS.readFile(path);
  }
}

function cString(m, text) {
  const size = m.lengthBytesUTF8(text) + 1;
  const p = m._malloc(size);
  m.stringToUTF8(text, p, size);
  return p;
}

// A file's name as given, made a path inside the batch's folder: no leading
// "/", no "." or ".." part.
function inside(name) {
  return name.split(/[\\/]+/).filter((p) => p !== "" && p !== "." && p !== "..").join("/") || "unnamed";
}

// lz16pack ARGS -o out INPUTS on files [{name, data}], in a folder of the
// files: the inputs are the files, unless ARGS name a manifest, which names
// its own. With preview, also the --html page of the batch (kept out of the
// outputs).
async function pack(files, args, preview) {
  const m = await load();
  const FS = m.FS;
  removeTree(FS, "/job");
  FS.mkdir("/job");
  FS.mkdir("/job/in");
  const names = [];
  for (const f of files) {
    const name = inside(f.name);
    makeParents(FS, "/job/in/" + name);
    FS.writeFile("/job/in/" + name, f.data);
    names.push(name);
  }
  FS.chdir("/job/in");
  const manifest = args.some((a) => a === "--manifest" || a.startsWith("--manifest="));
  const argv = ["lz16pack", ...args, ...(preview ? ["--html", "/job/preview.html"] : []), "-o", "out",
    ...(manifest ? [] : names)];
  stderr = [];
  stdout = [];
  control = null;
  // argv as C strings on the module's heap
  const pointers = argv.map((a) => cString(m, a));
  const table = m._malloc(4 * (argv.length + 1));
  pointers.forEach((p, k) => m.HEAPU32[(table >> 2) + k] = p);
  m.HEAPU32[(table >> 2) + argv.length] = 0;
  let status;
  try {
    status = m._lz16_web_pack(argv.length, table);
  } finally {
    pointers.forEach((p) => m._free(p));
    m._free(table);
  }
  const out = {};
  if (FS.analyzePath("/job/in/out").exists) collect(FS, "/job/in/out", "", out);
  const result = {
    files: out,
    stderr: new TextDecoder().decode(new Uint8Array(stderr)),
    stdout: new TextDecoder().decode(new Uint8Array(stdout)),
    status,
  };
  if (preview && FS.analyzePath("/job/preview.html").exists) result.preview = FS.readFile("/job/preview.html", {encoding: "utf8"});
  FS.chdir("/");
  removeTree(FS, "/job");
  return result;
}

// Files {NAME: Uint8Array} as one zip file: {zip: Uint8Array}, or {} where it cannot be made.
async function zip(files) {
  const m = await load();
  const FS = m.FS;
  removeTree(FS, "/zip");
  FS.mkdir("/zip");
  FS.mkdir("/zip/in");
  for (const [name, data] of Object.entries(files)) {
    makeParents(FS, "/zip/in/" + inside(name));
    FS.writeFile("/zip/in/" + inside(name), data);
  }
  const dir = cString(m, "/zip/in"), path = cString(m, "/zip/all.zip");
  const made = m._lz16_web_zip(dir, path) === 0;
  m._free(dir);
  m._free(path);
  const result = made ? {zip: FS.readFile("/zip/all.zip"), files: {}} : {files: {}};
  removeTree(FS, "/zip");
  return result;
}

if (typeof self !== "undefined" && typeof importScripts === "function") {
  self.onmessage = async (e) => {
    const {id, files, args, preview} = e.data;
    onProgress = (done, total, name) => self.postMessage({id, progress: {done, total, name}});
    try {
      const result = e.data.zip ? await zip(e.data.zip) : await pack(files, args, preview);
      self.postMessage({id, result}, Object.values(result.files).map((a) => a.buffer));
    } catch (err) {
      // lz16pack itself failed (out of memory, most likely): the worker is not to be used again
      self.postMessage({id, failure: String(err && err.message || err)});
    }
  };
} else if (typeof module !== "undefined") {
  module.exports = {pack, zip};
}
