// SPDX-License-Identifier: Apache-2.0
// How long a page of `kestrel report` takes in headless Chromium: from the
// start of navigation to the first frame painted after the page's script
// has run, and from choosing a frame to the next paint. Each run opens the
// page afresh in one browser and chooses frames spread over the clip (the
// first, a quarter in, the middle, three quarters in, the last).
//
//   node bench/page_timing.mjs NODE_DIR PAGE.html [RUNS]
//
// NODE_DIR holds node_modules/playwright-core (tests/report/package.json
// installed with `npm ci`); the browser is the system's Chromium
// (KESTREL_CHROMIUM, default /usr/bin/chromium). Prints one JSON object:
// {"frames", "bytes", "first_paint_ms": [per run], "choose_ms": [per run,
// per frame]}. Exits 1 when the page has a script error or cannot be opened.
import { createRequire } from "node:module";
import { mkdtempSync, rmSync, statSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [nodeDir, pagePath, runsText = "3"] = process.argv.slice(2);
if (!nodeDir || !pagePath) {
  console.error("usage: node page_timing.mjs NODE_DIR PAGE.html [RUNS]");
  process.exit(2);
}
const { chromium } = createRequire(path.join(path.resolve(nodeDir), "package.json"))("playwright-core");
const runs = Math.max(1, Number.parseInt(runsText, 10) || 3);

const profile = mkdtempSync(path.join(tmpdir(), "kestrel-page-timing-"));
const browser = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.KESTREL_CHROMIUM || "/usr/bin/chromium",
  headless: true,
  viewport: { width: 1440, height: 1200 },
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
const result = { frames: 0, bytes: statSync(pagePath).size, first_paint_ms: [], choose_ms: [] };
const errors = [];
try {
  for (let run = 0; run < runs; run++) {
    const page = await browser.newPage();
    page.on("pageerror", (e) => errors.push(String(e)));
    await page.goto(pathToFileURL(path.resolve(pagePath)).href);
    // performance.now() counts from the start of navigation.
    result.first_paint_ms.push(await page.evaluate(() => new Promise(
      (r) => requestAnimationFrame(() => setTimeout(() => r(performance.now()))))));
    result.frames = await page.evaluate(() => window.kestrelReport.data.frames.frame.length);
    const n = result.frames;
    const chosen = [0, Math.floor(n / 4), Math.floor(n / 2), Math.floor((3 * n) / 4), n - 1];
    const times = [];
    for (const frame of chosen) {
      times.push(await page.evaluate((f) => new Promise((r) => {
        const t0 = performance.now();
        window.kestrelReport.choose(f);
        requestAnimationFrame(() => setTimeout(() => r(performance.now() - t0)));
      }), frame));
    }
    result.choose_ms.push(times);
    await page.close();
  }
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
if (errors.length) {
  console.error(`page_timing.mjs: ${pagePath}: ${errors.join("; ")}`);
  process.exit(1);
}
console.log(JSON.stringify(result));
