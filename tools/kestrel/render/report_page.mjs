// SPDX-License-Identifier: Apache-2.0
// The script of `kestrel report`'s page. It only draws: every number it shows
// (outputs, PQ codes, the interpolated table, medians and extremes) is in the
// page's data, computed by the tool. The exported functions decide what is
// drawn where and are tested with `node --test` (tests/report); `main` draws
// the page from the data element when the module runs inside the page.

const SVGNS = "http://www.w3.org/2000/svg";
const LEVEL_COLORS = ["#1f77b4", "#2ca02c", "#ff7f0e", "#d62728", "#9467bd"];
const FLAG_COLOR = "#e0006a";
const WIDTH = 1360;
const TABLE_PAGE_ROWS = 100;
// Zooming stops at this many frames across a timeline: single frames are
// then several hundred pixels wide.
const MIN_VIEW_FRAMES = 4;

// ---- what is drawn where (tested) ------------------------------------------

export const finite = (v) => v !== null && v !== undefined && isFinite(v);

export function fmt(v, digits) {
  if (v === null || v === undefined || !isFinite(v)) return "—";
  if (v === 0) return "0";
  const a = Math.abs(v);
  if (a >= 1e5 || a < 1e-3) return v.toExponential((digits || 4) - 1).replace(/\.?0+e/, "e");
  return String(Number(v.toPrecision(digits || 4)));
}

export function logTicks(lo, hi) {
  const t = [];
  for (let e = Math.floor(Math.log10(lo)); e <= Math.ceil(Math.log10(hi)); e++) {
    const v = Math.pow(10, e);
    if (v >= lo * 0.999 && v <= hi * 1.001) t.push(v);
  }
  return t;
}

export function linTicks(lo, hi, n) {
  const span = hi - lo || 1, raw = span / n, mag = Math.pow(10, Math.floor(Math.log10(raw)));
  const step = [1, 2, 5, 10].map((m) => m * mag).find((s) => span / s <= n) || 10 * mag;
  const t = [];
  for (let v = Math.ceil(lo / step) * step; v <= hi + step * 1e-9; v += step) t.push(Number(v.toPrecision(12)));
  return t;
}

// Whole decades around a range of luminances (from the data's extremes),
// the lower end raised to `floor` of the upper so that a near-black value
// does not squeeze the rest. A lowest value on a whole decade gets the
// decade below too: drawn on the frame's border, its trace would be hidden.
export function decadeRange(range, floor) {
  let lo = range ? range.min : null;
  const hi = range ? range.max : null;
  if (!(finite(hi) && hi > 0)) return [0.1, 1000];
  lo = Math.max(finite(lo) ? lo : hi, hi * floor);
  return [Math.pow(10, Math.floor(Math.log10(lo) - 1e-9)), Math.pow(10, Math.ceil(Math.log10(hi)))];
}

// The index of the first frame number >= `f` in the ascending `frameNos`.
export function lowerBound(frameNos, f) {
  let lo = 0, hi = frameNos.length;
  while (lo < hi) { const mid = (lo + hi) >> 1; if (frameNos[mid] < f) lo = mid + 1; else hi = mid; }
  return lo;
}

// The index of the frame nearest to `f` (the earlier one on a tie); -1 when there is none.
export function nearestIndex(frameNos, f) {
  if (!frameNos.length) return -1;
  const i = lowerBound(frameNos, f);
  if (i === 0) return 0;
  if (i === frameNos.length) return i - 1;
  return f - frameNos[i - 1] <= frameNos[i] - f ? i - 1 : i;
}

// The pixel column of frame `f` when frames x0 .. x1 (continuous) span `columns` columns.
export function columnOf(f, x0, x1, columns) {
  return Math.min(columns - 1, Math.max(0, Math.floor((f - x0) / (x1 - x0) * columns)));
}

// A trace decimated for the screen: per pixel column, the smallest and the
// largest value of the frames from index `from` to `to` (exclusive), so that
// no spike is lost however many frames share a column. NaN where a column
// has no value.
export function columnExtremes(frameNos, from, to, x0, x1, columns, valueOf) {
  const lo = new Float64Array(columns).fill(NaN), hi = new Float64Array(columns).fill(NaN);
  for (let i = from; i < to; i++) {
    const v = valueOf(i);
    if (!finite(v)) continue;
    const c = columnOf(frameNos[i], x0, x1, columns);
    if (!(lo[c] <= v)) lo[c] = v;
    if (!(hi[c] >= v)) hi[c] = v;
  }
  return { lo, hi };
}

// One flat step per frame, broken where a frame is missing or has no value:
// [[x from, x to, value]] in frame numbers.
export function frameSteps(frameNos, from, to, valueOf) {
  const steps = [];
  for (let i = from; i < to; i++) steps.push([frameNos[i] - 0.5, frameNos[i] + 0.5, valueOf(i), i > from && frameNos[i] !== frameNos[i - 1] + 1]);
  return steps;
}

// Of positions (ascending), those at least `gap` after the last one kept:
// scene marks thinned when they are denser than the pixels.
export function thinPositions(xs, gap) {
  const kept = [];
  for (const x of xs) if (!kept.length || x - kept[kept.length - 1] >= gap) kept.push(x);
  return kept;
}

// Of jumps (in frame order), one per pixel column and level: every flagged
// frame has a mark as long as frames are wider than a pixel, and a column
// of many flagged frames one mark per level. `at` places an item on the
// frame axis (a jump at its frame; a short run at its middle, runMiddle).
export function flagMarks(jumps, x0, x1, columns, at = (j) => j.frame) {
  const seen = new Set(), kept = [];
  for (const j of jumps) {
    const x = at(j);
    if (x < x0 || x > x1) continue;
    const key = columnOf(x, x0, x1, columns) + "/" + j.level;
    if (seen.has(key)) continue;
    seen.add(key);
    kept.push(j);
  }
  return kept;
}

// Where a short run's mark sits: the middle of its frames, on a frame of its
// own for an odd length and between two for an even one.
export const runMiddle = (g) => (g.first_frame + g.last_frame) / 2;

// The frames shown, zoomed by `factor` (< 1: in) about frame `at`, kept
// inside the clip and never narrower than MIN_VIEW_FRAMES.
export function zoomView(view, full, at, factor) {
  const fullSpan = full.to - full.from;
  const span = Math.min(fullSpan, Math.max(Math.min(MIN_VIEW_FRAMES, fullSpan), (view.to - view.from) * factor));
  const t = view.to > view.from ? (at - view.from) / (view.to - view.from) : 0.5;
  return panView({ from: at - t * span, to: at - t * span + span }, full, 0);
}

// The frames shown moved by `delta` frames, kept inside the clip.
export function panView(view, full, delta) {
  const span = view.to - view.from;
  const from = Math.max(full.from, Math.min(full.to - span, view.from + delta));
  return { from: from, to: from + span };
}

// Rows `page` (from 0) of a table of `count` rows in pages of `size`:
// { first, end, pages }, `page` held inside the table.
export function pageRange(count, page, size) {
  const pages = Math.max(1, Math.ceil(count / size));
  const p = Math.min(Math.max(0, page), pages - 1);
  return { page: p, first: p * size, end: Math.min(count, (p + 1) * size), pages: pages };
}

// The page (from 0) that holds row `index`.
export const pageOfRow = (index, size) => Math.floor(index / size);

// What the pictures show for chosen frame `f` when only the frames
// `pictured` (ascending) have pictures: the index of the nearest of them
// (the earlier on a tie; -1 when there is none) and a caption that says
// whether it is the chosen frame's own picture.
export function pictureChoice(pictured, f) {
  const k = nearestIndex(pictured, f);
  if (k < 0) return { index: -1, caption: "no frame of this video is shown as a picture" };
  const shown = pictured[k];
  return { index: k, caption: shown === f ? `frame ${f}` :
    `frame ${shown}, the nearest frame shown as a picture (frame ${f} has none)` };
}

// Columns (one array per key, as the document stores long lists) as rows:
// row i reads entry i of each column (row.frame is columns.frame[i]). The rows
// are views, not copies: a film's 36,000 jumps as objects of ten keys cost
// as much time as parsing the page's data, while a view is one index.
const ROW = Symbol("row");
export function rowsOf(columns) {
  const keys = Object.keys(columns);
  const n = keys.length ? columns[keys[0]].length : 0;
  const shape = {};
  for (const k of keys) {
    const column = columns[k];
    Object.defineProperty(shape, k, { get() { return column[this[ROW]]; }, enumerable: true });
  }
  const rows = new Array(n);
  for (let i = 0; i < n; i++) {
    const r = Object.create(shape);
    r[ROW] = i;
    rows[i] = r;
  }
  return rows;
}

// ---- drawing ---------------------------------------------------------------

function el(tag, attrs, parent, text) {
  const e = tag.startsWith("svg:") ? document.createElementNS(SVGNS, tag.slice(4)) : document.createElement(tag);
  for (const k in attrs || {}) e.setAttribute(k, attrs[k]);
  if (text !== undefined) e.textContent = text;
  if (parent) parent.appendChild(e);
  return e;
}

export function main(data) {
  // A target's jumps and short runs come as columns; the tables and marks
  // take them a row at a time.
  for (const tg of data.targets) {
    tg.flagged = rowsOf(tg.flagged);
    tg.glitches = rowsOf(tg.glitches);
  }
  const levels = data.levels;
  const levelShort = (k) => k === "average" ? "average" : k + " cd/m²";
  const frameNos = data.frames.frame, sceneOf = data.frames.scene, recordOf = data.frames.record;
  const N = frameNos.length;
  const records = data.records;
  const full = N ? { from: frameNos[0] - 0.5, to: frameNos[N - 1] + 0.5 } : { from: 0, to: 1 };
  let view = Object.assign({}, full);

  // Luminance axes: "nits" (cd/m² on log scales) or "pq" (10-bit PQ codes):
  // a value is read from the key "<name>_nits" or "<name>_pq_code(s)".
  let axesMode = "nits";
  const pq = () => axesMode === "pq";
  const lum = (o, name) => pq() ? o[name + "_pq_code"] : o[name + "_nits"];
  const lums = (o, name) => pq() ? o[name + "_pq_codes"] : o[name + "_nits"];
  const decadeCodes = new Map((data.pq_codes_of_decades || []).map(([n, c]) => [Math.round(Math.log10(n)), c]));
  const decadeCode = (v) => decadeCodes.get(Math.round(Math.log10(v)));
  // A luminance axis from lo to hi cd/m²; `loCode`/`hiCode` are their codes
  // when they are not whole decades.
  function luminanceAxis(lo, hi, label, loCode, hiCode) {
    if (!pq()) return { min: lo, max: hi, log: true, label: label, ticks: logTicks(lo, hi).map((v) => ({ at: v, text: fmt(v) })) };
    lo = Math.max(lo, 1e-6);
    const ticks = logTicks(lo, hi).map((v) => ({ at: decadeCode(v), text: `${fmt(v)} (${Math.round(decadeCode(v))})` }));
    return { min: finite(loCode) ? loCode : decadeCode(lo), max: finite(hiCode) ? hiCode : decadeCode(hi), log: false,
             label: label.replace("(cd/m²)", "in cd/m² (10-bit PQ code)"), ticks: ticks };
  }

  // A plot area with axes. x and y: {min, max, log, label, ticks?: [{at, text}]}.
  function makePlot(parent, opts) {
    // PQ tick labels are wider; every plot takes the same margin so that the frame axes line up.
    const m = Object.assign({ top: 28, right: 230, bottom: 46, left: pq() ? 100 : 74 }, opts.margin || {});
    const W = opts.width, H = opts.height, pw = W - m.left - m.right, ph = H - m.top - m.bottom;
    const svg = el("svg:svg", { width: W, height: H, viewBox: `0 0 ${W} ${H}`, class: opts.cls || "" }, parent);
    const position = (axis) => {
      if (axis.log) { const a = Math.log10(axis.min), b = Math.log10(axis.max); return (v) => (Math.log10(v) - a) / (b - a); }
      return (v) => (v - axis.min) / (axis.max - axis.min || 1);
    };
    const px = position(opts.x), py = position(opts.y);
    const sx = (v) => m.left + px(v) * pw;
    const sy = (v) => m.top + ph - py(v) * ph;
    if (opts.title) el("svg:text", { x: m.left, y: 16, "font-weight": 600, "font-size": 13 }, svg, opts.title);
    const grid = el("svg:g", { stroke: "#e4e4e4" }, svg);
    const axes = el("svg:g", {}, svg);
    const ticksOf = (axis, n) => axis.ticks || (axis.log ? logTicks(axis.min, axis.max) : linTicks(axis.min, axis.max, n))
      .map((v) => ({ at: v, text: (axis.tickText || fmt)(v) }));
    let lastLabel = -Infinity;
    for (const t of ticksOf(opts.x, 10)) {
      const x = sx(t.at);
      el("svg:line", { x1: x, x2: x, y1: m.top, y2: m.top + ph }, grid);
      if (x - lastLabel < t.text.length * 7 + 6) continue;  // a grid line, but no label over its neighbour's
      el("svg:text", { x: x, y: m.top + ph + 16, "text-anchor": "middle" }, axes, t.text);
      lastLabel = x;
    }
    let lastRow = Infinity;
    for (const t of ticksOf(opts.y, 5)) {
      const y = sy(t.at);
      el("svg:line", { x1: m.left, x2: m.left + pw, y1: y, y2: y }, grid);
      if (lastRow - y < 14) continue;
      el("svg:text", { x: m.left - 6, y: y + 4, "text-anchor": "end" }, axes, t.text);
      lastRow = y;
    }
    el("svg:rect", { x: m.left, y: m.top, width: pw, height: ph, fill: "none", stroke: "#888" }, axes);
    el("svg:text", { x: m.left + pw / 2, y: H - 8, "text-anchor": "middle" }, axes, opts.x.label);
    el("svg:text", { x: 16, y: m.top + ph / 2, "text-anchor": "middle", transform: `rotate(-90 16 ${m.top + ph / 2})` }, axes, opts.y.label);
    const clipId = "clip" + Math.random().toString(36).slice(2);
    const defs = el("svg:defs", {}, svg);
    el("svg:rect", { x: m.left, y: m.top - 1, width: pw, height: ph + 2 }, el("svg:clipPath", { id: clipId }, defs));
    const body = el("svg:g", { "clip-path": `url(#${clipId})` }, svg);
    const over = el("svg:g", {}, svg);
    let legendY = m.top + 4;
    const plot = {
      svg, body, over, sx, sy, m, pw, ph, W, H,
      inY: (v) => finite(v) && (!opts.y.log || v > 0),
      path(points, style) {  // points: [[x, y]], null breaks the line
        let d = "", pen = false;
        for (const p of points) {
          if (!p || !plot.inY(p[1]) || !finite(p[0])) { pen = false; continue; }
          d += (pen ? "L" : "M") + sx(p[0]).toFixed(1) + " " + sy(p[1]).toFixed(1);
          pen = true;
        }
        return el("svg:path", Object.assign({ d: d, fill: "none" }, style), body);
      },
      legend(label, style, kind) {
        const x = m.left + pw + 14, g = el("svg:g", {}, svg);
        if (kind === "dot") el("svg:circle", { cx: x + 12, cy: legendY, r: 3.5, fill: style.stroke }, g);
        else if (kind === "flag") el("svg:path", { d: `M${x + 6} ${legendY - 6}L${x + 18} ${legendY - 6}L${x + 12} ${legendY + 3}Z`, fill: FLAG_COLOR }, g);
        else if (kind === "run") el("svg:path", { d: `M${x + 12} ${legendY - 6}L${x + 18} ${legendY}L${x + 12} ${legendY + 6}L${x + 6} ${legendY}Z`, fill: FLAG_COLOR }, g);
        else if (kind === "vline") el("svg:line", Object.assign({ x1: x + 12, x2: x + 12, y1: legendY - 7, y2: legendY + 7 }, style), g);
        else el("svg:line", Object.assign({ x1: x, x2: x + 24, y1: legendY, y2: legendY }, style), g);
        const lines = label.split("\n");
        lines.forEach((t, i) => el("svg:text", { x: x + 30, y: legendY + 4 + i * 14 }, g, t));
        legendY += 8 + 14 * lines.length;
        // A legend longer than the plot (a video's timeline) lengthens the
        // drawing below the plot rather than being cut off.
        if (legendY > H) { svg.setAttribute("height", legendY); svg.setAttribute("viewBox", `0 0 ${W} ${legendY}`); }
        return g;
      },
    };
    return plot;
  }

  // ---- summary -------------------------------------------------------------
  document.getElementById("subtitle").textContent =
    data.file + " — " + data.targets.map((t) => t.target_nits + " cd/m²").join(", ") + (data.targets.length === 1 ? " target display" : " target displays");
  (function summary() {
    const box = document.getElementById("summary");
    const t = el("table", { id: "summary-table" }, box);
    const row = (k, v) => { const r = el("tr", {}, t); el("th", {}, r, k); el("td", {}, r, v); };
    row("Input", data.file);
    row("Tables computed by", data.tables_from.computed_by === "plug-in"
        ? `plug-in ${data.tables_from.path} (version ${data.tables_from.version})`
        : `the tone-mapping code built into kestrel ${data.tables_from.version}`);
    row("Frames", `${data.frame_count} in the file: ${data.frames_with_metadata} with metadata read, ` +
        `${data.frames_rejected} rejected, ${data.frames_with_tone_curve} with a tone curve of their own`);
    row("Scenes", `${data.scene_count}, from the ${data.scene_source}; checked: ${data.jump_check.said}`);
    row("Source peak", finite(data.source_peak_nits.min)
        ? `${fmt(data.source_peak_nits.min)} to ${fmt(data.source_peak_nits.max)} cd/m² (from the statistics; the curve's input 1.0)` : "unknown (no statistics)");
    row("Targeted display peaks", data.targeted_display_nits.length
        ? data.targeted_display_nits.map((v) => v + " cd/m²").join(", ") + " (of the frames' own curves)" : "none (no frame carries a tone curve)");
    row("Target displays", data.targets.map((t) => t.target_nits + " cd/m²").join(", "));
    const flaggedRow = el("tr", {}, t);
    el("th", {}, flaggedRow, "Flagged frames");
    const flagged = el("td", {}, flaggedRow);
    for (const tg of data.targets) {
      el("span", { class: "badge " + tg.badge.kind, "data-target": tg.target_nits }, flagged,
         `${tg.target_nits} cd/m²: ${tg.flagged_frame_count}` + (data.jump_check.jumps_inside_scenes ? "" : " (short runs only)"));
    }
    row("Warnings", data.targets.map((tg) => `${tg.target_nits} cd/m²: ${tg.frames_with_warnings} frame${tg.frames_with_warnings === 1 ? "" : "s"}` +
        (tg.frames_with_warnings ? " (" + Object.entries(tg.warning_counts).map(([k, n]) => `${k.replace(/_/g, " ")} ${n}`).join(", ") + ")" : "")).join("; "));
    row("Jump threshold", `more than ${data.jump_threshold_pq_codes} PQ codes (10-bit) between two frames of a scene, at input ` +
        levels.map(levelShort).join(", "));
    const video = data.video;
    if (video) {
      const shown = video.pictured ? video.pictured.frame.length : 0;
      row("Video", `${video.width}×${video.height}, ${video.pictures} pictures decoded; ${video.shot_first_frames.length} ` +
          `shot${video.shot_first_frames.length === 1 ? "" : "s"} found in the pictures; ${shown} frame${shown === 1 ? "" : "s"} shown as pictures` +
          (video.pictured ? ` (${fmt(video.picture_bytes / 1e6, 3)} MB of the page; bound ${fmt(video.picture_budget_bytes / 1e6, 3)} MB` +
           (video.frames_left_out_for_size ? `, ${video.frames_left_out_for_size} more left out to stay within it` : "") + ")" : ""));
    } else if (data.video_unused) {
      row("Video", "pictures not used: " + data.video_unused);
    }
    row("Library version", data.library_version);
    if (data.rejected.length) {
      const d = el("details", {}, box);
      el("summary", {}, d, `${data.rejected.length} rejected frame${data.rejected.length === 1 ? "" : "s"}`);
      const ul = el("ul", {}, d);
      for (const r of data.rejected) el("li", {}, ul, r);
    }
    el("div", { id: "thumbnail-box" }, box);
  })();

  // ---- the frames shown as pictures, as a strip of thumbnails -----------------
  function thumbnailStrip() {
    const box = document.getElementById("thumbnail-box");
    box.replaceChildren();
    const pics = data.video && data.video.pictured;
    if (!pics || !pics.frame.length) return;
    el("h3", {}, box, "Frames shown as pictures");
    el("p", { class: "note" }, box, `Through the table at ${data.targets[0].target_nits} cd/m², in the SDR view below. ` +
       "A frame marked “shot” starts a shot found in the pictures. Click one to choose it.");
    const strip = el("div", { class: "thumbs", id: "thumbnails" }, box);
    pics.frame.forEach((f, k) => {
      const fig = el("figure", { class: "thumb" + (pics.shot_start[k] ? " shot" : ""), "data-frame": f }, strip);
      if (pics.thumbnail[k]) el("img", { src: pics.thumbnail[k], alt: `frame ${f}` }, fig);
      el("figcaption", {}, fig, `frame ${f}` + (pics.shot_start[k] ? " · shot" : "") + (pics.refused[k][0] ? " · no table: untonemapped" : ""));
      if (pics.refused[k][0]) fig.title = pics.refused[k][0];
      fig.addEventListener("click", () => chooseFrame(f));
    });
    selectors.push((i) => { for (const fig of strip.children) fig.classList.toggle("chosen", Number(fig.getAttribute("data-frame")) === frameNos[i]); });
  }

  // ---- tooltip ---------------------------------------------------------------
  const tip = document.getElementById("tip");
  function showTip(evt, lines, image) {
    tip.replaceChildren();
    lines.forEach((l, i) => el("div", i === 0 ? { style: "font-weight:600" } : {}, tip, l));
    if (image) el("img", { src: image, class: "tip-thumbnail", style: "display:block;margin-top:4px" }, tip);
    tip.style.display = "block";
    tip.style.left = Math.min(evt.clientX + 14, window.innerWidth - tip.offsetWidth - 8) + "px";
    tip.style.top = (evt.clientY + 14) + "px";
  }
  const hideTip = () => { tip.style.display = "none"; };

  // ---- timelines -------------------------------------------------------------
  let selectors = [];      // called with the chosen frame's index; the panels and tables
  let cursors = [];        // the same for the timelines, which are drawn again on zoom
  const timelines = [];    // functions that draw a timeline again for the current view
  let chosen = -1;         // index of the chosen frame
  // A drag along a timeline, from the button going down to it coming up
  // anywhere; a click that ends a drag chooses nothing.
  let drag = null, dragged = false;
  window.addEventListener("mouseup", () => { dragged = !!(drag && drag.moved); drag = null; });

  function frameAxis() {
    const span = view.to - view.from;
    const ticks = linTicks(view.from + 0.5, view.to - 0.5, 14).filter((v) => Number.isInteger(v) && v > view.from && v < view.to);
    return { min: view.from, max: view.to, log: false, label: span < full.to - full.from ? `frame (frames ${Math.ceil(view.from)} to ${Math.floor(view.to)} shown; wheel to zoom, drag to move)` : "frame",
             ticks: ticks.map((v) => ({ at: v, text: String(v) })) };
  }
  const visible = () => [lowerBound(frameNos, view.from), lowerBound(frameNos, view.to)];

  // A trace along the frames: a flat step per frame while frames are wider
  // than a pixel, else the extremes of each pixel column.
  function trace(p, valueOf, style) {
    const [from, to] = visible();
    let d = "";
    if (to - from <= p.pw) {
      let pen = false;
      for (const [a, b, v, gap] of frameSteps(frameNos, from, to, valueOf)) {
        if (gap || !p.inY(v)) pen = false;
        if (!p.inY(v)) continue;
        const y = p.sy(v).toFixed(1);
        d += (pen ? "L" : "M") + p.sx(a).toFixed(1) + " " + y + "L" + p.sx(b).toFixed(1) + " " + y;
        pen = true;
      }
    } else {
      const columns = Math.round(p.pw);
      const { lo, hi } = columnExtremes(frameNos, from, to, view.from, view.to, columns, valueOf);
      let pen = false;
      for (let c = 0; c < columns; c++) {
        if (!p.inY(lo[c]) || !p.inY(hi[c])) { pen = false; continue; }
        const x = (p.m.left + c + 0.5).toFixed(1);
        d += (pen ? "L" : "M") + x + " " + p.sy(lo[c]).toFixed(1) + "L" + x + " " + p.sy(hi[c]).toFixed(1);
        pen = true;
      }
    }
    return el("svg:path", Object.assign({ d: d, fill: "none" }, style), p.body);
  }

  // The thumbnail of a frame shown as a picture (a shot's first frame among
  // them), for the tooltips of the timelines; null for the others.
  const pictured = data.video && data.video.pictured;
  function thumbnailOf(f) {
    if (!pictured) return null;
    const k = lowerBound(pictured.frame, f);
    return pictured.frame[k] === f && pictured.thumbnail[k] ? pictured.thumbnail[k] : null;
  }

  // Scene cuts, the chosen frame, hover, click, wheel and drag along the frames of a plot.
  function frameOverlay(p, describe) {
    const top = p.m.top, bottom = p.m.top + p.ph;
    const cuts = [];
    for (const f of data.scene_first_frames.slice(1)) if (f > view.from && f < view.to) cuts.push(p.sx(f - 0.5));
    for (const x of thinPositions(cuts, 3))
      el("svg:line", { x1: x, x2: x, y1: top, y2: bottom, stroke: "#777", "stroke-width": 1, "stroke-dasharray": "2 3", class: "scene-cut" }, p.body);
    // The chosen frame's line is an element of its own over the drawing,
    // moved by a transform: choosing a frame does not paint the traces again.
    p.svg.parentNode.style.position = "relative";
    const cursor = el("div", { class: "chosen-line", style: `position:absolute;left:0;top:${top}px;height:${p.ph}px;width:1.5px;background:#0050d0;will-change:transform;pointer-events:none` }, p.svg.parentNode);
    const hit = el("svg:rect", { x: p.m.left, y: top, width: p.pw, height: p.ph, fill: "transparent", style: "cursor:crosshair", class: "frame-hit" }, p.over);
    const frameAtX = (clientX) => {
      const r = p.svg.getBoundingClientRect();
      const x = (clientX - r.left) * (p.W / r.width);
      return view.from + (x - p.m.left) / p.pw * (view.to - view.from);
    };
    const indexAt = (evt) => {
      const f = frameAtX(evt.clientX);
      const i = nearestIndex(frameNos, f);
      return i >= 0 && frameNos[i] > view.from - 0.5 && frameNos[i] < view.to + 0.5 ? i : -1;
    };
    hit.addEventListener("mousemove", (evt) => {
      if (drag) {
        const dx = evt.clientX - drag.x;
        if (Math.abs(dx) > 3) drag.moved = true;
        if (drag.moved) setView(panView(drag.view, full, -dx * (drag.view.to - drag.view.from) / p.pw * (p.W / p.svg.getBoundingClientRect().width)));
        return;
      }
      const i = indexAt(evt);
      if (i >= 0) showTip(evt, describe(i), thumbnailOf(frameNos[i]));
    });
    hit.addEventListener("mouseleave", hideTip);
    hit.addEventListener("mousedown", (evt) => { drag = { x: evt.clientX, view: view, moved: false }; evt.preventDefault(); });
    hit.addEventListener("click", (evt) => {
      if (dragged) return;
      const i = indexAt(evt);
      if (i >= 0) choose(i);
    });
    hit.addEventListener("wheel", (evt) => {
      evt.preventDefault();
      setView(zoomView(view, full, frameAtX(evt.clientX), evt.deltaY < 0 ? 0.8 : 1.25));
    }, { passive: false });
    cursors.push((i) => {
      const x = i >= 0 ? p.sx(frameNos[i]) : 0;
      cursor.style.transform = `translateX(${(x - 0.75).toFixed(2)}px)`;
      cursor.style.visibility = i >= 0 && frameNos[i] > view.from && frameNos[i] < view.to ? "visible" : "hidden";
    });
  }

  function timeline(box, tg) {
    const outputs = levels.map((k) => tg.analyses.map((a) => lums(a, "output")[k]));
    const peaks = records.map((r) => lum(r, "source_peak")), avgs = records.map((r) => lum(r, "average_maxrgb"));
    const range = data.video ? { min: Math.min(tg.timeline_range_nits.min ?? Infinity, data.video.measured.range_nits.min ?? Infinity),
                                 max: Math.max(tg.timeline_range_nits.max ?? -Infinity, data.video.measured.range_nits.max ?? -Infinity) } : tg.timeline_range_nits;
    const [ymin, ymax] = decadeRange(finite(range.max) ? range : tg.timeline_range_nits, 1e-5);
    const p = makePlot(box, {
      width: WIDTH, height: 440, cls: "timeline", x: frameAxis(),
      y: luminanceAxis(ymin, ymax, "luminance (cd/m²)"),
      title: `Output on the ${tg.target_nits} cd/m² display for fixed inputs, and the source, frame by frame`,
    });
    p.svg.setAttribute("data-target", tg.target_nits);
    const peakStyle = { stroke: "#555", "stroke-width": 1.5, "stroke-dasharray": "6 4" };
    const avgStyle = { stroke: "#999", "stroke-width": 1.5, "stroke-dasharray": "2 3" };
    trace(p, (i) => peaks[recordOf[i]], peakStyle);
    trace(p, (i) => avgs[recordOf[i]], avgStyle);
    const measured = data.video && data.video.measured;
    const measuredPeakStyle = { stroke: "#b5179e", "stroke-width": 1.5, "stroke-dasharray": "6 4" };
    const measuredAvgStyle = { stroke: "#e07bd0", "stroke-width": 1.5, "stroke-dasharray": "2 3" };
    if (measured) {
      const mp = lums(measured, "source_peak"), ma = lums(measured, "average_maxrgb");
      trace(p, (i) => mp[frameNos[i]], measuredPeakStyle);
      trace(p, (i) => ma[frameNos[i]], measuredAvgStyle);
    }
    levels.forEach((k, l) => trace(p, (i) => outputs[l][recordOf[i]], { stroke: LEVEL_COLORS[l], "stroke-width": 2 }));
    const ty = p.sy(lum(tg, "target"));
    el("svg:line", { x1: p.m.left, x2: p.m.left + p.pw, y1: ty, y2: ty, stroke: "#000", "stroke-width": 1, "stroke-dasharray": "10 3 2 3" }, p.body);
    const jumpValue = (j) => pq() ? j.after_pq_code : j.after_nits;
    for (const j of flagMarks(tg.flagged, view.from, view.to, Math.round(p.pw))) {
      // An output of 0 has no place on a log axis: its mark sits on the axis' floor.
      const v = jumpValue(j), bottom = p.m.top + p.ph;
      const x = p.sx(j.frame), y = p.inY(v) ? Math.min(bottom, Math.max(p.m.top, p.sy(v))) : bottom;
      el("svg:path", { d: `M${x - 6} ${y - 12}L${x + 6} ${y - 12}L${x} ${y - 2}Z`, fill: FLAG_COLOR, stroke: "#fff", "stroke-width": 0.8, class: "flag-mark", "data-frame": j.frame }, p.over);
    }
    // A short run: a diamond at the run's output at its level and, once the
    // run is wider than the diamond, a band behind that level's trace along
    // the run, so that the trace keeps its colour.
    const runValue = (g) => pq() ? g.run_pq_code : g.run_nits;
    for (const g of flagMarks(tg.glitches, view.from, view.to, Math.round(p.pw), runMiddle)) {
      const v = runValue(g), bottom = p.m.top + p.ph;
      const x = p.sx(runMiddle(g)), y = p.inY(v) ? Math.min(bottom, Math.max(p.m.top, p.sy(v))) : bottom;
      const x0 = p.sx(g.first_frame - 0.5), x1 = p.sx(g.last_frame + 0.5);
      if (x1 - x0 > 12)
        p.body.insertBefore(el("svg:line", { x1: x0, x2: x1, y1: y, y2: y, stroke: FLAG_COLOR, "stroke-width": 8, "stroke-opacity": 0.3, class: "run-span" }), p.body.firstChild);
      el("svg:path", { d: `M${x} ${y - 6}L${x + 6} ${y}L${x} ${y + 6}L${x - 6} ${y}Z`, fill: FLAG_COLOR, stroke: "#fff", "stroke-width": 0.8,
                       class: "run-mark", "data-frame": g.first_frame, "data-last-frame": g.last_frame }, p.over);
    }
    p.legend("output, " + "target peak " + tg.target_nits + " cd/m²", { stroke: "#000", "stroke-width": 1, "stroke-dasharray": "10 3 2 3" });
    levels.forEach((k, l) => p.legend(k === "average" ? "output for input at the\nframe's average maxRGB" : `output for input ${k} cd/m²`, { stroke: LEVEL_COLORS[l], "stroke-width": 2 }));
    p.legend("source peak, input side\n(the curve's input 1.0)", peakStyle);
    p.legend("source average maxRGB,\ninput side", avgStyle);
    if (measured) {
      p.legend("source peak measured in\nthe picture (same rule)", measuredPeakStyle);
      p.legend("average maxRGB measured\nin the picture", measuredAvgStyle);
    }
    p.legend("scene cut", { stroke: "#777", "stroke-dasharray": "2 3" }, "vline");
    p.legend("jump inside a scene\n(> " + data.jump_threshold_pq_codes + " PQ codes)", {}, "flag");
    p.legend(`short run (1 to ${data.jump_check.max_short_run_frames} frames)`, {}, "run");
    p.legend("chosen frame", { stroke: "#0050d0", "stroke-width": 1.5 }, "vline");
    p.legend("a gap: no output (source\npeak unknown, or the\ntable unusable)", { stroke: "none" });
    p.legend("inputs above a frame's source\npeak are taken at the peak", { stroke: "none" });
    frameOverlay(p, (i) => {
      const a = tg.analyses[recordOf[i]], r = records[recordOf[i]];
      const lines = [`frame ${frameNos[i]}, scene ${sceneOf[i]}`,
        `source peak ${fmt(r.source_peak_nits)} cd/m², average maxRGB ${fmt(r.average_maxrgb_nits)} cd/m², ` +
        `50 % ${fmt(r.percentile_50_nits)}, 99 % ${fmt(r.percentile_99_nits)} cd/m²`];
      if (measured) {
        const f = frameNos[i];
        lines.push(`measured: source peak ${fmt(measured.source_peak_nits[f])} cd/m², average maxRGB ${fmt(measured.average_maxrgb_nits[f])} cd/m², ` +
          `50 % ${fmt(measured.percentile_50_nits[f])}, 99 % ${fmt(measured.percentile_99_nits[f])} cd/m²`);
      }
      levels.forEach((k) => lines.push(`${levelShort(k)} → ${fmt(a.output_nits[k])} cd/m² (PQ ${fmt(a.output_pq_codes[k], 4)})`));
      for (const j of jumpsAt(tg, frameNos[i])) lines.push(`⚑ jump at ${levelShort(j.level)}: ${fmt(j.before_nits)} → ${fmt(j.after_nits)} cd/m²`);
      for (const g of runsAt(tg, frameNos[i]))
        lines.push(`◆ short run, ${runFrames(g)}, at ${levelShort(g.level)}: ${fmt(g.before_nits)} → ${fmt(g.run_nits)} → ${fmt(g.after_nits)} cd/m²`);
      return lines;
    });
  }

  const jumpIndex = new Map();
  function jumpsAt(tg, f) {
    if (!jumpIndex.has(tg)) {
      const m = new Map();
      for (const j of tg.flagged) { if (!m.has(j.frame)) m.set(j.frame, []); m.get(j.frame).push(j); }
      jumpIndex.set(tg, m);
    }
    return jumpIndex.get(tg).get(f) || [];
  }
  // The short runs a frame belongs to (one at most, as runs do not overlap).
  const runIndex = new Map();
  function runsAt(tg, f) {
    if (!runIndex.has(tg)) {
      const m = new Map();
      for (const g of tg.glitches) for (let k = g.first_frame; k <= g.last_frame; k++) { if (!m.has(k)) m.set(k, []); m.get(k).push(g); }
      runIndex.set(tg, m);
    }
    return runIndex.get(tg).get(f) || [];
  }
  const runLength = (g) => g.last_frame - g.first_frame + 1;
  const runFrames = (g) => g.first_frame === g.last_frame ? `frame ${g.first_frame}` : `frames ${g.first_frame} to ${g.last_frame}`;

  function errorTimeline(box, tg) {
    const errs = tg.analyses.map((a) => a.max_interpolation_error);
    const hi = tg.largest_interpolation_error > 0 ? tg.largest_interpolation_error * 1.15 : 0.001;
    const p = makePlot(box, {
      width: WIDTH, height: 190, cls: "error-timeline", x: frameAxis(),
      // A little below 0, so that a table without error is a line above the frame's border.
      y: { min: -0.04 * hi, max: hi, log: false, label: "of unit gain",
           ticks: linTicks(0, hi, 5).map((v) => ({ at: v, text: fmt(v, 2) })) },
      title: "Largest interpolation error of the 33-point table (|table − curve| gain, as a fraction of unit gain)",
      margin: { top: 28, bottom: 40 },
    });
    trace(p, (i) => errs[recordOf[i]], { stroke: "#8c564b", "stroke-width": 2 });
    // A mark per pixel column with a frame that has a warning.
    const [from, to] = visible(), columns = Math.round(p.pw), marked = new Set();
    for (let i = from; i < to; i++) {
      if (!tg.analyses[recordOf[i]].warnings.length) continue;
      const c = columnOf(frameNos[i], view.from, view.to, columns);
      if (marked.has(c)) continue;
      marked.add(c);
      el("svg:circle", { cx: p.sx(frameNos[i]), cy: p.m.top + 6, r: 3.5, fill: "#d08000", class: "warning-mark" }, p.over);
    }
    p.legend("largest interpolation error", { stroke: "#8c564b", "stroke-width": 2 });
    p.legend("frame with a warning", { stroke: "#d08000" }, "dot");
    frameOverlay(p, (i) => {
      const a = tg.analyses[recordOf[i]];
      return [`frame ${frameNos[i]}`, `largest error ${fmt(a.max_interpolation_error)} of unit gain at ${fmt(a.max_interpolation_error_at_nits)} cd/m²`]
        .concat(a.warnings.map((w) => "warning: " + w.message));
    });
  }

  function setView(v) {
    view = v;
    const from = document.getElementById("view-from"), to = document.getElementById("view-to");
    from.value = Math.ceil(view.from); to.value = Math.floor(view.to);
    drawTimelines();
  }
  function drawTimelines() {
    cursors = [];
    for (const draw of timelines) draw();
    for (const c of cursors) c(chosen);
  }

  // ---- the chosen frame's curves, from its record's analysis -----------------
  function curvePanel(section, tg) {
    const grid = data.curve_grid_nits;
    if (!grid || !grid.length) return;
    const gridAt = lums(data, "curve_grid");
    const row = el("div", { class: "row" }, section);
    const left = el("div", {}, row), right = el("div", { style: "flex: none; width: 500px" }, row);
    const s = tg.curve_summary;
    const [ylo, yhi] = decadeRange(tg.curve_range_nits, 1e-6);
    const xAxis = () => luminanceAxis(grid[0], grid[grid.length - 1], "input luminance (cd/m²)", data.curve_grid_pq_codes[0], data.curve_grid_pq_codes[grid.length - 1]);
    const p = makePlot(left, {
      width: 820, height: 470, cls: "curves", x: xAxis(),
      y: luminanceAxis(ylo, yhi, "output luminance (cd/m²)"),
      title: `Adapted curves of all frames for the ${tg.target_nits} cd/m² target`, margin: { right: 250 },
    });
    p.svg.setAttribute("data-target", tg.target_nits);
    const line = (xs, ys, style) => p.path(xs.map((x, k) => [x, ys[k]]), style);
    line(gridAt, gridAt, { stroke: "#bbb", "stroke-width": 1, "stroke-dasharray": "4 4" });
    const ty = p.sy(lum(tg, "target"));
    el("svg:line", { x1: p.m.left, x2: p.m.left + p.pw, y1: ty, y2: ty, stroke: "#000", "stroke-width": 1, "stroke-dasharray": "10 3 2 3" }, p.body);
    for (const a of tg.analyses) line(gridAt, lums(a.curves, "adapted"), { stroke: "#7a8aa0", "stroke-width": 1, "stroke-opacity": 0.25, class: "faint-curve" });
    line(gridAt, lums(s, "lowest"), { stroke: "#333", "stroke-width": 1.5, "stroke-dasharray": "5 3" });
    line(gridAt, lums(s, "highest"), { stroke: "#333", "stroke-width": 1.5, "stroke-dasharray": "5 3" });
    line(gridAt, lums(s, "median"), { stroke: "#111", "stroke-width": 2.5 });
    const chosenLayer = el("svg:g", { class: "chosen-curve" }, p.body);
    p.legend("output = input", { stroke: "#bbb", "stroke-dasharray": "4 4" });
    p.legend("target peak " + tg.target_nits + " cd/m²", { stroke: "#000", "stroke-dasharray": "10 3 2 3" });
    p.legend(`every frame's adapted curve\n(${tg.analyses.length} distinct)`, { stroke: "#7a8aa0", "stroke-width": 1 });
    p.legend("median over the frames", { stroke: "#111", "stroke-width": 2.5 });
    p.legend("lowest and highest\n(above a frame's peak,\nits peak's output)", { stroke: "#333", "stroke-width": 1.5, "stroke-dasharray": "5 3" });
    p.legend("chosen frame: adapted curve", { stroke: "#0050d0", "stroke-width": 2.5 });
    p.legend("chosen frame: table,\ninterpolated", { stroke: "#e07000", "stroke-width": 1.5, "stroke-dasharray": "4 2" });
    p.legend("chosen frame: 33 table points", { stroke: "#e07000" }, "dot");
    p.legend("largest interpolation error", { stroke: FLAG_COLOR }, "dot");

    const errBox = el("div", {}, left);
    const heading = el("h3", { class: "chosen-frame" }, right);
    const info = el("div", { class: "note" }, right);
    const box = el("div", { class: "scroll" }, right);
    const table = el("table", { class: "grid points-table" }, box);

    selectors.push((i) => {
      const f = frameNos[i], a = tg.analyses[recordOf[i]], c = a.curves, r = records[recordOf[i]];
      const peak = r.source_peak_nits, pts = c.points;
      heading.textContent = `Frame ${f} at ${tg.target_nits} cd/m²: its table`;
      heading.setAttribute("data-frame", f);
      chosenLayer.replaceChildren(); errBox.replaceChildren(); table.replaceChildren();
      chosenLayer.setAttribute("data-frame", f);
      info.textContent = finite(peak)
        ? `Source peak ${fmt(peak)} cd/m². Largest interpolation error ${fmt(a.max_interpolation_error)} of unit gain at ${fmt(a.max_interpolation_error_at_nits)} cd/m².`
        : "No statistics: the source peak, and so luminances, are unknown.";
      for (const w of a.warnings) el("div", { style: "color:#a05000" }, info, "warning: " + w.message);
      el("div", {}, info, "Normalised gain: the table's y / 1048575, (output / target peak) ÷ (input / source peak).");
      const hr = el("tr", {}, el("thead", {}, table));
      ["entry", "input cd/m²", "normalised gain", "output cd/m²", "output / input"].forEach((h, k) => el("th", { class: k ? "num" : "" }, hr, h));
      const tb = el("tbody", {}, table);
      pts.input_nits.forEach((inNits, k) => {
        const tr = el("tr", { "data-entry": k }, tb);
        el("td", {}, tr, String(k));
        [inNits, pts.normalised_gain[k], pts.output_nits[k], pts.luminance_ratio[k]].forEach((v, q) =>
          el("td", { class: "num", "data-value": finite(v) ? v : NaN, "data-col": ["input", "gain", "output", "ratio"][q] }, tr, fmt(v, q === 3 ? 4 : 6)));
      });
      if (!finite(peak)) return;
      const inAt = lums(pts, "input"), outAt = lums(pts, "output");
      chosenLayer.appendChild(line(gridAt, lums(c, "adapted"), { stroke: "#0050d0", "stroke-width": 2.5 }));
      chosenLayer.appendChild(line(lums(c.table, "input"), lums(c.table, "output"), { stroke: "#e07000", "stroke-width": 1.5, "stroke-dasharray": "4 2" }));
      let hidden = 0;
      pts.input_nits.forEach((inNits, k) => {
        if (!(inNits >= grid[0]) || !p.inY(outAt[k])) { hidden++; return; }
        const dot = el("svg:circle", { cx: p.sx(inAt[k]), cy: p.sy(outAt[k]), r: 3.5, fill: "#e07000", class: "table-point" }, chosenLayer);
        dot.addEventListener("mousemove", (evt) => showTip(evt, [`entry ${k}`, `input ${fmt(inNits, 6)} cd/m²`, `output ${fmt(pts.output_nits[k], 6)} cd/m²`, `gain ${fmt(pts.normalised_gain[k], 6)}`]));
        dot.addEventListener("mouseleave", hideTip);
      });
      const largestIn = c.largest_error_input_nits;
      if (finite(largestIn) && largestIn >= grid[0]) {
        const y = lum(c, "largest_error_output");
        if (p.inY(y)) el("svg:circle", { cx: p.sx(lum(c, "largest_error_input")), cy: p.sy(y), r: 6, fill: "none", stroke: FLAG_COLOR, "stroke-width": 2 }, chosenLayer);
      }
      el("svg:text", { x: p.m.left + 6, y: p.m.top + p.ph - 8, fill: "#e07000" }, chosenLayer,
         `frame ${f}` + (hidden ? ` — ${hidden} of the 33 points lie below ${fmt(grid[0])} cd/m² input` : ""));
      const se = c.segment_errors, emax = a.max_interpolation_error;
      const e = makePlot(errBox, {
        width: 820, height: 220, cls: "error-curve", x: xAxis(),
        y: { min: 0, max: emax > 0 ? emax * 1.15 : 1e-6, log: false, label: "of unit gain", tickText: (v) => fmt(v, 2) }, margin: { right: 250 },
        title: `Frame ${f}: largest |table − curve| gain in each of the table's segments`,
      });
      const seAt = lums(se, "input");
      se.input_nits.forEach((inNits, k) => {
        if (!(inNits >= grid[0])) return;
        const x = e.sx(seAt[k]);
        el("svg:line", { x1: x, x2: x, y1: e.sy(0), y2: e.sy(se.error[k]), stroke: "#8c564b", "stroke-width": 2 }, e.body);
        el("svg:circle", { cx: x, cy: e.sy(se.error[k]), r: 2.5, fill: "#8c564b" }, e.body);
      });
      e.legend("largest error in a segment,\nat the input where it occurs", { stroke: "#8c564b", "stroke-width": 2 });
      e.legend(`frame's largest: ${fmt(a.max_interpolation_error)}\nat ${fmt(a.max_interpolation_error_at_nits)} cd/m²`, { stroke: FLAG_COLOR }, "dot");
      if (finite(largestIn) && largestIn >= grid[0])
        el("svg:circle", { cx: e.sx(lum(c, "largest_error_input")), cy: e.sy(a.max_interpolation_error), r: 5, fill: "none", stroke: FLAG_COLOR, "stroke-width": 2 }, e.over);
    });
  }

  // ---- the chosen frame's picture through the table and the curve ----------------
  function picturePanel(section, tg, t) {
    const pics = data.video && data.video.pictured;
    if (!pics || !pics.frame.length) return;
    const box = el("div", { class: "pictures", "data-target": tg.target_nits }, section);
    const heading = el("h3", { class: "picture-heading" }, box);
    const row = el("div", { class: "row" }, box);
    const panel = (cls, label) => {
      const fig = el("figure", { class: "picture" }, row);
      const img = el("img", { class: cls, alt: label, width: data.video.shown_width, height: data.video.shown_height }, fig);
      el("figcaption", {}, fig, label);
      return img;
    };
    const table = panel("picture-table", "through the table (33 points, interpolated as the display does)");
    const curve = panel("picture-curve", "through the exact adapted curve");
    const note = el("p", { class: "note" }, box);
    selectors.push((i) => {
      const { index, caption } = pictureChoice(pics.frame, frameNos[i]);
      heading.textContent = `The picture at ${tg.target_nits} cd/m²: ${caption}`;
      heading.setAttribute("data-frame", index >= 0 ? pics.frame[index] : "");
      const refused = index >= 0 ? pics.refused[index][t] : "";
      for (const [img, urls] of [[table, pics.table], [curve, pics.curve]]) {
        const url = index >= 0 ? urls[index][t] : "";
        if (url) { img.src = url; img.style.visibility = "visible"; } else { img.removeAttribute("src"); img.style.visibility = "hidden"; }
        img.setAttribute("data-frame", index >= 0 ? pics.frame[index] : "");
      }
      note.textContent = (refused ? "No picture: " + refused + ". " : "") +
        `SDR view: the panel's light over its peak (${tg.target_nits} cd/m² is SDR white), BT.2020 to BT.709 primaries, clipped, sRGB; ` +
        `shrunk to ${data.video.shown_width}×${data.video.shown_height} by averaging light before the tone stage. Tone stage only: ` +
        "the static EOTF, gamut and OETF tables are not applied.";
    });
  }

  // ---- tables, a page of rows at a time ---------------------------------------
  // `rows` in order; `cells(row)` their texts; `frameOf(row)` the frame index a row chooses.
  function pagedTable(section, cls, heads, numeric, rows, cells, frameOf, attrs) {
    const pager = el("div", { class: "pager note" }, section);
    const box = el("div", { class: "scroll" }, section);
    const t = el("table", Object.assign({ class: "grid " + cls }, attrs || {}), box);
    const hr = el("tr", {}, el("thead", {}, t));
    heads.forEach((h, k) => el("th", numeric[k] ? { class: "num" } : {}, hr, h));
    const tb = el("tbody", {}, t);
    let shown = 0;
    function show(page) {
      const r = pageRange(rows.length, page, TABLE_PAGE_ROWS);
      shown = r.page;
      tb.replaceChildren();
      for (let k = r.first; k < r.end; k++) {
        const i = frameOf(rows[k]);
        const tr = el("tr", { class: "pick" + (i === chosen ? " chosen" : ""), "data-frame": frameNos[i] }, tb);
        if (rows[k].level !== undefined) tr.setAttribute("data-level", rows[k].level);
        cells(rows[k]).forEach((text, q) => el("td", numeric[q] ? { class: "num" } : {}, tr, text));
        tr.addEventListener("click", () => choose(i));
      }
      pager.replaceChildren();
      if (r.pages === 1) return;
      el("span", {}, pager, `rows ${r.first + 1} to ${r.end} of ${rows.length} `);
      const prev = el("button", { type: "button", class: "page-prev" }, pager, "◀");
      const next = el("button", { type: "button", class: "page-next" }, pager, "▶");
      prev.disabled = r.page === 0; next.disabled = r.page === r.pages - 1;
      prev.addEventListener("click", () => show(shown - 1));
      next.addEventListener("click", () => show(shown + 1));
    }
    show(0);
    selectors.push((i) => { for (const tr of tb.children) tr.classList.toggle("chosen", Number(tr.getAttribute("data-frame")) === frameNos[i]); });
  }

  function flaggedTable(section, tg) {
    // flagged_frame_count counts the short runs' frames too: the jumps' own frames are counted here.
    const jumped = new Set(tg.flagged.map((j) => j.frame)).size;
    el("h3", {}, section, `Jumps inside a scene at ${tg.target_nits} cd/m²: ${tg.flagged.length}` +
       (jumped ? ` (${jumped} frame${jumped === 1 ? "" : "s"})` : ""));
    if (!tg.flagged.length) { el("p", { class: "note" }, section, "No frame changes the output by more than the threshold within a scene."); return; }
    pagedTable(section, "flagged-table", ["frame", "scene", "input level", "before → after (cd/m²)", "ratio", "before → after (PQ code)", "change (codes)"],
      [false, false, false, true, true, true, true], tg.flagged,
      (j) => [String(j.frame), String(j.scene), levelShort(j.level), `${fmt(j.before_nits)} → ${fmt(j.after_nits)}`,
              fmt(j.output_ratio, 3) + "×", `${fmt(j.before_pq_code, 4)} → ${fmt(j.after_pq_code, 4)}`, fmt(j.pq_code_change, 3)],
      (j) => lowerBound(frameNos, j.frame), { "data-target": tg.target_nits });
  }

  // The short runs that stand out, a row a run; a row chooses the run's first frame.
  function shortRunTable(section, tg) {
    const runs = tg.glitches, frames = runs.reduce((n, g) => n + runLength(g), 0);
    el("h3", {}, section, `Short runs that stand out at ${tg.target_nits} cd/m²: ${runs.length}` +
       (runs.length ? ` (${frames} frame${frames === 1 ? "" : "s"})` : ""));
    if (!runs.length) {
      el("p", { class: "note" }, section, `No run of 1 to ${data.jump_check.max_short_run_frames} frames of identical metadata ` +
         `is above both neighbouring runs or below both by more than ${data.jump_threshold_pq_codes} PQ codes.`);
      return;
    }
    pagedTable(section, "short-run-table", ["frames", "length", "scene", "input level", "stands out",
      "before → run → after (cd/m²)", "before → run → after (PQ code)"],
      [false, true, false, false, false, true, true], runs,
      (g) => [g.first_frame === g.last_frame ? String(g.first_frame) : `${g.first_frame} to ${g.last_frame}`,
              `${runLength(g)} frame${runLength(g) === 1 ? "" : "s"}`, String(sceneOf[lowerBound(frameNos, g.first_frame)]),
              levelShort(g.level), `${g.run_pq_code > g.before_pq_code ? "above" : "below"} frames ${g.previous_frame} and ${g.next_frame}`,
              `${fmt(g.before_nits)} → ${fmt(g.run_nits)} → ${fmt(g.after_nits)}`,
              `${fmt(g.before_pq_code, 4)} → ${fmt(g.run_pq_code, 4)} → ${fmt(g.after_pq_code, 4)}`],
      (g) => lowerBound(frameNos, g.first_frame), { "data-target": tg.target_nits });
  }

  function warningsTable(section, tg) {
    const withWarnings = [];
    for (let i = 0; i < N; i++) if (tg.analyses[recordOf[i]].warnings.length) withWarnings.push(i);
    el("h3", {}, section, `Warnings at ${tg.target_nits} cd/m²: ${withWarnings.length} frames`);
    if (!withWarnings.length) { el("p", { class: "note" }, section, "No frame's table gives a warning."); return; }
    pagedTable(section, "warnings-table", ["frame", "warnings"], [false, false], withWarnings,
      (i) => [String(frameNos[i]), tg.analyses[recordOf[i]].warnings.map((w) => w.message).join("; ")], (i) => i);
  }

  // ---- the chosen frame's statistics, stated beside measured ------------------
  const STATISTICS = [["source peak (the curve's input 1.0)", "source_peak"], ["average maxRGB", "average_maxrgb"],
    ["50 % of pixels at or below", "percentile_50"], ["99 % of pixels at or below", "percentile_99"]];
  const nits = (v, none) => finite(v) ? `${fmt(v)} cd/m²` : none;
  function chosenStatistics() {
    const box = document.getElementById("chosen-statistics");
    box.replaceChildren();
    if (!N) return;
    const measured = data.video && data.video.measured;
    const caption = el("h3", {}, box);
    const t = el("table", { class: "grid statistics" }, box);
    const head = el("tr", {}, el("thead", {}, t));
    el("th", {}, head, "");
    el("th", { class: "num" }, head, "stated in the metadata");
    if (measured) el("th", { class: "num" }, head, "measured in the picture");
    const tb = el("tbody", {}, t);
    const cells = STATISTICS.map(([label, key]) => {
      const tr = el("tr", { "data-statistic": key }, tb);
      el("th", {}, tr, label);
      return [el("td", { class: "num stated" }, tr), measured ? el("td", { class: "num measured" }, tr) : null];
    });
    selectors.push((i) => {
      const r = records[recordOf[i]], f = frameNos[i];
      caption.textContent = `Statistics of frame ${f}`;
      STATISTICS.forEach(([, key], k) => {
        cells[k][0].textContent = nits(r[key + "_nits"], "not stated");
        if (measured) cells[k][1].textContent = nits(measured[key + "_nits"][f], "—");
      });
    });
  }

  const host = document.getElementById("targets");
  function renderTargets() {
    host.replaceChildren();
    selectors = [];
    timelines.length = 0;
    thumbnailStrip();
    chosenStatistics();
    for (const tg of data.targets) {
      const section = el("section", { class: "target", id: "target-" + tg.target_nits }, host);
      const h = el("h2", {}, section, `Target display ${tg.target_nits} cd/m²`);
      // With no frame read there is nothing to have jumped: no "no jumps" badge.
      if (!N) { el("p", {}, section, "No frame could be read."); continue; }
      el("span", { class: "badge " + tg.badge.kind }, h, tg.badge.text);
      const t1 = el("div", {}, section), t2 = el("div", {}, section);
      timelines.push(() => { t1.replaceChildren(); timeline(t1, tg); });
      timelines.push(() => { t2.replaceChildren(); errorTimeline(t2, tg); });
      curvePanel(section, tg);
      picturePanel(section, tg, data.targets.indexOf(tg));
      flaggedTable(section, tg);
      shortRunTable(section, tg);
      warningsTable(section, tg);
    }
    drawTimelines();
  }

  // ---- choosing a frame and the frames shown ------------------------------------
  const input = document.getElementById("frame-input");
  function choose(i) {
    if (!(i >= 0 && i < N)) return;
    chosen = i;
    input.value = frameNos[i];
    for (const c of cursors) c(i);
    for (const s of selectors) s(i);
  }
  const chooseFrame = (f) => { const i = lowerBound(frameNos, f); if (frameNos[i] === f) choose(i); };
  input.addEventListener("change", () => choose(nearestIndex(frameNos, Number(input.value))));
  document.getElementById("prev").addEventListener("click", () => choose(chosen - 1));
  document.getElementById("next").addEventListener("click", () => choose(chosen + 1));
  document.getElementById("axes").addEventListener("change", (evt) => {
    axesMode = evt.target.value;
    renderTargets();
    if (chosen >= 0) choose(chosen);
  });
  const viewFrom = document.getElementById("view-from"), viewTo = document.getElementById("view-to");
  viewFrom.value = Math.ceil(full.from); viewTo.value = Math.floor(full.to);
  const typedView = () => {
    const a = Number(viewFrom.value), b = Number(viewTo.value);
    if (!(b >= a)) return;
    setView(zoomView({ from: a - 0.5, to: b + 0.5 }, full, (a + b) / 2, 1));
  };
  viewFrom.addEventListener("change", typedView);
  viewTo.addEventListener("change", typedView);
  document.getElementById("view-all").addEventListener("click", () => setView(Object.assign({}, full)));

  renderTargets();
  if (N) {
    const firstFlag = data.targets.map((t) => t.flagged.length ? t.flagged[0].frame : null).find((f) => f !== null);
    if (firstFlag !== undefined && firstFlag !== null) chooseFrame(firstFlag); else choose(0);
  }
  window.kestrelReport = {
    data: data, chosen: () => (chosen >= 0 ? frameNos[chosen] : null), choose: chooseFrame,
    view: () => Object.assign({}, view), setView: (from, to) => setView(zoomView({ from: from - 0.5, to: to + 0.5 }, full, (from + to) / 2, 1)),
  };
}

if (typeof document !== "undefined" && document.getElementById("kestrel-data"))
  main(JSON.parse(document.getElementById("kestrel-data").textContent));
