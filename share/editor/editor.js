// The scenario editor page. The server reads the files, runs the engine
// and describes the form; the page shows it, sends every value after each
// edit and shows the result or the stop of the run.
'use strict';

(() => {
  const token = new URLSearchParams(location.search).get('token') || '';
  const $ = (id) => document.getElementById(id);
  // The sections in the order of the results file.
  const order = ['top', 'INPUTVRD01A.TXT', 'INPUTVRD01B.TXT', 'INPUTVRD02.TXT', 'INPUTVRD03.TXT',
    'INPUTVRD04.TXT', 'INPUTVRD05.TXT'];
  // The events of one edit go to the server as one scenario.
  const pause = 0;
  // Scenarios with the server at one time; later edits wait for an answer.
  const most = 2;

  const state = {
    version: 0,
    values: {}, // file -> model variable -> text: every value read or typed
    form: null, // the sections shown
    changed: [], // files whose text differs from the saved one
    timer: 0,
    inflight: 0, // scenarios sent and not yet answered
    waiting: false, // an edit waits for an answer before it is sent
    sent: 0,
    shown: 0,
    editedAt: 0,
    stopKey: '',
    lastResult: null,
    svg: {},
    answers: 0, // scenarios shown, for tests
    latencies: [], // ms from the last edit to the painted page
  };
  window.kalpEditor = state;

  function el(tag, attrs, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
      if (v === undefined || v === null || v === false) continue;
      if (k === 'text') e.textContent = v;
      else if (k === 'class') e.className = v;
      else e.setAttribute(k, v === true ? '' : String(v));
    }
    for (const c of children) if (c !== null && c !== undefined) e.append(c);
    return e;
  }

  async function api(path, body) {
    const init = { headers: { 'X-KALP-Token': token } };
    if (body !== undefined) {
      init.method = 'POST';
      init.headers['Content-Type'] = 'application/json';
      init.body = JSON.stringify(body);
    }
    try {
      const res = await fetch(path, init);
      let data;
      try {
        data = await res.json();
      } catch (e) {
        data = { error: 'The server answered ' + res.status + ' without a message.' };
      }
      return { status: res.status, data };
    } catch (e) {
      return { status: 0, data: { error: 'The server cannot be reached. Is kalp serve still running?' } };
    }
  }

  const value = (file, v) => (state.values[file] || {})[v];
  function setvalue(file, v, text) {
    if (!state.values[file]) state.values[file] = {};
    state.values[file][v] = text;
  }

  function fieldsof(item) {
    if (item.type === 'field') return [item.field];
    if (item.type === 'list') return item.fields;
    return item.rows.flatMap((r) => r.cells.filter((c) => c));
  }

  function control(sel) {
    return $('form').querySelector('[data-file="' + CSS.escape(sel.file) + '"][data-var="' + CSS.escape(sel.var) + '"]');
  }

  // Values the server gives for fields the page has no text for: a new
  // list item, a number of a record that came into use.
  function adopt(form) {
    const active = document.activeElement;
    for (const sec of form.sections)
      for (const item of sec.items)
        for (const f of fieldsof(item)) {
          const mine = value(f.file, f.var);
          if (mine === undefined || (mine === '' && f.text !== '')) {
            const c = control(f);
            if (c && c === active) continue;
            setvalue(f.file, f.var, f.text);
            if (c && c.type === 'text') c.value = f.text;
          }
        }
  }

  // A run that stopped read the files only up to the stop: the sections it
  // did not reach stay as they were, and the one it stopped in keeps the
  // items after the stop.
  function merge(form, result, reached, partial) {
    if (result.complete || !state.form) return form;
    const old = new Map(state.form.sections.map((s) => [s.id, s]));
    const now = new Map(form.sections.map((s) => [s.id, s]));
    const out = [];
    for (const id of order) {
      const n = now.get(id), o = old.get(id);
      if (id === 'top' || id === partial) {
        if (n && o) out.push(joinsection(n, o));
        else if (n || o) out.push(n || o);
      } else if (reached.includes(id)) {
        if (n) out.push(n);
      } else if (o) {
        out.push(Object.assign({}, o, { unchecked: true }));
      }
    }
    return Object.assign({}, form, { sections: out });
  }

  function joinsection(n, o) {
    const items = n.items.slice();
    const ids = new Map(items.map((it, i) => [it.id, i]));
    for (const it of o.items) {
      if (!ids.has(it.id)) items.push(it);
      else if (ids.get(it.id) === n.items.length - 1) items[ids.get(it.id)] = joinitem(items[ids.get(it.id)], it);
    }
    return Object.assign({}, n, { items });
  }

  function joinitem(n, o) {
    if (n.type === 'list') {
      const vars = new Set(n.fields.map((f) => f.var));
      return Object.assign({}, n, { fields: n.fields.concat(o.fields.filter((f) => !vars.has(f.var))) });
    }
    if (n.type === 'traits') {
      const rows = new Map(o.rows.map((r) => [r.trait, r]));
      for (const r of n.rows) rows.set(r.trait, r);
      return Object.assign({}, n, { rows: [...rows.values()].sort((a, b) => a.trait - b.trait) });
    }
    return n;
  }

  function input(f, label) {
    const mine = value(f.file, f.var);
    const cur = mine === undefined ? f.text : mine;
    const common = { 'data-file': f.file, 'data-var': f.var, 'aria-label': label, 'data-optional': !!f.optional };
    if (f.input === 'select') {
      const s = el('select', common);
      const options = f.options.slice();
      if (!options.some((o) => o.value === cur)) options.push({ value: cur, label: cur + ': as typed' });
      for (const o of options) s.append(el('option', { value: o.value, text: o.label, selected: o.value === cur }));
      return s;
    }
    if (f.input === 'check')
      return el('input', Object.assign(common, { type: 'checkbox', checked: cur === f.on, 'data-on': f.on, 'data-off': f.off }));
    return el('input', Object.assign(common, {
      type: 'text', inputmode: 'decimal', spellcheck: 'false', value: cur,
      placeholder: f.optional ? 'not given' : null,
    }));
  }

  let ids = 0;
  function row(f) {
    const c = input(f, f.label);
    c.id = 'f' + ++ids;
    return el('div', { class: 'row' }, el('label', { for: c.id, text: f.label }), c);
  }

  function item(it) {
    if (it.type === 'field') return row(it.field);
    if (it.type === 'list') {
      const cells = el('div', { class: 'cells' });
      for (const f of it.fields)
        cells.append(el('label', { class: 'cell' }, el('span', { text: f.label }), input(f, it.label + ', ' + f.label)));
      return el('fieldset', { class: 'list' + (it.id.startsWith('P[') ? ' path' : '') },
        el('legend', { text: it.label }), cells);
    }
    const t = el('table', { class: 'traits' }, el('caption', { text: it.label }));
    const head = el('tr', {}, el('th', { text: 'Trait' }));
    for (const c of it.columns) head.append(el('th', { text: c }));
    t.append(el('thead', {}, head));
    const body = el('tbody');
    for (const r of it.rows) {
      const tr = el('tr', {}, el('th', { scope: 'row', title: r.words || null },
        el('span', { class: 'num', text: r.trait }), r.name));
      r.cells.forEach((f, i) => tr.append(el('td', {}, f ? input(f, r.name + ', ' + it.columns[i]) : '-')));
      body.append(tr);
    }
    t.append(body);
    return t;
  }

  function section(sec) {
    const head = el('h2', {}, sec.title, sec.file ? el('span', { class: 'file', text: sec.file }) : null);
    const box = el('section', { 'data-section': sec.id }, head);
    if (sec.note) box.append(el('p', { class: 'note', text: sec.note }));
    box.append(el('p', { class: 'note unchecked', text: 'Not checked: the run stopped before this file.' }));
    for (const it of sec.items) box.append(item(it));
    return box;
  }

  // Sections whose fields stay the same keep their elements, so that the
  // field being typed in is left alone.
  function render(form) {
    const a = document.activeElement;
    const focus = a && a.dataset && a.dataset.var ? { file: a.dataset.file, var: a.dataset.var } : null;
    const caret = focus && a.type === 'text' ? [a.selectionStart, a.selectionEnd] : null;
    const box = $('form');
    const kept = new Map([...box.children].map((n) => [n.dataset.section, n]));
    let i = 0;
    for (const sec of form.sections) {
      const sig = JSON.stringify(sec, (k, v) => (k === 'text' || k === 'unchecked' ? undefined : v));
      let node = kept.get(sec.id);
      if (!node || node.sig !== sig) {
        node = section(sec);
        node.sig = sig;
      }
      node.classList.toggle('unchecked', !!sec.unchecked);
      if (box.children[i] !== node) {
        const old = kept.get(sec.id);
        if (old && old !== node && old.parentNode) old.replaceWith(node);
        if (box.children[i] !== node) box.insertBefore(node, box.children[i] || null);
      }
      i++;
    }
    while (box.children.length > i) box.lastChild.remove();
    if (focus && document.activeElement !== a) {
      const c = control(focus);
      if (c) {
        c.focus({ preventScroll: true });
        if (caret) c.setSelectionRange(caret[0], caret[1]);
      }
    }
  }

  // Marks the value that the run's stop names.
  function marks(result) {
    for (const c of $('form').querySelectorAll('[aria-invalid="true"]')) c.removeAttribute('aria-invalid');
    if (!result || result.complete) {
      state.stopKey = '';
      return;
    }
    const s = result.stop;
    const found = [];
    if (s.value)
      for (const c of $('form').querySelectorAll('[data-var]'))
        if (c.dataset.file === s.file && (c.dataset.var === s.value || c.dataset.var.startsWith(s.value + '[')))
          found.push(c);
    for (const c of found) c.setAttribute('aria-invalid', 'true');
    const k = s.file + '|' + s.value + '|' + s.report;
    if (found.length && k !== state.stopKey) found[0].scrollIntoView({ block: 'nearest' });
    state.stopKey = k;
  }

  function setstate(text) {
    $('state').textContent = text;
    $('save').classList.toggle('unsaved', state.changed.length > 0);
  }
  function saved() {
    return state.changed.length ? 'Not saved: ' + state.changed.join(', ') : 'All changes saved';
  }

  function notice(text, reload) {
    $('noticetext').textContent = text;
    $('reload').hidden = !reload;
    $('notice').hidden = false;
  }

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
    return [el('h3', { text: t.title }), tb];
  }

  // Charts, drawn as SVG in the page.
  const SVG = 'http://www.w3.org/2000/svg';
  function svg(tag, attrs, ...children) {
    const e = document.createElementNS(SVG, tag);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, String(v));
    for (const c of children) e.append(c);
    return e;
  }

  // About n round steps from 0 to max.
  function ticks(max, n) {
    if (!(max > 0)) return [0];
    const raw = max / n, mag = Math.pow(10, Math.floor(Math.log10(raw)));
    const step = [1, 2, 2.5, 5, 10].map((f) => f * mag).find((s) => s >= raw) || raw;
    const out = [];
    for (let v = 0; v <= max * 1.0001; v += step) out.push(Math.round(v / step) * step);
    return out;
  }
  const tick = (v) => String(Number(v.toPrecision(6)));

  // One panel per block of classes: the yearly share of the traced genes
  // in each class, young classes light and old ones dark.
  // Blocks that the traced genes never reach get no panel, only a note.
  function flowchart(g) {
    const reached = (p) => p.lines.some((l) => l.y.some((v) => v > 0));
    const panels = g.panels.filter(reached);
    const unreached = g.panels.filter((p) => !reached(p)).map((p) => p.title[0].toLowerCase() + p.title.slice(1));
    const cols = panels.length > 4 ? 3 : 2, rows = Math.ceil(panels.length / cols);
    const W = 900, PW = W / cols, PH = 205, top = 30, foot = unreached.length ? 24 : 0;
    const root = svg('svg', { viewBox: `0 0 ${W} ${top + rows * PH + foot}`, role: 'img', 'aria-label': g.title });
    root.append(svg('text', { x: W / 2, y: 18, 'text-anchor': 'middle', class: 'title' }, g.title));
    if (foot) {
      root.append(svg('text', { x: W / 2, y: top + rows * PH + 14, 'text-anchor': 'middle', class: 'axis note' },
        'Not reached by the traced genes: ' + unreached.join(', ') + '.'));
    }
    const last = g.years[g.years.length - 1] || 1;
    panels.forEach((p, i) => {
      const x0 = (i % cols) * PW, y0 = top + Math.floor(i / cols) * PH;
      const L = x0 + 44, R = x0 + PW - 12, T = y0 + 22, B = y0 + PH - 38;
      const high = Math.max(0, ...p.lines.flatMap((l) => l.y));
      const ymax = (high > 0 ? high : 1) * 1.08;
      const X = (v) => L + (R - L) * v / last, Y = (v) => B - (B - T) * v / ymax;
      const panel = svg('g', { class: 'panel' }, svg('text', { x: (L + R) / 2, y: y0 + 14, 'text-anchor': 'middle', class: 'head' }, p.title));
      for (const v of ticks(ymax / 1.08, 4)) {
        panel.append(svg('line', { x1: L, x2: R, y1: Y(v), y2: Y(v), class: 'grid' }));
        panel.append(svg('text', { x: L - 5, y: Y(v) + 3.5, 'text-anchor': 'end' }, tick(v)));
      }
      for (const v of ticks(last, 4)) {
        panel.append(svg('line', { x1: X(v), x2: X(v), y1: T, y2: B, class: 'grid' }));
        panel.append(svg('text', { x: X(v), y: B + 13, 'text-anchor': 'middle' }, tick(v)));
      }
      panel.append(svg('rect', { x: L, y: T, width: R - L, height: B - T, class: 'frame' }));
      panel.append(svg('text', { x: (L + R) / 2, y: B + 28, 'text-anchor': 'middle', class: 'axis' }, 'Year'));
      const n = p.lines.length, hue = [215, 0, 275, 130, 30][i] ?? 180;
      p.lines.forEach((l, k) => {
        const colour = p.title === 'Progeny' ? `hsl(${(180 + 110 * k) % 360} 65% 40%)`
          : `hsl(${hue} 60% ${Math.round(70 - 45 * (n > 1 ? k / (n - 1) : 0.5))}%)`;
        const points = l.y.map((v, j) => X(g.years[j]).toFixed(1) + ',' + Y(v).toFixed(1)).join(' ');
        panel.append(svg('polyline', { points, stroke: colour, class: 'flow' }, svg('title', {}, l.label)));
      });
      root.append(panel);
    });
    return root;
  }

  // Bars of the relative weights within the total, direct and maternal,
  // drawn to the left of 0 where the economic weight is negative.
  function weightchart(t) {
    const rows = t.rows, H = 56 + rows.length * 24, W = 680, L = 300, R = W - 40;
    const value = (r, c, k) => (c.component ? (r.negative[k] ? -1 : 1) * parseFloat(c.text) : 0);
    const values = rows.flatMap((r) => r.cells.map((c, k) => value(r, c, k)));
    const hi = Math.max(0, ...values), lo = Math.min(0, ...values), span = Math.max(1, hi - lo);
    const X = (v) => L + 30 + (R - L - 60) * (v - lo) / span;
    const root = svg('svg', { viewBox: `0 0 ${W} ${H}`, role: 'img', 'aria-label': 'Relative weights within the total' });
    root.append(svg('text', { x: W / 2, y: 16, 'text-anchor': 'middle', class: 'title' }, 'Relative economic weights within the total (%)'));
    root.append(svg('text', { x: (L + R) / 2, y: H - 6, 'text-anchor': 'middle', class: 'small' },
      'left of 0 where the economic weight is negative'));
    ['direct', 'maternal'].forEach((k, i) => {
      root.append(svg('rect', { x: W - 150 + i * 68, y: 26, width: 10, height: 9, class: k }));
      root.append(svg('text', { x: W - 136 + i * 68, y: 34.5, class: 'small' }, k));
    });
    const grid = [...ticks(hi, 4), ...ticks(-lo, 4).filter((v) => v > 0).map((v) => -v)];
    for (const v of grid) {
      root.append(svg('line', { x1: X(v), x2: X(v), y1: 38, y2: H - 20, class: v ? 'grid' : 'frame' }));
    }
    rows.forEach((r, i) => {
      const y = 40 + i * 24;
      const name = r.trait + ' ' + r.name;
      root.append(svg('text', { x: L - 8, y: y + 14, 'text-anchor': 'end' },
        name.length > 44 ? name.slice(0, 42) + '...' : name, svg('title', {}, name)));
      r.cells.forEach((c, k) => {
        const v = value(r, c, k);
        if (!v) return;
        const a = Math.min(X(0), X(v)), w = Math.abs(X(v) - X(0));
        root.append(svg('rect', { x: a, y: y + 2 + k * 10, width: w, height: 9, class: k ? 'maternal' : 'direct' },
          svg('title', {}, (k ? 'maternal ' : 'direct ') + v.toFixed(3) + ' %')));
        root.append(svg('text', { x: v > 0 ? a + w + 4 : a - 4, y: y + 10 + k * 10, class: 'small',
          'text-anchor': v > 0 ? 'start' : 'end' }, v.toFixed(1)));
      });
    });
    return root;
  }

  // The relative weights with the sign of each economic weight.
  function signedweights(tables) {
    const t = tables.find((x) => x.id === 'relative-total');
    const weights = tables.find((x) => x.id === 'weights');
    if (!t || !weights) return null;
    const sign = new Map(weights.rows.map((r) => [r.trait, r.cells.map((c) => parseFloat(c.text) < 0)]));
    return { title: t.title, rows: t.rows.map((r) => ({ ...r, negative: sign.get(r.trait) || [false, false] })) };
  }

  // A chart is drawn again only when its numbers change.
  function chart(id, draw, data) {
    const box = $(id);
    box.hidden = !data;
    const text = data ? JSON.stringify(data, (k, v) => (k === 'title' && typeof v === 'string' ? undefined : v)) : '';
    if (state.svg[id] !== text) {
      state.svg[id] = text;
      box.replaceChildren(...(data ? [draw(data)] : []));
    } else if (data && data.title) {
      const title = box.querySelector('text.title');
      if (title.textContent !== data.title) title.textContent = data.title;
    }
  }

  function result(r) {
    const report = $('report');
    if (!r.complete) {
      report.textContent = r.stop.report;
      report.hidden = false;
      $('outcome').hidden = !state.lastResult;
      $('outcome').classList.add('stale');
      $('stale').hidden = false;
      return;
    }
    report.hidden = true;
    report.textContent = '';
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
    chart('geneflow', flowchart, r.geneflow);
    chart('weightschart', weightchart, signedweights(r.tables));
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

  function show(data) {
    state.version = data.version;
    state.changed = data.changed;
    $('folder').textContent = data.folder;
    $('title').textContent = data.form.title || '';
    $('newfolder').hidden = !data.newfolder;
    $('newfolderpath').textContent = data.folder;
    const form = merge(data.form, data.result, data.reached || [], data.partial);
    adopt(form);
    render(form);
    state.form = form;
    result(data.result);
    marks(data.result);
    setstate(saved());
    state.answers++;
  }

  // From the last edit to the first task after the frame that shows the
  // answer.
  function measure(since) {
    requestAnimationFrame(() => setTimeout(() => state.latencies.push(performance.now() - since), 0));
  }

  function trouble(status, data) {
    notice((data && data.error) || 'The server answered ' + status + '.', !!(data && (data.conflict || data.reload)));
  }

  // A scenario is sent at once, unless `most` are with the server; it
  // answers them in turn, and an answer older than the last one shown is
  // dropped.
  async function compute() {
    state.timer = 0;
    if (state.inflight >= most) {
      state.waiting = true;
      return;
    }
    state.waiting = false;
    const since = state.editedAt;
    const seq = ++state.sent;
    state.inflight++;
    const { status, data } = await api('/api/compute', { version: state.version, values: state.values });
    state.inflight--;
    if (state.waiting) compute();
    if (seq < state.shown) return;
    state.shown = seq;
    if (status !== 200) {
      trouble(status, data);
      return;
    }
    show(data);
    measure(since);
  }

  // Every value goes to the server as typed: the run judges it.
  function edited(c, text, now) {
    setvalue(c.dataset.file, c.dataset.var, text);
    state.editedAt = performance.now();
    clearTimeout(state.timer);
    state.timer = setTimeout(compute, now ? 0 : pause);
  }

  async function load() {
    const { status, data } = await api('/api/scenario');
    if (status !== 200) {
      trouble(status, data);
      return;
    }
    state.values = {};
    state.form = null;
    // Fields show the files as read, not what was typed before.
    $('form').replaceChildren();
    state.lastResult = null;
    state.stopKey = '';
    $('notice').hidden = true;
    show(data);
  }

  const form = $('form');
  form.addEventListener('submit', (e) => e.preventDefault());
  form.addEventListener('input', (e) => {
    const c = e.target;
    if (c.dataset.var && c.type === 'text') edited(c, c.value, false);
  });
  form.addEventListener('change', (e) => {
    const c = e.target;
    if (!c.dataset.var) return;
    if (c.tagName === 'SELECT') edited(c, c.value, true);
    else if (c.type === 'checkbox') edited(c, c.checked ? c.dataset.on : c.dataset.off, true);
  });

  $('save').addEventListener('click', async () => {
    clearTimeout(state.timer);
    const { status, data } = await api('/api/save', { version: state.version, values: state.values });
    if (status !== 200) {
      trouble(status, data);
      return;
    }
    state.version = data.version;
    state.changed = [];
    $('notice').hidden = true;
    setstate(data.saved.length ? 'Saved ' + data.saved.join(', ') : 'Nothing to save: the files are unchanged');
  });

  $('reload').addEventListener('click', load);

  $('init').addEventListener('click', async () => {
    $('init').disabled = true;
    const { status, data } = await api('/api/init', { two: $('inittwo').checked, standardised: $('initstd').checked });
    $('init').disabled = false;
    if (status !== 200) {
      trouble(status, data);
      return;
    }
    await load();
    setstate('Wrote a first scenario: ' + data.console.trim().split('\n').length + ' lines from kalp init');
  });

  // The run's console as it comes, then the files it wrote.
  function showrun(data) {
    $('console').textContent = data.console;
    $('runbox').hidden = false;
    if (data.running) return;
    const list = $('runfiles');
    list.replaceChildren();
    for (const f of data.files)
      list.append(el('li', {}, el('a', { href: '/files/' + f.name + '?token=' + token, target: '_blank', rel: 'noopener', text: f.name }),
        ': ' + f.holds));
    if (state.changed.length)
      list.append(el('li', { text: 'The run read the saved files; the changes on this page are not saved.' }));
    $('runbox').scrollIntoView({ block: 'nearest' });
    setstate(data.status === 0 ? 'kalp ran through' : 'kalp stopped (status ' + data.status + ')');
  }

  $('run').addEventListener('click', async () => {
    $('run').disabled = true;
    setstate('kalp is running');
    $('runfiles').replaceChildren();
    let { status, data } = await api('/api/run', {});
    while (status === 200 && data.running) {
      showrun(data);
      await new Promise((r) => setTimeout(r, 200));
      ({ status, data } = await api('/api/run'));
    }
    $('run').disabled = false;
    if (status !== 200) {
      setstate(saved());
      trouble(status, data);
      return;
    }
    showrun(data);
  });

  load();
})();
