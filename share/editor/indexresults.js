// The results of the selection index in the editor page: per path the
// accuracy, the deviations of index and objective and the response per
// generation and per year, the chart of kalp index --plot, the value of
// each source and the sensitivity to each economic weight, as the server
// computed them; or the stop of the index, with the cell it names marked
// and, where the parameters are not possible together, the correlations
// that bending would move and the index it would give.
'use strict';

function kalpIndexResults({ state, $, el, control, refresh }) {
  // The headings of the columns of the index's files; a column not named
  // here is not shown (its values are in the row's title).
  const headings = {
    path: 'Path', source: 'Source', trait: 'Trait', component: 'Component', records: 'Records', change: 'Weight',
    sd_index: 'σ index', sd_objective: 'σ objective', accuracy: 'Accuracy', intensity: 'Intensity',
    generation_interval: 'Interval (years)', response_generation: 'ΔH per generation', response_year: 'ΔH per year',
    accuracy_without: 'Accuracy without', response_without: 'ΔH without', share_lost: 'Lost (%)',
    gain_one_more: 'ΔH by one more', efficiency: 'Efficiency', economic_weight: 'Economic weight',
    value_year: 'Value per year', share: 'Share (%)', b: 'b', b_sd: 'b × σ',
  };
  const numeric = new Set(['records', 'sd_index', 'sd_objective', 'accuracy', 'intensity', 'generation_interval',
    'response_generation', 'response_year', 'accuracy_without', 'response_without', 'share_lost', 'gain_one_more',
    'efficiency', 'economic_weight', 'value_year', 'share', 'b', 'b_sd']);
  const ix = { marked: [], bentshown: false };

  // A number as the page shows it: four significant digits; the file's
  // text stays on the cell.
  function shown(text) {
    if (text === '' || !/^[-+0-9.eE]+$/.test(text)) return text;
    const x = Number(text);
    if (!Number.isFinite(x)) return text;
    if (x !== 0 && (Math.abs(x) >= 1e6 || Math.abs(x) < 1e-3)) return x.toPrecision(4);
    return String(Number(x.toPrecision(4)));
  }

  // A table of the index's files: the columns with a heading, the trait
  // shown with its name. A long table shows its first rows until the user
  // asks for all of them (and the server sends only those): thousands of
  // cells sent and laid out anew with every edit would slow the page down.
  // The rows keep their elements while the table keeps its shape; only
  // texts change.
  const first = 12;
  const all = new Set();
  function grid(box, id, t, title) {
    const cols = t.columns.map((c, i) => [c, i]).filter(([c]) => headings[c]);
    const named = t.columns.indexOf('name');
    box.all = all.has(id) && t.rows.length === t.total;
    const rows = box.all ? t.rows : t.rows.slice(0, first);
    const shape = JSON.stringify([box.all, cols.map(([c]) => c), rows.map((r) => cols.filter(([c]) => !numeric.has(c)).map(([, i]) => r[i]))]);
    // A trait that is only recorded has no number: its name stands there.
    const cells = (r) => cols.map(([c, i]) => ({
      c, text: c === 'trait' && r[i] === '' && named >= 0 ? r[named] : r[i], title: c === 'trait' && named >= 0 ? r[named] : null,
    }));
    box.last = [id, t, title];
    if (box.shape === shape) {
      const tds = box.querySelectorAll('td');
      let k = 0;
      for (const r of rows)
        for (const x of cells(r)) {
          const td = tds[k++];
          if (td.dataset.value !== x.text) {
            td.dataset.value = x.text;
            td.textContent = numeric.has(x.c) ? shown(x.text) : x.text;
          }
        }
      return;
    }
    const table = el('table', { class: 'values ires', 'data-table': id });
    table.append(el('thead', {}, el('tr', {}, ...cols.map(([c]) => el('th', { class: (numeric.has(c) ? 'n ' : 't ') + c, title: c, text: headings[c] })))));
    const body = el('tbody');
    for (const r of rows)
      body.append(el('tr', {}, ...cells(r).map((x) => el('td', {
        class: numeric.has(x.c) ? 'n' : null, 'data-col': x.c, 'data-value': x.text, title: x.title,
        text: numeric.has(x.c) ? shown(x.text) : x.text,
      }))));
    table.append(body);
    const more = t.total > first
      ? el('p', { class: 'more' }, el('button', { type: 'button', class: 'allrows', 'data-table': id, 'aria-expanded': String(box.all),
        text: box.all ? 'Show the first ' + first + ' rows' : 'Show all ' + t.total + ' rows' }))
      : null;
    box.replaceChildren(el('h3', { text: title }), el('div', { class: 'tablebox' }, table), ...(more ? [more] : []));
    box.shape = shape;
    if (box.refocus && more) more.firstChild.focus({ preventScroll: true });
    box.refocus = false;
  }
  // All rows of a table come with the next answer; the first ones at once.
  function allrows(e) {
    const b = e.target.closest('button.allrows');
    if (!b) return;
    const id = b.dataset.table;
    if (all.has(id)) {
      all.delete(id);
      const box = b.closest('[data-part]');
      box.refocus = true;
      grid(box, ...box.last);
    } else {
      all.add(id);
      b.disabled = true;
      b.closest('[data-part]').refocus = true;
      refresh();
    }
  }
  $('indexout').addEventListener('click', allrows);
  $('indexbentbody').addEventListener('click', allrows);

  function chart(box, svgtext) {
    if (box.svgtext === svgtext) return;
    box.svgtext = svgtext;
    const doc = new DOMParser().parseFromString(svgtext, 'image/svg+xml');
    const svg = doc.documentElement;
    box.replaceChildren(...(svg.nodeName === 'svg' ? [document.importNode(svg, true)] : []));
  }

  function outcome(result, into) {
    const parts = {};
    for (const id of ['index', 'chart', 'sources', 'sensitivity', 'response', 'weights']) {
      let box = into.querySelector(':scope > [data-part="' + id + '"]');
      if (!box) {
        box = el(id === 'chart' ? 'figure' : 'div', { 'data-part': id, class: id === 'chart' ? 'chart ichart' : null });
        into.append(box);
      }
      parts[id] = box;
    }
    const t = result.tables;
    grid(parts.index, 'index', t.index, 'Response per path');
    chart(parts.chart, result.chart);
    grid(parts.sources, 'sources', t.sources, 'Value of each source: the index without it');
    grid(parts.sensitivity, 'sensitivity', t.sensitivity, 'Sensitivity: efficiency with a weight changed');
    grid(parts.response, 'response', t.response, 'Response of each component');
    if (t.weights) grid(parts.weights, 'weights', t.weights, 'Index weights');
    else parts.weights.replaceChildren();
  }

  // The report of a stop stands right above the grid of the cell it names, so
  // that on a phone it is in view with the cell; else above the tables.
  const note = $('indexnote');
  function home() {
    if (note.parentNode !== $('indexform')) $('indextables').before(note);
  }
  function place(c) {
    const box = c && c.closest('.igridbox');
    if (box) box.before(note);
  }

  function unmark() {
    for (const c of ix.marked) {
      c.removeAttribute('aria-invalid');
      c.removeAttribute('aria-describedby');
    }
    ix.marked = [];
  }
  function mark(file, key, column) {
    if (!file || !key) return;
    const c = control(file, key, column || null);
    if (!c) return;
    c.setAttribute('aria-invalid', 'true');
    c.setAttribute('aria-describedby', 'indexnote');
    ix.marked.push(c);
  }

  // The answer's index: a stop, a scenario to correct first, or a result.
  function show(index) {
    unmark();
    const stop = index.stop, result = index.result;
    note.hidden = !stop;
    $('indexadvice').hidden = !index.waiting;
    $('indexadvice').textContent = index.waiting || '';
    const bent = index.bent;
    $('indexbent').hidden = !bent;
    if (stop) {
      $('indexnoteadvice').textContent = stop.advice || '';
      $('indexnotereport').textContent = stop.report + (stop.detail ? '\n' + stop.detail : '');
      mark(stop.file, stop.key, stop.column);
      for (const m of stop.marks || []) mark(m.file, m.key, m.column || 'value');
      place(ix.marked[0]);
    } else home();
    if (bent) {
      $('indexbentlist').replaceChildren(...bent.moved.map((m) => el('li', {
        text: m.between + ' and ' + m.and + ': ' + shown(String(m.given)) + ' → ' + shown(String(m.bent)),
      })));
      outcome(bent.result, $('indexbentbody'));
    }
    if (result) {
      state.indexresult = result;
      outcome(result, $('indexout'));
    }
    $('indexoutcome').hidden = !state.indexresult;
    $('indexoutcome').classList.toggle('stale', !result);
    $('indexstale').hidden = !!result;
  }

  $('indexbentshow').addEventListener('click', () => {
    ix.bentshown = !ix.bentshown;
    $('indexbentbody').hidden = !ix.bentshown;
    $('indexbentshow').setAttribute('aria-expanded', String(ix.bentshown));
    $('indexbentshow').textContent = ix.bentshown ? 'Hide the index of the bent matrix' : 'Show the index of the bent matrix';
  });

  // What the server is to send of the tables.
  const wanted = () => ({ indexrows: first, indexall: [...all] });

  return { show, home, wanted };
}
