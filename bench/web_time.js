// Times window.lz16.pack in the web page, in headless Chromium: the files are
// handed to the page once, then packed RUNS times with ARGS (JSON); prints
// each run's milliseconds, as the page measures them, one a line.
//
//   node bench/web_time.js PAGE RUNS ARGS FILE...
"use strict";
const fs = require("fs");
const path = require("path");
const puppeteer = require("puppeteer-core");

(async () => {
  const [page_, runs, args, ...files] = process.argv.slice(2);
  const browser = await puppeteer.launch({executablePath: process.env.CHROMIUM || "/usr/bin/chromium", headless: true,
                                          args: ["--no-sandbox"]});
  const page = await browser.newPage();
  await page.goto("file://" + path.resolve(page_));
  await page.waitForFunction(() => window.lz16 && window.lz16.pack);
  for (const f of files)
    await page.evaluate((name, b64) => {
      (window.benchFiles = window.benchFiles || []).push({name, data: Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))});
    }, path.basename(f), fs.readFileSync(f).toString("base64"));
  for (let k = 0; k < Number(runs); ++k) {
    const ms = await page.evaluate(async (args) => {
      const start = performance.now();
      const r = await window.lz16.pack(window.benchFiles, args);
      if (r.status !== 0) throw new Error(r.stderr);
      return performance.now() - start;
    }, JSON.parse(args));
    console.log(ms.toFixed(1));
  }
  await browser.close();
})().catch((e) => {
  console.error(String(e.stack || e));
  process.exit(1);
});
