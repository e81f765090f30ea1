// The tables of the selection index in the editor page: the traits with
// their parameters, the correlations as triangles, the records of each
// path as a grid of traits and sources, and the selection of each path.
// The server says what the tables show (the traits, their components, the
// sources a path may use) and judges every value; the page keeps the rows
// as typed and sends what changed since the files were read.
'use strict';

function kalpIndexTables({ state, $, el, edited }) {
  const TRAITS = 'index-traits.csv', CORR = 'index-correlations.csv';
  const SOURCES = 'index-sources.csv', SELECTION = 'index-selection.csv';
  const FILES = [TRAITS, CORR, SOURCES, SELECTION];
  const traitcolumns = [
    ['sd', 'SD', 'The phenotypic standard deviation, in the unit of the trait'],
    ['h2', 'h²', 'The heritability of what a record expresses in the animal that bears it'],
    ['h2_maternal', 'h² maternal', 'The maternal heritability of a lamb trait with a maternal effect'],
    ['r_direct_maternal', 'r direct, maternal', 'The genetic correlation of the direct and maternal effects'],
    ['c2', 'c²', 'The share of the phenotypic variance common to the lambs of one litter'],
    ['repeatability', 'Repeatability', 'The share common to repeated records of one animal'],
  ];
  const selectioncolumns = [
    ['proportion', 'Proportion kept'], ['intensity', 'Intensity'],
    ['generation_interval', 'Generation interval (years)'], ['traced_group', 'Weights of the traced group'],
  ];
  // By file: the rows as read (`loaded`) and as the page holds them
  // (`rows`), each a Map from the row's key to its cells by column.
  const ix = { files: {}, layout: null, shape: '', dirty: new Set() };
  state.index = ix;

  const traitkey = (s) => {
    s = (s || '').trim();
    return /^\d{1,18}$/.test(s) ? s.replace(/^0+(?=\d)/, '') : s;
  };
  const order = (a, b) => (a < b ? -1 : a > b ? 1 : 0);
  // The key of a correlation: its kind and its two ends in ascending order.
  const pairkey = (kind, a, b) => kind + '|' + [a, b].sort(order).join('|');
  const cells = (file, key) => (ix.files[file] && ix.files[file].rows.get(key)) || null;
  const cell = (file, key, column) => {
    const c = cells(file, key);
    return c && c[column] !== undefined ? c[column] : '';
  };

  // The rows of the files as the server read them; the files of `keep`
  // keep the rows the page holds.
  function read(index, keep) {
    for (const file of FILES) {
      const f = index.files[file];
      const loaded = new Map((f.rows || []).map((r) => [r.key, r.cells]));
      const mine = (keep || []).includes(file) && ix.files[file] ? ix.files[file].rows : null;
      ix.files[file] = { loaded, rows: mine || new Map([...loaded].map(([k, c]) => [k, Object.assign({}, c)])) };
      if (mine) ix.dirty.add(file);
      else ix.dirty.delete(file);
    }
    ix.shape = '';
  }

  // After a save the files hold the page's rows.
  function saved() {
    for (const file of FILES) {
      const f = ix.files[file];
      if (f) f.loaded = new Map([...f.rows].map(([k, c]) => [k, Object.assign({}, c)]));
    }
    ix.dirty.clear();
  }

  const same = (a, b) => {
    for (const k of new Set([...Object.keys(a), ...Object.keys(b)]))
      if ((a[k] || '').trim() !== (b[k] || '').trim()) return false;
    return true;
  };

  // What the page changed in each file: the rows changed or added, whole,
  // and the keys of the rows removed.
  function changes() {
    const out = {};
    for (const file of ix.dirty) {
      const f = ix.files[file];
      const rows = [], removed = [];
      for (const [k, c] of f.rows) {
        const old = f.loaded.get(k);
        if (!old || !same(old, c)) rows.push(c);
      }
      for (const k of f.loaded.keys()) if (!f.rows.has(k)) removed.push(k);
      if (rows.length || removed.length) out[file] = { rows, removed };
    }
    return out;
  }

  // A row of a table that the page makes: its key cells.
  function newrow(file, key) {
    const parts = key.split('|');
    if (file === TRAITS) return { trait: key };
    if (file === SELECTION) return { path: key };
    if (file === SOURCES) return { path: parts[0], source: parts[1], trait: parts[2] };
    const end = (e) => (parts[0] === 'genetic' ? e.split(' ') : [e, '']);
    const [a, ca] = end(parts[1]), [b, cb] = end(parts[2]);
    return { kind: parts[0], trait_a: a, component_a: ca, trait_b: b, component_b: cb };
  }

  function setcell(file, key, column, text) {
    const f = ix.files[file];
    if (!f.rows.has(key)) f.rows.set(key, newrow(file, key));
    f.rows.get(key)[column] = text;
    ix.dirty.add(file);
  }

  function removetrait(key) {
    ix.files[TRAITS].rows.delete(key);
    for (const file of [CORR, SOURCES])
      for (const [k, c] of [...ix.files[file].rows])
        if ([c.trait, c.trait_a, c.trait_b].some((t) => t !== undefined && traitkey(t) === key)) ix.files[file].rows.delete(k);
    FILES.forEach((f) => ix.dirty.add(f));
  }

  function addtrait(key) {
    key = traitkey(key);
    if (!key || ix.files[TRAITS].rows.has(key)) return;
    const row = { trait: key };
    for (const [c] of traitcolumns) row[c] = '';
    ix.files[TRAITS].rows.set(key, row);
    ix.dirty.add(TRAITS);
  }

  // --- Drawing -----------------------------------------------------------

  // A cell to type in: the table cell itself, editable as plain text. A
  // grid holds thousands; as input elements they would make every frame of
  // the page slow.
  function input(file, key, column, label, r, c, off) {
    const td = el('td', {
      class: 'ed', role: 'textbox', inputmode: 'decimal', spellcheck: 'false', 'aria-label': label,
      'data-ifile': file, 'data-key': key, 'data-col': column, 'data-r': r, 'data-c': c, text: cell(file, key, column),
    });
    enable(td, !off);
    return td;
  }
  function enable(td, on) {
    td.contentEditable = on ? 'plaintext-only' : 'false';
    td.tabIndex = on ? 0 : -1;
    td.setAttribute('aria-disabled', String(!on));
  }
  const editable = (c) => c.classList && c.classList.contains('ed');
  const off = (c) => c.disabled || (editable(c) && c.contentEditable === 'false');
  // The text of a cell or a select.
  const valueof = (c) => (editable(c) ? c.textContent : c.value);
  // Where the selection of a cell begins and ends, in characters.
  function caret(c) {
    const sel = getSelection();
    if (!sel.rangeCount || !c.contains(sel.anchorNode)) return [0, 0];
    const r = sel.getRangeAt(0), before = document.createRange();
    before.selectNodeContents(c);
    before.setEnd(r.startContainer, r.startOffset);
    const start = before.toString().length;
    return [start, start + r.toString().length];
  }
  function select(c, from, to) {
    const r = document.createRange(), text = c.firstChild;
    if (text && from !== undefined) {
      r.setStart(text, Math.min(from, text.length));
      r.setEnd(text, Math.min(to, text.length));
    } else r.selectNodeContents(c);
    const sel = getSelection();
    sel.removeAllRanges();
    sel.addRange(r);
  }

  function box(table) {
    return el('div', { class: 'tablebox igridbox' }, table);
  }

  function traitname(t) {
    return t.number ? t.number + ' ' + t.name : t.key;
  }

  function traitstable(layout) {
    const t = el('table', { class: 'igrid', 'data-grid': 'traits' });
    t.append(el('thead', {}, el('tr', {}, el('th', { text: 'Trait' }),
      ...traitcolumns.map(([c, label, title]) => el('th', { text: label, title: title + ' (' + c + ')' })), el('th'))));
    const body = el('tbody');
    let r = 0;
    for (const tr of layout.traits) {
      if (!tr.intable) continue;
      const name = traitname(tr);
      body.append(el('tr', {}, el('th', { scope: 'row', title: cell(TRAITS, tr.key, 'trait') }, name),
        ...traitcolumns.map(([c, label], i) => input(TRAITS, tr.key, c, name + ', ' + label, r, i)),
        el('td', {}, el('button', { type: 'button', class: 'remove', 'data-remove': tr.key, title: 'Remove the trait, its correlations and its records', 'aria-label': 'Remove ' + name, text: '×' }))));
      r++;
    }
    t.append(body);
    const taken = new Set(layout.traits.filter((x) => x.intable).map((x) => x.key));
    const pick = el('select', { id: 'ixadd', 'aria-label': 'A trait to add' }, el('option', { value: '', text: 'Add a trait…' }),
      ...layout.kalptraits.filter((k) => !taken.has(String(k.number))).map((k) => el('option', { value: k.number, text: k.number + ' ' + k.name })),
      el('option', { value: '*', text: 'A trait that is only recorded…' }));
    const name = el('input', { type: 'text', id: 'ixaddname', spellcheck: 'false', 'aria-label': 'The name of the trait only recorded', placeholder: 'name, such as fat_depth', hidden: true });
    const add = el('button', { type: 'button', id: 'ixaddbutton', text: 'Add' });
    return [box(t), el('p', { class: 'addtrait' }, pick, name, add)];
  }

  // A triangle of correlations between `ends` (components or traits): each
  // pair once, below the diagonal; a pair of one trait's components is
  // the correlation of its direct and maternal effects, which the traits
  // table holds.
  function triangle(kind, ends, label) {
    const t = el('table', { class: 'igrid tri', 'data-grid': kind });
    t.append(el('thead', {}, el('tr', {}, el('th', { text: '' }),
      ...ends.map((e) => el('th', { title: e.title, class: e.has ? null : 'extra', text: e.short })))));
    const body = el('tbody');
    ends.forEach((a, i) => {
      const tr = el('tr', {}, el('th', { scope: 'row', title: a.title, class: a.has ? null : 'extra', text: a.short }));
      for (let j = 0; j <= i; j++) {
        const b = ends[j];
        if (j === i) tr.append(el('td', { class: 'diag', text: '1' }));
        else if (kind === 'genetic' && a.trait === b.trait)
          tr.append(el('td', { class: 'diag', title: 'The correlation of the direct and maternal effects, in the traits', text: cell(TRAITS, a.trait, 'r_direct_maternal') || '0' }));
        else tr.append(input(CORR, pairkey(kind, a.key, b.key), 'value', label + ' of ' + a.title + ' and ' + b.title, i, j));
      }
      body.append(tr);
    });
    t.append(body);
    return box(t);
  }

  function sourcesgrid(layout, path) {
    const t = el('table', { class: 'igrid', 'data-grid': 'sources-' + path });
    t.append(el('thead', {}, el('tr', {}, el('th', { text: 'Trait' }), ...layout.sources.map((s) => el('th', { text: s })))));
    const body = el('tbody');
    layout.traits.forEach((tr, r) => {
      const name = traitname(tr);
      const row = el('tr', {}, el('th', { scope: 'row', class: tr.intable ? null : 'extra', title: tr.intable ? null : 'No row in the traits' }, name));
      const allowed = (layout.allowed[tr.key] || {})[path] || [];
      layout.sources.forEach((s, c) => {
        const key = path + '|' + s + '|' + tr.key;
        if (allowed.includes(s) || cell(SOURCES, key, 'records') !== '')
          row.append(input(SOURCES, key, 'records', name + ', ' + s + ', records for the ' + path, r, c));
        else row.append(el('td', { class: 'no', title: 'Not a source of this trait for the ' + path, text: '–' }));
      });
      body.append(row);
    });
    t.append(body);
    return box(t);
  }

  function selectiontable(layout) {
    const t = el('table', { class: 'igrid', 'data-grid': 'selection' });
    t.append(el('thead', {}, el('tr', {}, el('th', { text: 'Path' }), el('th', { text: 'Selected' }),
      ...selectioncolumns.map(([, label]) => el('th', { text: label })))));
    const body = el('tbody');
    layout.paths.forEach((path, r) => {
      const on = !!cells(SELECTION, path);
      const row = el('tr', {}, el('th', { scope: 'row', text: path }),
        el('td', {}, el('input', { type: 'checkbox', checked: on, 'data-select': path, 'aria-label': 'Select the ' + path, 'data-r': r, 'data-c': 0 })));
      selectioncolumns.forEach(([c, label], i) => {
        if (c !== 'traced_group') {
          row.append(input(SELECTION, path, c, label + ' of the ' + path, r, i + 1, !on));
          return;
        }
        const now = cell(SELECTION, path, c);
        const options = [{ value: '', label: "the scenario's own" }, ...layout.classes];
        if (!options.some((o) => o.value === now)) options.push({ value: now, label: now + ': as in the file' });
        row.append(el('td', {}, el('select', { 'data-ifile': SELECTION, 'data-key': path, 'data-col': c, 'aria-label': label + ' of the ' + path, disabled: !on, 'data-r': r, 'data-c': i + 1 },
          ...options.map((o) => el('option', { value: o.value, text: o.label, selected: o.value === now })))));
      });
      body.append(row);
    });
    t.append(body);
    return box(t);
  }

  function section(title, file, ...parts) {
    const f = state.indexfiles[file];
    const head = el('h3', {}, title, el('span', { class: 'file', text: file }));
    const sec = el('section', { class: 'isec', 'data-ifile': file }, head);
    if (!f.readable) {
      sec.append(el('p', { class: 'note bad', text: 'The page cannot read ' + file + ': ' + f.why + ' Correct it in the folder with an editor and reload the page.' }));
      return sec;
    }
    sec.append(...parts);
    if (f.other.length)
      sec.append(el('details', { class: 'other' }, el('summary', { text: f.other.length + (f.other.length === 1 ? ' line' : ' lines') + ' of the file that the table cannot show (kept as they are)' }),
        el('pre', { text: f.other.map((o) => 'line ' + o.line + ': ' + o.text).join('\n') })));
    return sec;
  }

  // The tables again when what they show changed; the cell being typed in
  // keeps its focus and caret.
  function render(layout) {
    const shape = JSON.stringify([layout.traits, layout.components, layout.litter, layout.allowed, layout.classes,
      FILES.map((f) => [state.indexfiles[f].readable, state.indexfiles[f].other])]);
    ix.layout = layout;
    if (shape === ix.shape) return;
    ix.shape = shape;
    const a = document.activeElement;
    const focus = a && a.dataset && a.dataset.ifile ? [a.dataset.ifile, a.dataset.key, a.dataset.col, ...(editable(a) ? caret(a) : [])] : null;
    const title = (t) => (t ? traitname(t) : '');
    const trait = new Map(layout.traits.map((t) => [t.key, t]));
    const comps = layout.components.map((c) => ({ key: c.key, trait: c.trait, has: c.has, short: c.trait + (c.effect === 'direct' ? ' d' : ' m'), title: title(trait.get(c.trait)) + ', ' + c.effect }));
    const traitends = layout.traits.map((t) => ({ key: t.key, trait: t.key, has: t.intable, short: t.key, title: title(t) }));
    const litter = layout.litter.map((l) => ({ key: l.key, trait: l.key, has: l.has, short: l.key, title: title(trait.get(l.key)) }));
    $('indextables').replaceChildren(
      section('Traits and their parameters', TRAITS, ...traitstable(layout)),
      section('Genetic correlations between the components', CORR, triangle('genetic', comps, 'The genetic correlation'),
        el('h4', { text: 'Phenotypic correlations between the traits' }), triangle('phenotypic', traitends, 'The phenotypic correlation'),
        el('h4', { text: 'Correlations of the litter effects' }), litter.length ? triangle('litter', litter, 'The litter correlation')
          : el('p', { class: 'note', text: 'No trait has a litter effect (c²).' })),
      ...layout.paths.map((p) => section('Records known of a candidate: ' + p, SOURCES, sourcesgrid(layout, p))),
      section('Selection of each path', SELECTION, selectiontable(layout)));
    if (focus) {
      const c = control(focus[0], focus[1], focus[2]);
      if (c) {
        c.focus({ preventScroll: true });
        if (editable(c) && focus[3] !== undefined) select(c, focus[3], focus[4]);
      }
    }
  }

  function control(file, key, column) {
    const sel = '[data-ifile="' + CSS.escape(file) + '"][data-key="' + CSS.escape(key) + '"]' +
      (column ? '[data-col="' + CSS.escape(column) + '"]' : '');
    return $('indextables').querySelector(sel);
  }

  // --- Keys and edits ----------------------------------------------------

  // The next control from `c` in a grid, `dr` rows and `dc` columns on;
  // cells without one are passed over.
  function move(c, dr, dc) {
    const table = c.closest('table.igrid');
    if (!table) return false;
    let r = +c.dataset.r, k = +c.dataset.c;
    const at = new Map([...table.querySelectorAll('[data-r]')].map((x) => [x.dataset.r + ',' + x.dataset.c, x]));
    const rows = Math.max(...[...at.keys()].map((x) => +x.split(',')[0])) + 1;
    const cols = Math.max(...[...at.keys()].map((x) => +x.split(',')[1])) + 1;
    for (;;) {
      r += dr;
      k += dc;
      if (r < 0 || k < 0 || r >= rows || k >= cols) return false;
      const next = at.get(r + ',' + k);
      if (next && !off(next)) {
        next.focus();
        if (editable(next)) select(next);
        next.closest('td').scrollIntoView({ block: 'nearest', inline: 'nearest' });
        return true;
      }
    }
  }

  const box$ = $('indextables');
  box$.addEventListener('focusin', (e) => {
    if (e.target.dataset.ifile) e.target.dataset.before = valueof(e.target);
  });
  box$.addEventListener('keydown', (e) => {
    const c = e.target;
    if (!c.dataset || c.dataset.r === undefined || e.altKey || e.ctrlKey || e.metaKey) return;
    const text = editable(c);
    const [from, to] = text ? caret(c) : [0, 0], length = text ? c.textContent.length : 0;
    const all = text && from === 0 && to === length;
    const start = !text || all || (from === 0 && to === 0);
    const end = !text || all || (from === length && to === length);
    let moved = false;
    if (e.key === 'ArrowUp' && c.tagName !== 'SELECT') moved = move(c, -1, 0) || true;
    else if (e.key === 'ArrowDown' && c.tagName !== 'SELECT') moved = move(c, 1, 0) || true;
    else if (e.key === 'ArrowLeft' && start) moved = move(c, 0, -1) || true;
    else if (e.key === 'ArrowRight' && end) moved = move(c, 0, 1) || true;
    else if (e.key === 'Enter' && text) {
      edited(true);
      moved = move(c, 1, 0) || true;
    } else if (e.key === 'Escape' && text && c.dataset.before !== undefined && c.textContent !== c.dataset.before) {
      c.textContent = c.dataset.before;
      setcell(c.dataset.ifile, c.dataset.key, c.dataset.col, c.textContent);
      edited(true);
      moved = true;
    }
    if (moved) e.preventDefault();
  });
  box$.addEventListener('input', (e) => {
    const c = e.target;
    if (c.dataset.ifile && editable(c)) {
      setcell(c.dataset.ifile, c.dataset.key, c.dataset.col, c.textContent);
      edited(false);
    }
  });
  box$.addEventListener('change', (e) => {
    const c = e.target;
    if (c.tagName === 'SELECT' && c.dataset.ifile) {
      setcell(c.dataset.ifile, c.dataset.key, c.dataset.col, c.value);
      edited(true);
    } else if (c.dataset.select) {
      const path = c.dataset.select;
      const f = ix.files[SELECTION];
      if (c.checked) f.rows.set(path, Object.assign(newrow(SELECTION, path), f.loaded.get(path) || {}));
      else f.rows.delete(path);
      ix.dirty.add(SELECTION);
      for (const x of c.closest('tr').querySelectorAll('[data-ifile]')) {
        if (editable(x)) {
          enable(x, c.checked);
          x.textContent = cell(SELECTION, path, x.dataset.col);
        } else {
          x.disabled = !c.checked;
          x.value = cell(SELECTION, path, x.dataset.col);
        }
      }
      edited(true);
    } else if (c.id === 'ixadd') {
      $('ixaddname').hidden = c.value !== '*';
      if (c.value === '*') $('ixaddname').focus();
    }
  });
  box$.addEventListener('click', (e) => {
    const c = e.target;
    if (c.dataset.remove) {
      removetrait(c.dataset.remove);
      ix.shape = '';
      edited(true);
    } else if (c.id === 'ixaddbutton') {
      const pick = $('ixadd').value;
      const key = pick === '*' ? $('ixaddname').value : pick;
      if (!traitkey(key)) return;
      addtrait(key);
      ix.shape = '';
      edited(true);
      state.indexfocus = [TRAITS, traitkey(key), 'sd'];
    }
  });

  return { read, saved, changes, render, control, FILES };
}
