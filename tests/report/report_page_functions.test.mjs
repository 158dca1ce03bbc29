// SPDX-License-Identifier: Apache-2.0
// What the report page's script decides before it draws: which values a
// pixel column shows, which marks survive thinning, where zoom and pan stop,
// which rows a table page holds. Run with `node --test` (ctest:
// report_page_functions_test); the module is imported as the page embeds it.
import { test } from "node:test";
import assert from "node:assert/strict";
import {
  columnExtremes, columnOf, decadeRange, flagMarks, fmt, frameSteps, lowerBound, nearestIndex,
  pageRange, pageOfRow, panView, pictureChoice, rowsOf, runMiddle, thinPositions, zoomView,
} from "../../tools/kestrel/render/report_page.mjs";

test("a decimated trace keeps a one-frame spike and a one-frame dip in its column", () => {
  // 10,000 frames over 100 columns: 100 frames a column.
  const frames = Array.from({ length: 10000 }, (_, i) => i);
  const values = frames.map(() => 100);
  values[4321] = 4000;  // spike
  values[7777] = 0.5;   // dip
  values[50] = NaN;     // a gap inside a column hides nothing else
  const { lo, hi } = columnExtremes(frames, 0, frames.length, -0.5, 9999.5, 100, (i) => values[i]);
  assert.equal(lo.length, 100);
  assert.equal(hi[43], 4000);
  assert.equal(lo[43], 100);
  assert.equal(lo[77], 0.5);
  assert.equal(hi[77], 100);
  assert.equal(lo[0], 100);
  assert.equal(Math.max(...hi.filter((v, c) => c !== 43)), 100);
});

test("a column with no value is a gap, and frames outside the index range are not drawn", () => {
  const frames = [0, 1, 2, 3, 100, 101];  // frames 4..99 rejected
  const { lo, hi } = columnExtremes(frames, 1, 5, -0.5, 101.5, 10, () => 7);
  assert.ok(Number.isNaN(lo[0]) === false && lo[0] === 7, "frames 1-3 in column 0");
  for (let c = 1; c < 9; c++) assert.ok(Number.isNaN(hi[c]), `column ${c} empty`);
  assert.equal(hi[9], 7, "frame 100");
  assert.equal(columnOf(101, -0.5, 101.5, 10), 9);
  assert.equal(columnOf(-10, -0.5, 101.5, 10), 0, "held inside the plot");
});

test("frame steps are one per frame and break where frames are missing", () => {
  const steps = frameSteps([5, 6, 8], 0, 3, (i) => i * 10);
  assert.deepEqual(steps, [[4.5, 5.5, 0, false], [5.5, 6.5, 10, false], [7.5, 8.5, 20, true]]);
});

test("flag marks: every flagged frame while frames are wider than a pixel, one per column and level when not", () => {
  const jumps = [
    { frame: 3, level: "1" }, { frame: 3, level: "10" }, { frame: 4, level: "1" }, { frame: 900, level: "1" },
  ];
  assert.deepEqual(flagMarks(jumps, -0.5, 9.5, 1000).map((j) => [j.frame, j.level]),
    [[3, "1"], [3, "10"], [4, "1"]], "outside the view: not drawn");
  assert.deepEqual(flagMarks(jumps, -0.5, 999.5, 10).map((j) => [j.frame, j.level]),
    [[3, "1"], [3, "10"], [900, "1"]], "frames 3 and 4 share a column");
});

test("short-run marks sit at the run's middle and are thinned like jumps, one per column and level", () => {
  const runs = [
    { first_frame: 10, last_frame: 13, level: "1" },   // middle 11.5, between two frames
    { first_frame: 20, last_frame: 20, level: "1" },
    { first_frame: 21, last_frame: 22, level: "100" },
    { first_frame: 30, last_frame: 31, level: "1" },   // middle 30.5
  ];
  assert.deepEqual(runs.map(runMiddle), [11.5, 20, 21.5, 30.5]);
  // Frames a pixel wide or more: every run has its mark.
  assert.equal(flagMarks(runs, -0.5, 99.5, 1000, runMiddle).length, 4);
  // 10 frames a column: the runs at 20 and 21.5 share a column but not a
  // level; the one at 30.5 does not share a column with them.
  assert.deepEqual(flagMarks(runs, -0.5, 99.5, 10, runMiddle).map((g) => g.first_frame), [10, 20, 21, 30]);
  // 50 frames a column: all four in the first column, one mark a level.
  assert.deepEqual(flagMarks(runs, -0.5, 99.5, 2, runMiddle).map((g) => g.first_frame), [10, 21]);
  // The view ends on a run's middle: drawn; it ends half a frame before: not.
  assert.deepEqual(flagMarks(runs, 11.5, 30.5, 100, runMiddle).map((g) => g.first_frame), [10, 20, 21, 30]);
  assert.deepEqual(flagMarks(runs, 12, 30, 100, runMiddle).map((g) => g.first_frame), [20, 21]);
});

test("scene marks closer than the gap are thinned, the first of each run kept", () => {
  assert.deepEqual(thinPositions([10, 11, 12, 13.5, 20, 40, 41], 3), [10, 13.5, 20, 40]);
  assert.deepEqual(thinPositions([], 3), []);
});

test("zoom stays about the pointer, inside the clip, and stops at a few frames", () => {
  const full = { from: -0.5, to: 999.5 };
  const z = zoomView(full, full, 249.5, 0.5);
  assert.deepEqual(z, { from: 124.5, to: 624.5 }, "the frame under the pointer stays under it");
  let v = full;
  for (let k = 0; k < 100; k++) v = zoomView(v, full, 500, 0.5);
  assert.equal(v.to - v.from, 4, "single frames, not less");
  assert.ok(v.from <= 500 && v.to >= 500);
  v = zoomView(v, full, 500, 1e9);
  assert.deepEqual(v, full, "zooming out ends at the whole clip");
  assert.deepEqual(zoomView({ from: 850, to: 990 }, full, 980, 2), { from: 719.5, to: 999.5 }, "pushed back inside");
  // A clip shorter than the smallest view is shown whole.
  assert.deepEqual(zoomView({ from: -0.5, to: 1.5 }, { from: -0.5, to: 1.5 }, 0, 0.1), { from: -0.5, to: 1.5 });
});

test("pan moves the view and stops at the ends of the clip", () => {
  const full = { from: -0.5, to: 999.5 };
  assert.deepEqual(panView({ from: 100, to: 200 }, full, 50), { from: 150, to: 250 });
  assert.deepEqual(panView({ from: 100, to: 200 }, full, -500), { from: -0.5, to: 99.5 });
  assert.deepEqual(panView({ from: 100, to: 200 }, full, 5000), { from: 899.5, to: 999.5 });
});

test("finding frames by number: first at or after, and nearest", () => {
  const frames = [0, 1, 2, 10, 11, 20];
  assert.equal(lowerBound(frames, 10), 3);
  assert.equal(lowerBound(frames, 10.5), 4);
  assert.equal(lowerBound(frames, -5), 0);
  assert.equal(lowerBound(frames, 25), 6);
  assert.equal(nearestIndex(frames, 6), 2, "a tie goes to the earlier frame");
  assert.equal(nearestIndex(frames, 6.1), 3);
  assert.equal(nearestIndex(frames, 99), 5);
  assert.equal(nearestIndex(frames, -3), 0);
  assert.equal(nearestIndex([], 3), -1);
});

test("table pages hold their rows, and a page asked past the end is the last", () => {
  assert.deepEqual(pageRange(250, 0, 100), { page: 0, first: 0, end: 100, pages: 3 });
  assert.deepEqual(pageRange(250, 2, 100), { page: 2, first: 200, end: 250, pages: 3 });
  assert.deepEqual(pageRange(250, 7, 100), { page: 2, first: 200, end: 250, pages: 3 });
  assert.deepEqual(pageRange(250, -1, 100), { page: 0, first: 0, end: 100, pages: 3 });
  assert.deepEqual(pageRange(0, 0, 100), { page: 0, first: 0, end: 0, pages: 1 });
  assert.equal(pageOfRow(199, 100), 1);
  assert.equal(pageOfRow(200, 100), 2);
});

test("axes span whole decades around the data's extremes, near-black raised", () => {
  assert.deepEqual(decadeRange({ min: 0.37, max: 1445 }, 1e-5), [0.1, 10000]);
  assert.deepEqual(decadeRange({ min: 1e-9, max: 600 }, 1e-5), [0.001, 1000]);
  assert.deepEqual(decadeRange({ min: null, max: null }, 1e-5), [0.1, 1000], "nothing to show");
  // A lowest trace on a whole decade is not drawn on the frame's border.
  assert.deepEqual(decadeRange({ min: 1, max: 1000 }, 1e-5), [0.1, 1000]);
  assert.deepEqual(decadeRange({ min: 1.0001, max: 1000 }, 1e-5), [1, 1000]);
});

test("numbers read as the tool's: significant digits, exponents only far out, a dash for none", () => {
  assert.equal(fmt(1445.2), "1445");
  assert.equal(fmt(0.020283, 4), "0.02028");
  assert.equal(fmt(1.07624e-5, 6), "1.07624e-5");
  assert.equal(fmt(123456), "1.235e+5");
  assert.equal(fmt(0), "0");
  assert.equal(fmt(null), "—");
  assert.equal(fmt(NaN), "—");
});

test("a frame without a picture shows the nearest frame that has one, and says so", () => {
  const pictured = [0, 3, 10];
  assert.deepEqual(pictureChoice(pictured, 3), { index: 1, caption: "frame 3" });
  assert.deepEqual(pictureChoice(pictured, 2).index, 1);
  assert.equal(pictureChoice(pictured, 2).caption, "frame 3, the nearest frame shown as a picture (frame 2 has none)");
  assert.equal(pictureChoice(pictured, 6).index, 1, "a tie takes the earlier");
  assert.equal(pictureChoice(pictured, 7).index, 2);
  assert.equal(pictureChoice(pictured, 500).index, 2);
  assert.equal(pictureChoice([], 4).index, -1);
});

test("columns become rows with entry i of every column in row i; no columns, no rows", () => {
  const columns = { frame: [3, 3, 9], level: ["1", "100", "average"], after_nits: [2.5, null, 40] };
  const rows = rowsOf(columns);
  const plain = (r) => ({ frame: r.frame, level: r.level, after_nits: r.after_nits });
  assert.deepEqual(rows.map(plain), [
    { frame: 3, level: "1", after_nits: 2.5 },
    { frame: 3, level: "100", after_nits: null },
    { frame: 9, level: "average", after_nits: 40 },
  ]);
  // Rows of two lists do not share their entries.
  const other = rowsOf({ frame: [7], level: ["10"], after_nits: [1] });
  assert.equal(other[0].frame, 7);
  assert.equal(rows[0].frame, 3);
  assert.deepEqual(rowsOf({ frame: [], level: [] }), []);
  assert.deepEqual(rowsOf({}), []);
});
