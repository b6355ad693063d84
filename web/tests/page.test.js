// Drives the web page in headless Chromium (puppeteer-core): window.lz16.pack
// gives native lz16pack's outputs, byte for byte, with its exit status and
// lines, on every batch and option set below; the page's own flow works
// (files picked, previews, downloads, a bad file's error beside it, cancel,
// options remembered); and the page asks the network for nothing.
//
//   node page.test.js PAGE LZ16PACK WORK SCREENSHOT BATCH_DIR...
//
// Each BATCH_DIR is a folder of inputs converted as one batch. Prints a line
// a case and exits 1 on any difference.
"use strict";
const fs = require("fs");
const path = require("path");
const {execFileSync, spawnSync} = require("child_process");
const puppeteer = require("puppeteer-core");

const [pagePath, lz16packGiven, work, screenshot, ...batches] = process.argv.slice(2);
const lz16pack = path.resolve(lz16packGiven);
const pageUrl = "file://" + path.resolve(pagePath);
let failures = 0;

function fail(what) {
  failures++;
  console.log("FAIL " + what);
}

function filesIn(dir) {
  return fs.readdirSync(dir).sort().filter((n) => fs.statSync(path.join(dir, n)).isFile());
}

// Every file under dir: {relative name: Buffer}.
function tree(dir, prefix = "", into = {}) {
  if (!fs.existsSync(dir)) return into;
  for (const name of fs.readdirSync(dir).sort()) {
    const p = path.join(dir, name);
    if (fs.statSync(p).isDirectory()) tree(p, prefix + name + "/", into);
    else into[prefix + name] = fs.readFileSync(p);
  }
  return into;
}

// Native lz16pack on the batch, as the page runs it: in a folder of the
// inputs, with -o out. Its outputs, lines and status.
function native(dir, args, inputs) {
  const at = fs.mkdtempSync(path.join(work, "native-"));
  for (const name of fs.readdirSync(dir)) fs.symlinkSync(path.resolve(dir, name), path.join(at, name));
  const manifest = args.includes("--manifest");
  const r = spawnSync(lz16pack, ["-j1", ...args, "-o", "out", ...(manifest ? [] : inputs)], {cwd: at});
  const result = {files: tree(path.join(at, "out")), stderr: r.stderr.toString(), status: r.status};
  fs.rmSync(at, {recursive: true});
  return result;
}

async function webPack(page, dir, inputs, args) {
  const files = inputs.map((n) => ({name: n, b64: fs.readFileSync(path.join(dir, n)).toString("base64")}));
  const r = await page.evaluate(async (files, args) => {
    const bytes = (b64) => Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const text = (a) => {
      let s = "";
      for (let k = 0; k < a.length; k += 0x8000) s += String.fromCharCode.apply(null, a.subarray(k, k + 0x8000));
      return btoa(s);
    };
    const r = await window.lz16.pack(files.map((f) => ({name: f.name, data: bytes(f.b64)})), args);
    const out = {};
    for (const [name, data] of Object.entries(r.files)) out[name] = text(data);
    return {files: out, stderr: r.stderr, status: r.status};
  }, files, args);
  const out = {};
  for (const [name, b64] of Object.entries(r.files)) out[name] = Buffer.from(b64, "base64");
  return {files: out, stderr: r.stderr, status: r.status};
}

function compare(label, want, got) {
  const names = (o) => Object.keys(o).sort().join(" ");
  if (names(want.files) !== names(got.files)) return fail(`${label}: outputs ${names(got.files)}, natively ${names(want.files)}`);
  for (const name of Object.keys(want.files))
    if (!want.files[name].equals(got.files[name])) return fail(`${label}: ${name} differs from native`);
  if (want.status !== got.status) return fail(`${label}: status ${got.status}, natively ${want.status}`);
  if (want.stderr !== got.stderr) return fail(`${label}: lines differ:\n${got.stderr}\nnatively:\n${want.stderr}`);
  console.log(`same   ${label}: ${Object.keys(want.files).length} files, status ${want.status}`);
}

// Option sets run on every batch; most images take most, and where one is refused the refusal is compared too.
const optionSets = [
  [],
  ["-f", "c", "--alpha", "--index", "assets.h", "--report", "report.json"],
  ["-f", "lvgl", "--alpha", "--trim"],
  ["-f", "c", "--alpha", "--join-frames", "--index", "all.h"],
  ["-f", "h", "--mask"],
  ["--round", "--dither", "--fit", "40x40", "--filter", "smooth", "--rotate", "90", "--flip", "h", "--preview"],
  ["-f", "c", "--key", "ff00ff", "--background", "203050", "--fill", "32x32", "--anchor", "top-left", "--budget", "4K"],
  ["--resize", "50%", "--filter", "nearest", "--html", "page.html", "-q"],
  ["--frames", "8x8", "-f", "c"],  // refused for a batch with an image of another size: the same refusal
];

async function main() {
  fs.mkdirSync(work, {recursive: true});
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox"],
  });
  const page = await browser.newPage();
  const requests = [];
  page.on("request", (r) => { if (!/^(data|blob|about):/.test(r.url()) && r.url() !== pageUrl) requests.push(r.url()); });
  page.on("pageerror", (e) => fail("page error: " + e.message));
  await page.goto(pageUrl);
  await page.waitForFunction(() => window.lz16 && window.lz16.pack);

  // 1. The same bytes as native lz16pack.
  for (const dir of batches) {
    const inputs = filesIn(dir).filter((n) => !n.endsWith(".toml"));
    const manifests = filesIn(dir).filter((n) => n.endsWith(".toml"));
    for (const args of optionSets) {
      const label = `${path.basename(dir)} [${args.join(" ")}]`;
      compare(label, native(dir, args, inputs), await webPack(page, dir, inputs, args));
    }
    for (const m of manifests) {
      const args = ["--manifest", m];
      compare(`${path.basename(dir)} [${args.join(" ")}]`, native(dir, args, inputs),
              await webPack(page, dir, [...inputs, ...manifests], args));
    }
  }

  // 2. The page as a user meets it: options set, files picked (one of them no image), converted.
  const dir = batches[0];
  const shown = filesIn(dir).filter((n) => /\.(png|gif)$/.test(n)).slice(0, 4);
  const bad = path.join(work, "notes.png");
  fs.writeFileSync(bad, "these are notes, not a picture\n");
  const client = await page.createCDPSession();
  const downloads = path.join(work, "downloads");
  fs.rmSync(downloads, {recursive: true, force: true});
  fs.mkdirSync(downloads);
  await client.send("Browser.setDownloadBehavior", {behavior: "allow", downloadPath: downloads});
  await page.evaluate(() => localStorage.clear());
  await page.reload();
  await page.setViewport({width: 1100, height: 1900});
  await page.select("select[name=format]", "c");
  await page.click("input[name=alpha]");
  const args = await page.$eval("#args", (e) => e.textContent);
  if (args !== "--format c --alpha -o OUT FILES") fail(`the form says lz16pack ${args}`);
  const pick = await page.$("#pick");
  await pick.uploadFile(...shown.map((n) => path.join(dir, n)), bad);
  await page.waitForFunction((n) => document.querySelectorAll("#files li").length === n, {}, shown.length + 1);
  await page.click("#convert");
  await page.waitForFunction(() => /^done/.test(document.getElementById("status").textContent), {timeout: 120000});
  const lines = await page.$$eval("#files li", (lis) => lis.map((li) => ({
    name: li.querySelector(".name").textContent, error: li.querySelector(".error") && li.querySelector(".error").textContent,
    line: li.querySelector(".line") && li.querySelector(".line").textContent})));
  for (const l of lines) {
    const isBad = l.name.startsWith("notes.png");
    if (isBad && !(l.error && /notes\.png|not|PNG|image/i.test(l.error))) fail(`no error beside the bad file: ${JSON.stringify(l)}`);
    if (!isBad && !(l.line && /verified/.test(l.line))) fail(`no report line beside ${l.name}: ${JSON.stringify(l)}`);
  }
  const want = native(dir, ["--format", "c", "--alpha"], shown);
  const listed = await page.$$eval("#outputs button", (bs) => bs.map((b) => b.textContent));
  if (listed.sort().join(" ") !== Object.keys(want.files).sort().join(" ")) fail(`outputs listed: ${listed}`);
  // The previews: the --html page, each asset's source and picture, zoomable.
  const frame = await (await page.$("#preview")).contentFrame();
  await frame.waitForFunction((n) => [...document.images].filter((i) => i.complete && i.naturalWidth > 0).length >= n,
                              {timeout: 20000}, 2 * shown.length);
  await page.$eval("#zoom", (z) => { z.value = "3"; z.dispatchEvent(new Event("input")); });
  await (await (await page.$("#preview")).contentFrame()).waitForFunction(() => document.images.length && getComputedStyle(document.images[0]).zoom === "3");
  // Downloads: one output, and the zip of them all.
  const first = listed[0];
  await page.evaluate((n) => [...document.querySelectorAll("#outputs button")].find((b) => b.textContent === n).click(), first);
  await page.click("#zip");
  const deadline = Date.now() + 20000;
  while (Date.now() < deadline && !(fs.existsSync(path.join(downloads, first)) && fs.existsSync(path.join(downloads, "lz16-assets.zip"))))
    await new Promise((r) => setTimeout(r, 100));
  if (!fs.existsSync(path.join(downloads, first)) || !fs.readFileSync(path.join(downloads, first)).equals(want.files[first]))
    fail(`the download of ${first} is not native lz16pack's`);
  else console.log(`same   download ${first}`);
  const unzip = path.join(work, "unzipped");
  fs.rmSync(unzip, {recursive: true, force: true});
  try {
    execFileSync("python3", ["-c", "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])",
                             path.join(downloads, "lz16-assets.zip"), unzip]);
    compare("the zip of every output", want, {files: tree(unzip), stderr: want.stderr, status: want.status});
  } catch (e) {
    fail("the zip cannot be read: " + e.message);
  }
  await page.screenshot({path: screenshot, fullPage: false});
  // The screenshot shows the page: many colours where the previews are, not a blank.
  const colours = await page.evaluate(async (b64) => {
    const img = new Image();
    img.src = "data:image/png;base64," + b64;
    await img.decode();
    const c = document.createElement("canvas");
    c.width = img.width;
    c.height = img.height;
    const g = c.getContext("2d");
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, c.width, c.height).data;
    const seen = new Set();
    for (let k = 0; k < d.length; k += 4) seen.add(d[k] << 16 | d[k + 1] << 8 | d[k + 2]);
    return seen.size;
  }, fs.readFileSync(screenshot).toString("base64"));
  if (colours < 100) fail(`the screenshot has ${colours} colours: the page is not drawn`);
  else console.log(`shown  screenshot ${screenshot}, ${colours} colours`);

  // 3. Options are remembered; a long batch can be cancelled, and the page converts again after.
  await page.reload();
  const kept = await page.$eval("select[name=format]", (s) => s.value) + " " + await page.$eval("input[name=alpha]", (c) => c.checked);
  if (kept !== "c true") fail(`options after a reload: ${kept}`);
  const big = path.join(work, "big.ppm");
  execFileSync("convert", ["-size", "1600x1600", "plasma:", "-depth", "8", big]);
  await (await page.$("#pick")).uploadFile(...Array.from({length: 6}, (_, k) => {
    const p = path.join(work, `big${k}.ppm`);
    fs.copyFileSync(big, p);
    return p;
  }));
  await page.waitForFunction(() => document.querySelectorAll("#files li").length === 6 && !document.getElementById("convert").disabled);
  await page.click("#convert");
  await page.waitForFunction(() => /^\[/.test(document.getElementById("status").textContent), {timeout: 60000});
  await page.click("#cancel");
  await page.waitForFunction(() => document.getElementById("status").textContent === "cancelled", {timeout: 10000});
  await page.click("#clear");
  await (await page.$("#pick")).uploadFile(path.join(dir, shown[0]));
  await page.waitForFunction(() => document.querySelectorAll("#files li").length === 1);
  await page.click("#convert");
  await page.waitForFunction(() => /^done/.test(document.getElementById("status").textContent), {timeout: 60000});
  console.log("works  after a cancelled batch");

  if (requests.length) fail(`the page asked the network for ${requests.join(", ")}`);
  else console.log("quiet  no request left the page");
  await browser.close();
  console.log(failures ? `${failures} FAILED` : "all the same");
  process.exit(failures ? 1 : 0);
}

main().catch((e) => {
  console.log("FAIL " + (e.stack || e));
  process.exit(1);
});
