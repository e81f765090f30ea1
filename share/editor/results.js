// The results of the editor page: the tables of weights, the charts (the
// server's SVG, opened at full width on a tap), the report of a stop and
// the warnings of a run that went on.
'use strict';

// The results' part of the page, on the page's state and helpers.
function kalpResults({ state, $, el }) {
  function table(t) {
    const tb = el('table', { class: 'values', id: 'table-' + t.id, 'data-table': t.id });
    tb.append(el('thead', {}, el('tr', {}, el('th', { text: 'Trait' }), el('th', { text: 'Direct' }),
      el('th', { text: 'Maternal' }))));
    const body = el('tbody');
    for (const r of t.rows) {
      const tr = el('tr', {}, el('th', { scope: 'row' }, el('span', { class: 'num', text: r.trait }), r.name));
      for (const c of r.cells)
        tr.append(el('td', c.component ? { 'data-trait': r.trait, 'data-component': c.component, text: c.text } : { text: c.text }));
      body.append(tr);
    }
    if (t.sum) body.append(el('tr', { class: 'sum' }, el('th', { text: 'Sum' }), el('td', { text: t.sum[0] }), el('td', { text: t.sum[1] })));
    if (t.share) body.append(el('tr', { class: 'sum' }, el('th', { text: 'Share in the total (%)' }), el('td', { text: t.share[0] }), el('td', { text: t.share[1] })));
    tb.append(body);
    return [el('h3', { text: t.title }), el('div', { class: 'tablebox' }, tb)];
  }

  // The charts are the server's SVG, the very ones that kalp --plot writes;
  // a chart is put in again only when its text changes.
  function chart(id, text) {
    const box = $(id);
    box.hidden = !text;
    if (state.svg[id] === text) return;
    state.svg[id] = text;
    if (!text) {
      box.replaceChildren();
      return;
    }
    const doc = new DOMParser().parseFromString(text, 'image/svg+xml');
    const svg = doc.documentElement;
    if (svg.nodeName !== 'svg') return;
    box.replaceChildren(document.importNode(svg, true), el('figcaption', { class: 'readout', text: '' }));
  }

  // A mark of a chart carries its data: pointing at it shows them.
  function readout(e) {
    const mark = e.target.closest('[data-trait], [data-class]');
    const box = e.target.closest('figure');
    if (!box) return;
    const cap = box.querySelector('.readout');
    if (!cap) return;
    if (!mark) {
      cap.textContent = '';
      return;
    }
    const d = mark.dataset;
    const what = d.trait ? 'trait ' + d.trait + (d.component ? ' ' + d.component : '') : 'class ' + d.class;
    cap.textContent = what + (d.value !== undefined ? ': ' + d.value : '');
  }
  for (const id of ['geneflow', 'weightschart']) $(id).addEventListener('mouseover', readout);

  // A tap on a chart opens it over the page at its own width (on a phone
  // far wider than the screen, to be scrolled); a tap on it, Escape or
  // the button closes it.
  function openchart(box) {
    const svg = box.querySelector('svg');
    if (!svg) return;
    const copy = svg.cloneNode(true);
    copy.style.width = Math.max(+svg.getAttribute('width') || 0, innerWidth - 16) + 'px';
    $('chartbody').replaceChildren(copy);
    $('chartview').hidden = false;
    document.body.classList.add('chartopen');
    state.opened = box;
    $('chartclose').focus({ preventScroll: true });
  }
  function closechart() {
    if ($('chartview').hidden) return;
    $('chartview').hidden = true;
    $('chartbody').replaceChildren();
    document.body.classList.remove('chartopen');
    if (state.opened) state.opened.focus({ preventScroll: true });
  }
  for (const id of ['geneflow', 'weightschart']) {
    const box = $(id);
    box.setAttribute('tabindex', '0');
    box.setAttribute('role', 'button');
    box.title = 'Open the chart at full width';
    box.addEventListener('click', () => openchart(box));
    box.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' || e.key === ' ') {
        e.preventDefault();
        openchart(box);
      }
    });
  }
  $('chartbody').addEventListener('click', closechart);
  $('chartclose').addEventListener('click', closechart);
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape') closechart();
  });

  function result(r) {
    const report = $('report');
    if (!r.complete) {
      report.textContent = r.stop.report;
      report.hidden = false;
      $('advice').textContent = r.stop.advice || '';
      $('advice').hidden = !r.stop.advice;
      $('detail').textContent = r.stop.detail || '';
      $('detail').hidden = !r.stop.detail;
      $('outcome').hidden = !state.lastResult;
      $('outcome').classList.add('stale');
      $('stale').hidden = false;
      return;
    }
    report.hidden = true;
    report.textContent = '';
    $('advice').hidden = true;
    $('detail').hidden = true;
    state.lastResult = r;
    $('outcome').hidden = false;
    $('outcome').classList.remove('stale');
    $('stale').hidden = true;
    // Tables of the same rows keep their elements: only texts change.
    const texts = (cells, values) => cells.forEach((td, i) => {
      if (td.textContent !== values[i]) td.textContent = values[i];
    });
    const box = $('tables');
    const shape = JSON.stringify(r.tables.map((t) => [t.id, t.rows.map((w) => [w.trait, w.cells.map((c) => c.component)]),
      !!t.sum, !!t.share]));
    if (box.shape !== shape) {
      const tables = document.createDocumentFragment();
      for (const t of r.tables) tables.append(...table(t));
      box.replaceChildren(tables);
      box.shape = shape;
    } else {
      texts(box.querySelectorAll('td'), r.tables.flatMap((t) => [...t.rows.flatMap((w) => w.cells.map((c) => c.text)),
        ...(t.sum || []), ...(t.share || [])]));
    }
    chart('geneflow', r.charts.geneflow);
    chart('weightschart', r.charts.weights);
    const classes = $('classes');
    const layout = JSON.stringify(r.classes.map((c) => [c.class, c.system, c.group, c.age]));
    if (classes.shape === layout) {
      texts(classes.querySelectorAll('td.flow'), r.classes.map((c) => c.flow));
      return;
    }
    const rows = document.createDocumentFragment();
    rows.append(el('thead', {}, el('tr', {}, ...['Class', 'System', 'Sex and age group', 'Age', 'Gene flow']
      .map((h) => el('th', { text: h })))));
    const body = el('tbody');
    for (const c of r.classes)
      body.append(el('tr', { class: c.traceable ? null : 'progeny' }, el('td', { class: 'num', text: c.class }),
        el('td', { text: c.system }), el('td', { text: c.group }), el('td', { text: c.age }),
        el('td', { class: 'flow', text: c.flow })));
    rows.append(body);
    classes.replaceChildren(rows);
    classes.shape = layout;
  }

  // What the run read but doubts (numbers left over in a file, unusual
  // ages or age weights), as the server words it, above the results.
  function warnings(list) {
    const box = $('warnings');
    const shown = [...$('warninglist').children].map((li) => li.textContent);
    if (JSON.stringify(shown) !== JSON.stringify(list))
      $('warninglist').replaceChildren(...list.map((w) => el('li', { text: w })));
    box.hidden = list.length === 0;
  }

  return { result, warnings };
}
