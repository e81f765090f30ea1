// The scenario editor page. The server reads the files, runs the engine
// and describes the form; the page shows it, sends every value after each
// edit and shows the result or the stop of the run.
'use strict';

(() => {
  const token = new URLSearchParams(location.search).get('token') || '';
  const $ = (id) => document.getElementById(id);
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
    cause: '', // what the notice is about: 'invalid', 'server', 'conflict', 'save', 'run', 'init'
    invalid: null, // the value of the page that no file may hold, as the server names it
    typed: {}, // file -> model variable -> true: the values typed on this page
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

  const { fieldnote, control, adopt, merge, render, marks } = kalpForm({ state, $, el, value, setvalue });
  const { result, warnings } = kalpResults({ state, $, el });
  const tables = kalpIndexTables({ state, $, el, edited: indexedited });
  const indexresults = kalpIndexResults({ state, $, el, control: tables.control, refresh: () => indexedited(true) });


  // Edits that the server has not yet answered.
  const pending = () => !!(state.timer || state.waiting || state.inflight);

  function setstate(text) {
    $('state').textContent = text;
    $('save').classList.toggle('unsaved', state.changed.length > 0 || !!state.invalid);
  }
  // "All changes saved" only when the page holds nothing that differs from
  // the files and nothing that cannot be saved.
  function saved() {
    if (state.invalid) return 'Not saved: "' + state.invalid.label + '" ' + state.invalid.why.split(';')[0];
    if (state.indexinvalid) return 'Not saved: ' + state.indexinvalid;
    if (state.changed.length) return 'Not saved: ' + state.changed.join(', ');
    return pending() ? 'Not saved' : 'All changes saved';
  }

  // A notice above the form, with its cause, so that it goes once the
  // cause is mended. After a save refused because files changed on the
  // disk, it offers both ways out: the user's edits over those files, or
  // the files as they are now with the edits of the other files kept.
  function notice(text, cause, reload, conflict) {
    state.conflict = conflict || null;
    state.cause = cause;
    $('noticetext').textContent = text;
    $('reload').hidden = !reload;
    $('reload').textContent = conflict ? 'Reload theirs, keep my other edits' : 'Reload the files';
    $('overwrite').hidden = !conflict;
    $('notice').hidden = false;
  }
  // Clears the notice when it is about one of `causes`.
  function mended(...causes) {
    if (!causes.includes(state.cause)) return;
    state.cause = '';
    state.conflict = null;
    $('notice').hidden = true;
  }


  function show(data) {
    state.version = data.version;
    state.changed = data.changed;
    state.invalid = data.invalid || null;
    $('folderpath').textContent = data.folder;
    $('folder').title = data.folder;
    $('title').textContent = data.form.title || '';
    // A folder without input files shows only the way to a first scenario.
    document.body.classList.toggle('newfolder', !!data.newfolder);
    $('newfolder').hidden = !data.newfolder;
    $('newfolderpath').textContent = data.folder;
    const form = merge(data.form, data.result, data.reached || [], data.partial);
    adopt(form);
    render(form);
    state.form = form;
    result(data.result);
    warnings(data.warnings || []);
    marks(data.result);
    showindex(data.index);
    // A refusal of a value goes once no value is refused.
    if (!state.invalid) mended('invalid');
    // A folder without input files has nothing to be saved yet.
    setstate(data.newfolder ? '' : saved());
    state.answers++;
  }

  // The selection index: the way to first index files in a folder without
  // them; else the tables (their rows when the server read the files),
  // and the index or its stop.
  function showindex(index) {
    state.indexfiles = index.files;
    if (index.files[tables.FILES[0]].rows) tables.read(index, state.indexkeep);
    state.indexkeep = null;
    $('indexnew').hidden = index.present;
    $('indexgrid').hidden = !index.present;
    const stop = index.stop;
    state.indexinvalid = stop && stop.invalid ? 'the value of "' + stop.column + '" of ' + stop.key + ' in ' + stop.file +
      ' cannot stand in the file' : null;
    if (!index.present) return;
    // The tables may be drawn anew: the report that stands among them goes
    // back above them first.
    indexresults.home();
    tables.render(index.layout);
    if (state.indexfocus) {
      const c = tables.control(...state.indexfocus);
      state.indexfocus = null;
      if (c) c.focus();
    }
    indexresults.show(index);
  }

  // From the last edit to the first task after the frame that shows the
  // answer.
  function measure(since) {
    requestAnimationFrame(() => setTimeout(() => state.latencies.push(performance.now() - since), 0));
  }

  // A refused request: the notice says why. Its cause tells when it goes:
  // a server that cannot be reached or is busy at its next answer, a
  // refused value once no value is refused, files changed on the disk when
  // they are read afresh or written over, the rest when what was refused
  // succeeds.
  function trouble(status, data, what) {
    const cause = status === 0 || status >= 500 ? 'server'
      : data && data.invalid ? 'invalid'
      : data && (data.conflict || data.reload) ? 'conflict' : what;
    notice((data && data.error) || 'The server answered ' + status + '.', cause, !!(data && (data.conflict || data.reload)),
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
    const { status, data } = await api('/api/compute', Object.assign({ version: state.version, values: state.values, index: tables.changes() },
      indexresults.wanted()));
    state.inflight--;
    if (state.waiting) compute();
    // Only the answer to the last scenario sent is shown: one that a newer
    // follows would be painted over at once.
    if (seq < state.shown || (seq < state.sent && status === 200)) return;
    state.shown = seq;
    if (status !== 200) {
      trouble(status, data, 'compute');
      setstate(saved());
      return;
    }
    mended('server', 'compute');
    show(data);
    measure(since);
  }

  // Every value goes to the server as typed: the run judges it. Until it
  // answers, the header claims nothing saved.
  function edited(c, text, now) {
    setvalue(c.dataset.file, c.dataset.var, text);
    if (!state.typed[c.dataset.file]) state.typed[c.dataset.file] = {};
    state.typed[c.dataset.file][c.dataset.var] = true;
    state.editedAt = performance.now();
    clearTimeout(state.timer);
    state.timer = setTimeout(compute, now ? 0 : pause);
    setstate(saved());
  }

  // An edit of the index's tables: sent at once, as a typed value is.
  function indexedited(now) {
    state.editedAt = performance.now();
    clearTimeout(state.timer);
    state.timer = setTimeout(compute, now ? 0 : pause);
    setstate(saved());
  }

  // Reads the files afresh. The fields show them as read; `keep` names the
  // files whose edits on this page stay (those another program did not
  // change).
  async function load(keep) {
    const { status, data } = await api('/api/scenario');
    if (status !== 200) {
      trouble(status, data, 'load');
      return;
    }
    const kept = {}, typed = {};
    state.indexkeep = keep || [];
    for (const file of keep || []) {
      if (state.values[file]) kept[file] = state.values[file];
      if (state.typed[file]) typed[file] = state.typed[file];
    }
    state.values = {};
    state.typed = typed;
    state.form = null;
    $('form').before(fieldnote);
    fieldnote.hidden = true;
    $('form').replaceChildren();
    state.lastResult = null;
    state.stopKey = '';
    state.conflict = null;
    state.cause = '';
    $('notice').hidden = true;
    show(data);
    if (Object.keys(kept).length || Object.keys(tables.changes()).length) {
      for (const [file, vars] of Object.entries(kept))
        for (const [v, text] of Object.entries(vars)) {
          setvalue(file, v, text);
          const c = control({ file, var: v });
          if (c && c.type === 'text') c.value = text;
          else if (c && c.tagName === 'SELECT') c.value = text;
          else if (c && c.type === 'checkbox') c.checked = text === c.dataset.on;
        }
      compute();
      // The kept edits are with the server: nothing is called saved yet.
      setstate(saved());
    }
  }

  async function save(overwrite) {
    clearTimeout(state.timer);
    const body = { version: state.version, values: state.values, index: tables.changes() };
    if (overwrite) body.overwrite = true;
    const { status, data } = await api('/api/save', body);
    if (status !== 200) {
      trouble(status, data, 'save');
      setstate(saved());
      return;
    }
    state.version = data.version;
    state.changed = [];
    state.invalid = null;
    tables.saved();
    mended('server', 'conflict', 'save', 'invalid');
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
    load(state.conflict ? [...Object.keys(state.values), ...tables.FILES].filter((f) => !changed.includes(f)) : []);
  });

  $('init').addEventListener('click', async () => {
    $('init').disabled = true;
    const { status, data } = await api('/api/init', { two: $('inittwo').checked, standardised: $('initstd').checked });
    $('init').disabled = false;
    if (status !== 200) {
      trouble(status, data, 'init');
      return;
    }
    mended('server', 'init');
    await load();
    setstate('Wrote a first scenario: ' + data.written.join(', '));
  });

  $('indexinit').addEventListener('click', async () => {
    $('indexinit').disabled = true;
    const { status, data } = await api('/api/indexinit', {});
    $('indexinit').disabled = false;
    if (status !== 200) {
      trouble(status, data, 'init');
      return;
    }
    mended('server', 'init');
    await load(Object.keys(state.typed));
    setstate('Wrote first index files: ' + data.written.join(', '));
  });

  // The run's console as it comes, its lines on standard error among the
  // others as a terminal shows them, then the files it wrote.
  function showrun(data) {
    const parts = data.parts || [{ stream: 'stdout', text: data.console }];
    $('console').replaceChildren(...parts.map((p) => p.stream === 'stderr' ? el('span', { class: 'err', text: p.text }) : p.text));
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
    if (status === 200) mended('server', 'run');
    while (status === 200 && data.running) {
      showrun(data);
      await new Promise((r) => setTimeout(r, 200));
      ({ status, data } = await api('/api/run'));
    }
    $('run').disabled = false;
    if (status !== 200) {
      setstate(saved());
      trouble(status, data, 'run');
      return;
    }
    showrun(data);
  });

  load();
})();
