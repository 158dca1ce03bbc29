// The pages of `kestrel report` as a display engineer sees them, in the
// system's Chromium: they load offline without an error, show one timeline
// per target, follow the chosen frame, flag exactly the planted jump, and
// show the numbers `kestrel lut` gives for the same frames.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { createRequire } from "node:module";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";

const work = process.env.KESTREL_REPORT_WORK;
const { chromium } = createRequire(path.join(work, "package.json"))("playwright-core");

let browser;  // one persistent context in a fresh profile
let profile;

before(async () => {
  profile = mkdtempSync(path.join(tmpdir(), "kestrel-chromium-"));
  // The profile directory becomes Chromium's --user-data-dir.
  browser = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.KESTREL_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    viewport: { width: 1440, height: 1200 },
    args: [
      "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
    ],
  });
});

after(async () => {
  await browser?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
});

// Opens a page and records every console error, script error and request.
async function open(name) {
  const page = await browser.newPage();
  const context = page;  // closing it closes the page
  const problems = [];
  const requests = [];
  page.on("console", (m) => { if (m.type() === "error") problems.push("console: " + m.text()); });
  page.on("pageerror", (e) => problems.push("script: " + e.message));
  page.on("request", (r) => requests.push(r.url()));
  const url = pathToFileURL(path.join(work, name)).href;
  await page.goto(url, { waitUntil: "load" });
  return { page, context, problems, requests, url };
}

async function chooseByTyping(page, frame) {
  await page.fill("#frame-input", String(frame));
  await page.dispatchEvent("#frame-input", "change");
}

test("the page of a real clip loads offline, with one timeline per target, and is kept as a screenshot", async () => {
  const { page, context, problems, requests, url } = await open("regular.html");
  assert.deepEqual(problems, []);
  assert.deepEqual(requests.filter((r) => r !== url), [], "requests leaving the file");
  const timelines = await page.$$eval("svg.timeline", (s) => s.map((e) => e.getAttribute("data-target")));
  assert.deepEqual(timelines, ["400", "600", "1000"]);
  assert.equal(await page.locator("svg.error-timeline").count(), 3);
  assert.equal(await page.locator("svg.curves").count(), 3);
  await page.screenshot({ path: path.join(work, "report-regular.png"), fullPage: true });
  await context.close();
});

test("clicking a frame on a timeline shows that frame's curve and 33 points for every target", async () => {
  const { page, context, problems } = await open("regular.html");
  const hit = page.locator("svg.timeline[data-target='600'] rect.frame-hit");
  await hit.scrollIntoViewIfNeeded();
  const box = await hit.boundingBox();
  const frames = await page.evaluate(() => window.kestrelReport.data.frames.map((f) => f.frame));
  const first = frames[0] - 0.5, last = frames[frames.length - 1] + 0.5;
  const x = box.x + (100 - first) / (last - first) * box.width;
  await page.mouse.click(x, box.y + box.height / 2);
  assert.equal(await page.inputValue("#frame-input"), "100");
  const headings = await page.$$eval("h3.chosen-frame", (h) => h.map((e) => e.getAttribute("data-frame")));
  assert.deepEqual(headings, ["100", "100", "100"]);
  const curves = await page.$$eval("g.chosen-curve", (g) => g.map((e) => [e.getAttribute("data-frame"), e.querySelectorAll("path").length, e.querySelectorAll("circle.table-point").length]));
  for (const [frame, paths, dots] of curves) {
    assert.equal(frame, "100");
    assert.ok(paths >= 2, "the adapted curve and the interpolated table");
    assert.ok(dots > 10, "the table's points above the axis' start");
  }
  assert.equal(await page.locator("#target-600 table.points-table tbody tr").count(), 33);
  // On PQ code axes the page is drawn again and keeps the chosen frame;
  // 100 cd/m² is code 520 (519.76).
  await page.selectOption("#axes", "pq");
  assert.equal(await page.locator("svg.timeline").count(), 3);
  assert.equal(await page.getAttribute("#target-1000 h3.chosen-frame", "data-frame"), "100");
  const ticks = await page.$$eval("svg.timeline[data-target='600'] text", (t) => t.map((e) => e.textContent));
  assert.ok(ticks.includes("100 (520)"), ticks.join(" | "));
  assert.deepEqual(problems, []);
  await context.close();
});

test("the planted jump inside a scene is the only flagged frame; the cut after it is not", async () => {
  const { page, context, problems } = await open("planted.html");
  assert.deepEqual(problems, []);
  for (const target of ["400", "600", "1000"]) {
    const rows = await page.$$eval(`#target-${target} table.flagged-table tbody tr`, (r) => r.map((e) => e.getAttribute("data-frame")));
    assert.ok(rows.length > 0, `a flagged row at ${target}`);
    assert.deepEqual([...new Set(rows)], ["3"], `flagged rows at ${target}`);
    const marks = await page.$$eval(`#target-${target} path.flag-mark`, (m) => m.map((e) => e.getAttribute("data-frame")));
    assert.deepEqual([...new Set(marks)], ["3"], `marks at ${target}`);
    const cuts = await page.locator(`#target-${target} svg.timeline line.scene-cut`).count();
    assert.equal(cuts, 1, "one scene cut, before frame 6");
  }
  // Choosing from the table shows that frame.
  await page.click("#target-600 table.flagged-table tbody tr");
  assert.equal(await page.getAttribute("#target-1000 h3.chosen-frame", "data-frame"), "3");
  await context.close();
});

test("the table the page shows for a frame is the one `kestrel lut` prints", async () => {
  const { page, context } = await open("regular.html");
  for (const frame of [0, 3, 100]) {
    await chooseByTyping(page, frame);
    const lut = JSON.parse(readFileSync(path.join(work, `lut-${frame}.json`), "utf8"));
    const shown = await page.$$eval("#target-600 table.points-table tbody tr", (rows) =>
      rows.map((r) => ({
        input: Number(r.querySelector("[data-col=input]").getAttribute("data-value")),
        output: Number(r.querySelector("[data-col=output]").getAttribute("data-value")),
      })));
    assert.equal(shown.length, lut.points.length);
    lut.points.forEach((p, i) => {
      for (const [k, expected] of [["input", p.input_nits], ["output", p.output_nits]]) {
        const got = shown[i][k];
        assert.ok(Math.abs(got - expected) <= 1e-5 * Math.abs(expected) + 1e-12,
          `frame ${frame} entry ${i} ${k}: page ${got}, lut ${expected}`);
      }
    });
    const error = await page.evaluate((f) => {
      const t = window.kestrelReport.data.targets.find((t) => t.target_nits === 600);
      return t.frames.find((r) => r.frame === f).max_interpolation_error;
    }, frame);
    const expected = lut.max_interpolation_error.of_unit_gain;
    assert.ok(Math.abs(error - expected) <= 1e-5 * expected + 1e-12, `frame ${frame}: ${error} vs ${expected}`);
  }
  await context.close();
});

test("a clip with no frame read says so, in the singular, and claims no absence of jumps", async () => {
  const { page, context, problems } = await open("rejected.html");
  assert.deepEqual(problems, []);
  assert.equal(await page.textContent("#subtitle"), `${path.join(work, "rejected.json")} — 600 cd/m² target display`);
  assert.equal(await page.textContent("#summary summary"), "1 rejected frame");
  const section = page.locator("section.target");
  assert.equal(await section.count(), 1);
  assert.equal(await section.locator(".badge").count(), 0);
  assert.match(await section.textContent(), /No frame could be read\./);
  await context.close();
});
