#include "dashboard/PageAssets.h"

namespace vantrel::dashboard {

const char* const kIndexHtml = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>The line at a glance</title>
<link rel="stylesheet" href="/style.css">
<script src="/app.js" defer></script>
</head>
<body>
<header>
<h1>The line at a glance</h1>
<p id="status" class="status">Connecting to the line&hellip;</p>
</header>
<main>
<section>
<h2>Benches</h2>
<div id="benches" class="tiles"></div>
<p id="no-benches" class="empty">No bench has sent a record since yesterday.</p>
</section>
<section>
<h2>Today's yield per model</h2>
<table id="yield">
<thead><tr><th>Model</th><th>Boards</th><th>First pass</th><th>Final</th></tr></thead>
<tbody></tbody>
</table>
</section>
<section>
<h2>Latest failed boards</h2>
<table id="failed">
<thead><tr><th>Serial number</th><th>Model</th><th>Failed</th><th>Action</th><th>Verdict</th><th>Later</th><th>Certificate</th></tr></thead>
<tbody></tbody>
</table>
</section>
<section id="meters-section" hidden>
<h2>Reference meters</h2>
<p id="meters-problem" class="problem" hidden></p>
<table id="meters">
<thead><tr><th>Serial number</th><th>Model</th><th>Asset tag</th><th>Certificate</th><th>Calibrated</th><th>Due</th><th>Laboratory</th><th>Standing</th></tr></thead>
<tbody></tbody>
</table>
</section>
<section>
<h2>Readings and interrupt timing today</h2>
<div id="charts" class="charts"></div>
</section>
</main>
</body>
</html>
)html";

const char* const kAppJs = R"js('use strict';
// Renders the line's state as the server sends it over the event stream: first all of it,
// then only the parts that changed. Every text from the records goes in through textContent,
// never as markup.
(() => {
  const current = { tiles: new Map() };
  let serverAhead = 0;  // the server's clock minus this browser's, in ms

  const $ = (id) => document.getElementById(id);
  const make = (tag, className, text) => {
    const element = document.createElement(tag);
    if (className) element.className = className;
    if (text !== undefined) element.textContent = String(text);
    return element;
  };
  const shownTime = (iso) => (iso || '').replace('T', ' ').replace(/\.\d+Z$/, ' UTC');
  const percent = (part, whole) => (whole > 0 ? Math.round((100 * part) / whole) + '%' : '-');
  const ageText = (seconds) => {
    if (seconds < 60) return seconds + ' s ago';
    if (seconds < 3600) return Math.floor(seconds / 60) + ' min ago';
    return Math.floor(seconds / 3600) + ' h ' + Math.floor((seconds % 3600) / 60) + ' min ago';
  };
  const benchKey = (bench) => bench.host + '\n' + bench.folder;

  const tile = (bench) => {
    const age = Math.max(0, Math.floor((Date.now() + serverAhead - Date.parse(bench.ended)) / 1000));
    const quiet = age > current.quietAfter;
    const waiting = (bench.waiting || 0) + (bench.setAside || 0) > 0;
    const box = make('div', 'tile ' + (bench.passed ? 'pass' : 'fail') + (quiet ? ' quiet' : '') +
        (waiting ? ' waiting' : ''));
    box.append(make('div', 'host', bench.host));
    box.append(make('div', 'folder', bench.folder));
    box.append(make('div', 'board', (bench.serial || '(no serial number)') + ' \u00b7 ' + bench.model));
    box.append(make('div', 'action', bench.action + ': ' + bench.verdict));
    box.append(make('div', 'age', Number.isNaN(age) ? 'last record at an unknown time'
        : (quiet ? 'QUIET: nothing for ' : 'last record ') + ageText(age)));
    if (waiting) {
      box.append(make('div', 'backlog', 'WAITING: ' + bench.waiting + ' record(s) not yet forwarded, ' +
          bench.setAside + ' set aside'));
    }
    return box;
  };

  const renderBenches = () => {
    if (current.version === undefined) return;
    $('benches').replaceChildren(...[...current.tiles.values()].map(tile));
    $('no-benches').hidden = current.tiles.size > 0;
  };

  const row = (cells, className) => {
    const tr = make('tr', className);
    for (const cell of cells) {
      const td = make('td');
      if (cell instanceof Node) td.append(cell); else td.textContent = String(cell);
      tr.append(td);
    }
    return tr;
  };

  const certificateLink = (link) => {
    const a = make('a', '', 'certificate');
    a.href = '/certificate?' + new URLSearchParams(link).toString();
    a.target = '_blank';
    a.rel = 'noopener';
    return a;
  };

  const renderCharts = (charts) => {
    const box = $('charts');
    const kept = new Map([...box.children].map((f) => [f.dataset.name, f]));
    const figures = charts.map((chart) => {
      let figure = kept.get(chart.name);
      if (!figure) {
        figure = make('figure');
        figure.dataset.name = chart.name;
        figure.append(make('img'), make('figcaption'));
      }
      const img = figure.querySelector('img');
      const src = '/chart?' + new URLSearchParams({ name: chart.name, v: chart.v }).toString();
      if (img.getAttribute('src') !== src) img.src = src;
      img.alt = chart.title;
      figure.querySelector('figcaption').textContent = chart.title;
      return figure;
    });
    box.replaceChildren(...figures);
  };

  const standing = (meter) => (meter.overdue ? 'OVERDUE by ' + -meter.days + ' day(s)'
      : meter.standing + ', due in ' + meter.days + ' day(s)');

  const renderMeters = (meters) => {
    $('meters-section').hidden = meters === null;
    if (meters === null) return;
    $('meters-problem').hidden = !meters.error;
    $('meters-problem').textContent = meters.error ? 'The register cannot be read: ' + meters.error : '';
    $('meters').tBodies[0].replaceChildren(...(meters.meters || []).map((m) =>
        row([m.serial, m.model, m.assetTag, m.certificate, m.calibrated, m.due, m.lab, standing(m)],
            m.overdue ? 'overdue' : '')));
  };

  const sections = {
    yield: (rows) => $('yield').tBodies[0].replaceChildren(...rows.map((y) =>
        row([y.model, y.boards, percent(y.firstPass, y.boards), percent(y.finalPass, y.boards)]))),
    failed: (rows) => $('failed').tBodies[0].replaceChildren(...rows.map((f) =>
        row([f.serial || '(none)', f.model, shownTime(f.when), f.action, f.verdict,
             f.passedLater ? 'passed later' : '', certificateLink(f.certificate)]))),
    charts: renderCharts,
    meters: renderMeters,
  };

  const apply = (update) => {
    for (const name of ['version', 'day', 'made', 'quietAfter', 'records', 'boards']) current[name] = update[name];
    serverAhead = Date.parse(update.made) - Date.now();
    if (update.benches) current.tiles = new Map(update.benches.map((b) => [benchKey(b), b]));
    for (const b of update.tiles || []) current.tiles.set(benchKey(b), b);
    document.body.dataset.version = String(update.version);
    $('status').textContent = 'Live \u00b7 ' + update.records + ' records and ' + update.boards +
        ' boards today (' + update.day + ') \u00b7 updated ' + shownTime(update.made);
    $('status').className = 'status live';
    renderBenches();
    for (const [name, render] of Object.entries(sections)) {
      if (name in update) render(update[name]);
    }
  };

  const events = new EventSource('/events');
  events.addEventListener('state', (event) => apply(JSON.parse(event.data)));
  events.onerror = () => {
    $('status').textContent = 'The connection to the dashboard was lost; trying again\u2026';
    $('status').className = 'status lost';
  };
  setInterval(renderBenches, 1000);
})();
)js";

const char* const kStyleCss =
    R"css(body { font-family: "Liberation Sans", Arial, sans-serif; margin: 0; background: #f4f5f7; color: #1c1c1c; }
header { background: #23303f; color: white; padding: 0.6em 1.2em; }
header h1 { margin: 0; font-size: 1.4em; }
.status { margin: 0.2em 0 0; font-size: 0.9em; }
.status.lost { color: #ffb347; }
main { padding: 0.4em 1.2em 2em; }
h2 { font-size: 1.1em; margin: 1.2em 0 0.5em; }
.tiles { display: grid; grid-template-columns: repeat(auto-fill, minmax(15em, 1fr)); gap: 0.6em; }
.tile { background: white; border-left: 0.5em solid #2e8b57; padding: 0.5em 0.7em; border-radius: 3px; box-shadow: 0 1px 2px #0002; overflow-wrap: anywhere; }
.tile.fail { border-left-color: #d23c2a; }
.tile.quiet { background: #fff3cd; border-left-color: #e0a800; }
.tile.waiting { outline: 0.2em dashed #b35c00; }
.tile .backlog { color: #8a3c00; font-weight: bold; font-size: 0.85em; }
.tile .host { font-weight: bold; }
.tile .folder, .tile .age { color: #555; font-size: 0.85em; }
.tile.quiet .age { color: #8a5a00; font-weight: bold; }
.empty { color: #666; }
.problem { color: #a00; font-weight: bold; }
tr.overdue td { background: #fde2df; color: #8a1100; font-weight: bold; }
table { border-collapse: collapse; background: white; }
th, td { border: 1px solid #ccd; padding: 0.25em 0.6em; text-align: left; overflow-wrap: anywhere; }
th { background: #e8ebf0; }
.charts { display: flex; flex-wrap: wrap; gap: 0.8em; }
figure { margin: 0; background: white; padding: 0.4em; box-shadow: 0 1px 2px #0002; }
figure img { width: 450px; height: auto; display: block; }
figcaption { font-size: 0.85em; color: #444; }
)css";

}  // namespace vantrel::dashboard
