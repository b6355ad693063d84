// The page: files in, lz16pack's arguments from the form, the run in a
// worker, and what it gives back shown and offered for download. Every rule
// is lz16pack's own: the page only builds its command line and shows its
// outputs, its lines and its --html page.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);
  const form = $("options");
  const workerUrl = URL.createObjectURL(new Blob([$("worker-source").textContent], {type: "text/javascript"}));
  let worker = null;
  let nextId = 1;
  const waiting = new Map();  // id -> {resolve, reject, progress}

  function startWorker() {
    worker = new Worker(workerUrl);
    worker.onmessage = (e) => {
      const job = waiting.get(e.data.id);
      if (!job) return;
      if (e.data.progress) return job.progress(e.data.progress);
      waiting.delete(e.data.id);
      if (e.data.failure) {
        restartWorker();  // its memory may be in any state
        job.reject(new Error(e.data.failure));
      } else {
        job.resolve(e.data.result);
      }
    };
  }

  function restartWorker() {
    if (worker) worker.terminate();
    for (const job of waiting.values()) job.reject(new Error("cancelled"));
    waiting.clear();
    startWorker();
  }

  function ask(message, progress) {
    return new Promise((resolve, reject) => {
      const id = nextId++;
      waiting.set(id, {resolve, reject, progress: progress || (() => {})});
      worker.postMessage({id, ...message});
    });
  }

  // lz16pack ARGS -o DIR FILES: {files: {NAME: Uint8Array}, stderr, stdout, status}, names relative to DIR.
  // With options.preview, also the batch's --html page as text (result.preview), outside the outputs.
  // options.progress(done, total, name) is called as each input is started.
  function pack(files, args, options = {}) {
    const copies = files.map((f) => ({name: f.name, data: new Uint8Array(f.data)}));
    return ask({files: copies, args: [...args], preview: !!options.preview},
               (p) => options.progress && options.progress(p.done, p.total, p.name));
  }

  // Outputs as one zip file (a Uint8Array).
  function zip(files) {
    return ask({zip: files});
  }

  window.lz16 = {pack, zip};
  startWorker();

  // The form: each control is an option of lz16pack, remembered between visits.
  const remembered = "lz16pack-options";
  const textOptions = ["index", "budget", "key", "background", "frames", "fit", "fill", "resize"];
  const selectOptions = ["format", "anchor", "filter", "rotate", "flip"];
  const flagOptions = ["join-frames", "preview", "alpha", "mask", "round", "dither", "enlarge", "trim"];
  const defaults = {format: "lz", anchor: "centre", filter: "smooth", rotate: "0", flip: ""};

  function formValues() {
    const v = {};
    for (const n of textOptions) v[n] = form.elements[n].value.trim();
    for (const n of selectOptions) v[n] = form.elements[n].value;
    for (const n of [...flagOptions, "report", "html"]) v[n] = form.elements[n].checked;
    return v;
  }

  function setForm(v) {
    for (const n of textOptions) form.elements[n].value = v[n] || "";
    for (const n of selectOptions) form.elements[n].value = v[n] !== undefined ? v[n] : defaults[n];
    for (const n of [...flagOptions, "report", "html"]) form.elements[n].checked = !!v[n];
  }

  // The arguments the form says, leaving out what is lz16pack's default anyway.
  function argsOf(v) {
    const args = [];
    for (const n of selectOptions) if (v[n] !== defaults[n]) args.push("--" + n, v[n]);
    for (const n of textOptions) if (v[n] !== "") args.push("--" + n, v[n]);
    for (const n of flagOptions) if (v[n]) args.push("--" + n);
    if (v.report) args.push("--report", "report.json");
    if (v.html) args.push("--html", "report.html");
    const manifest = inputs.find((f) => /\.toml$/i.test(f.name));
    if (manifest) args.push("--manifest", manifest.name);
    return args;
  }

  function formChanged() {
    const v = formValues();
    try {
      localStorage.setItem(remembered, JSON.stringify(v));
    } catch (e) {
      // storage may be off (private windows): the form still works
    }
    $("args").textContent = [...argsOf(v), "-o", "OUT", ...(argsOf(v).includes("--manifest") ? [] : ["FILES"])].join(" ");
  }

  try {
    setForm(JSON.parse(localStorage.getItem(remembered) || "{}"));
  } catch (e) {
    setForm({});
  }
  form.addEventListener("input", formChanged);
  form.addEventListener("change", formChanged);
  $("reset").addEventListener("click", () => { setForm({}); formChanged(); });

  // The files: dropped or picked, each with its line from the last run.
  let inputs = [];  // [{name, data: Uint8Array}]
  const fileLines = new Map();

  function showFiles() {
    const list = $("files");
    list.textContent = "";
    for (const f of inputs) {
      const li = document.createElement("li");
      const name = document.createElement("span");
      name.className = "name";
      name.textContent = f.name + " (" + f.data.length + " bytes)";
      li.appendChild(name);
      const line = fileLines.get(f.name);
      if (line) {
        const note = document.createElement("span");
        note.className = line.error ? "error" : "line";
        note.textContent = line.text;
        li.appendChild(note);
      }
      list.appendChild(li);
    }
    $("convert").disabled = inputs.length === 0;
    formChanged();
  }

  async function addFiles(list) {
    const unread = [];
    for (const file of list) {
      let data;
      try {
        data = new Uint8Array(await file.arrayBuffer());
      } catch (e) {
        unread.push(file.name);  // a folder, or a file gone since it was dropped
        continue;
      }
      inputs = inputs.filter((f) => f.name !== file.name);
      inputs.push({name: file.name, data});
    }
    fileLines.clear();
    showFiles();
    $("status").textContent = unread.length ? "cannot read " + unread.join(", ") + " (folders are not taken: drop their files)" : "";
  }

  const drop = $("drop");
  drop.addEventListener("dragover", (e) => { e.preventDefault(); drop.classList.add("over"); });
  drop.addEventListener("dragleave", () => drop.classList.remove("over"));
  drop.addEventListener("drop", (e) => {
    e.preventDefault();
    drop.classList.remove("over");
    addFiles([...e.dataTransfer.files]);
  });
  $("pick").addEventListener("change", (e) => { addFiles([...e.target.files]); e.target.value = ""; });
  $("clear").addEventListener("click", () => { inputs = []; fileLines.clear(); showFiles(); });

  // A run: its progress, then its lines beside the files, its outputs and its page.
  let outputs = {};
  let page = "";

  function download(name, bytes, type) {
    const a = document.createElement("a");
    a.href = URL.createObjectURL(new Blob([bytes], {type: type || "application/octet-stream"}));
    a.download = name.replace(/\//g, "_");
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  }

  function showPreview() {
    const z = Number($("zoom").value);
    $("zoomed").textContent = z + "x";
    $("preview").srcdoc = page ? page.replace("</head>", "<style>img{zoom:" + z + "}</style></head>") : "";
  }
  $("zoom").addEventListener("input", showPreview);

  // Each line of standard error that names an input goes beside it: "lz16pack: NAME: error", or its report line.
  function noteLines(stderr) {
    fileLines.clear();
    for (const line of stderr.split("\n")) {
      for (const f of inputs) {
        if (line.startsWith("lz16pack: " + f.name + ": ")) {
          fileLines.set(f.name, {error: true, text: line.slice(10 + f.name.length + 2)});
        } else if (line.startsWith(f.name + ": ") && !fileLines.has(f.name)) {
          fileLines.set(f.name, {error: false, text: line.slice(f.name.length + 2)});
        }
      }
    }
  }

  $("convert").addEventListener("click", async () => {
    const args = argsOf(formValues());
    $("convert").disabled = true;
    $("cancel").disabled = false;
    $("status").textContent = "starting";
    $("progress").value = 0;
    const started = performance.now();
    try {
      const r = await pack(inputs, args, {
        preview: true,
        progress: (done, total, name) => {
          $("progress").max = total;
          $("progress").value = done;
          $("status").textContent = "[" + (done + 1) + "/" + total + "] " + name;
        },
      });
      outputs = r.files;
      page = r.preview || "";
      $("progress").value = $("progress").max;
      $("status").textContent = "done in " + ((performance.now() - started) / 1000).toFixed(1) + " s, exit status " + r.status;
      $("stderr").textContent = r.stderr + r.stdout;
      noteLines(r.stderr);
      const list = $("outputs");
      list.textContent = "";
      for (const [name, bytes] of Object.entries(outputs)) {
        const li = document.createElement("li");
        const b = document.createElement("button");
        b.type = "button";
        b.className = "download";
        b.textContent = name;
        b.addEventListener("click", () => download(name, bytes));
        li.append(b, " " + bytes.length + " bytes");
        list.appendChild(li);
      }
      $("zip").disabled = Object.keys(outputs).length === 0;
      $("results").hidden = false;
      showPreview();
    } catch (err) {
      $("status").textContent = err.message === "cancelled" ? "cancelled" : "failed: " + err.message;
    } finally {
      $("convert").disabled = inputs.length === 0;
      $("cancel").disabled = true;
      showFiles();
    }
  });
  $("cancel").addEventListener("click", restartWorker);
  $("zip").addEventListener("click", async () => {
    const r = await zip(outputs);
    if (r.zip) download("lz16-assets.zip", r.zip, "application/zip");
    else $("status").textContent = "the zip could not be made";
  });
  showFiles();
})();
