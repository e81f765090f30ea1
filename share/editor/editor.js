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
    conflict: null, // the files that changed on the disk when a save was refused
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

  // A notice above the form. After a save refused because files changed on
  // the disk, it offers both ways out: the user's edits over those files, or
  // the files as they are now with the edits of the other files kept.
  function notice(text, reload, conflict) {
    state.conflict = conflict || null;
    $('noticetext').textContent = text;
    $('reload').hidden = !reload;
    $('reload').textContent = conflict ? 'Reload theirs, keep my other edits' : 'Reload the files';
    $('overwrite').hidden = !conflict;
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

  function result(r) {
    const report = $('report');
    if (!r.complete) {
      report.textContent = r.stop.report;
      report.hidden = false;
      $('advice').textContent = r.stop.advice || '';
      $('advice').hidden = !r.stop.advice;
      $('outcome').hidden = !state.lastResult;
      $('outcome').classList.add('stale');
      $('stale').hidden = false;
      return;
    }
    report.hidden = true;
    report.textContent = '';
    $('advice').hidden = true;
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

  function show(data) {
    state.version = data.version;
    state.changed = data.changed;
    $('folderpath').textContent = data.folder;
    $('folder').title = data.folder;
    $('title').textContent = data.form.title || '';
    $('newfolder').hidden = !data.newfolder;
    $('newfolderpath').textContent = data.folder;
    const form = merge(data.form, data.result, data.reached || [], data.partial);
    adopt(form);
    render(form);
    state.form = form;
    result(data.result);
    marks(data.result);
    // A folder without input files has nothing to be saved yet.
    setstate(data.newfolder ? '' : saved());
    state.answers++;
  }

  // From the last edit to the first task after the frame that shows the
  // answer.
  function measure(since) {
    requestAnimationFrame(() => setTimeout(() => state.latencies.push(performance.now() - since), 0));
  }

  function trouble(status, data) {
    notice((data && data.error) || 'The server answered ' + status + '.', !!(data && (data.conflict || data.reload)),
      data && data.conflict);
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

  // Reads the files afresh. The fields show them as read; `keep` names the
  // files whose edits on this page stay (those another program did not
  // change).
  async function load(keep) {
    const { status, data } = await api('/api/scenario');
    if (status !== 200) {
      trouble(status, data);
      return;
    }
    const kept = {};
    for (const file of keep || []) if (state.values[file]) kept[file] = state.values[file];
    state.values = {};
    state.form = null;
    $('form').replaceChildren();
    state.lastResult = null;
    state.stopKey = '';
    state.conflict = null;
    $('notice').hidden = true;
    show(data);
    if (Object.keys(kept).length) {
      for (const [file, vars] of Object.entries(kept))
        for (const [v, text] of Object.entries(vars)) {
          setvalue(file, v, text);
          const c = control({ file, var: v });
          if (c && c.type === 'text') c.value = text;
          else if (c && c.tagName === 'SELECT') c.value = text;
          else if (c && c.type === 'checkbox') c.checked = text === c.dataset.on;
        }
      compute();
    }
  }

  async function save(overwrite) {
    clearTimeout(state.timer);
    const body = { version: state.version, values: state.values };
    if (overwrite) body.overwrite = true;
    const { status, data } = await api('/api/save', body);
    if (status !== 200) {
      trouble(status, data);
      return;
    }
    state.version = data.version;
    state.changed = [];
    state.conflict = null;
    $('notice').hidden = true;
    setstate(data.saved.length ? 'Saved ' + data.saved.join(', ') : 'Nothing to save: the files are unchanged');
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

  $('save').addEventListener('click', () => save(false));
  $('overwrite').addEventListener('click', () => save(true));
  $('reload').addEventListener('click', () => {
    // The edits of the files that changed on the disk give way to them.
    const changed = state.conflict || [];
    load(state.conflict ? Object.keys(state.values).filter((f) => !changed.includes(f)) : []);
  });

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
