// The form of the editor page: the sections that the server describes,
// drawn so that the field being typed in is left alone, merged with what a
// run that stopped early did not read, and the mark and report of the
// value that a stop names.
'use strict';

// The form's part of the page, on the page's state and helpers.
function kalpForm({ state, $, el, value, setvalue }) {
  // The report beside the field that a stop names; it moves with the field.
  const fieldnote = $('fieldnote');
  const noterow = el('tr', { class: 'noterow' }, el('td'));
  // The sections in the order of the results file.
  const order = ['top', 'INPUTVRD01A.TXT', 'INPUTVRD01B.TXT', 'INPUTVRD02.TXT', 'INPUTVRD03.TXT',
    'INPUTVRD04.TXT', 'INPUTVRD05.TXT'];

  function fieldsof(item) {
    if (item.type === 'field') return [item.field];
    if (item.type === 'list') return item.fields;
    return item.rows.flatMap((r) => r.cells.filter((c) => c));
  }

  function control(sel) {
    return $('form').querySelector('[data-file="' + CSS.escape(sel.file) + '"][data-var="' + CSS.escape(sel.var) + '"]');
  }

  // Values the server gives for fields the page has no text for: a new
  // list item, a number of a record that came into use. A field left empty
  // (a number the file does without) holds no value, so that an empty value
  // is always one that the user emptied.
  function adopt(form) {
    const active = document.activeElement;
    for (const sec of form.sections)
      for (const item of sec.items)
        for (const f of fieldsof(item)) {
          const mine = value(f.file, f.var);
          const typed = (state.typed[f.file] || {})[f.var];
          if (f.text === '' || typed || (mine !== undefined && mine !== '')) continue;
          const c = control(f);
          if (c && c === active) continue;
          setvalue(f.file, f.var, f.text);
          if (c && c.type === 'text') c.value = f.text;
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
    return el('div', { class: 'tablebox' }, t);
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

  // Marks the value that the run's stop names, and puts the report beside
  // it: right after the field, list or table that holds it, or at the top
  // of the form when no field holds the fault. (In the wide layout the
  // results beside the form show it, and this copy is hidden.)
  function marks(result) {
    for (const c of $('form').querySelectorAll('[aria-invalid="true"]')) c.removeAttribute('aria-invalid');
    const note = fieldnote;
    if (!result || result.complete) {
      state.stopKey = '';
      note.hidden = true;
      $('form').before(note);
      noterow.remove();
      return;
    }
    const s = result.stop;
    const found = [];
    if (s.value)
      for (const c of $('form').querySelectorAll('[data-var]'))
        if (c.dataset.file === s.file && (c.dataset.var === s.value || c.dataset.var.startsWith(s.value + '[')))
          found.push(c);
    for (const c of found) c.setAttribute('aria-invalid', 'true');
    // (The note may stand in a section that was just drawn anew.)
    const part = (id) => note.querySelector('#' + id);
    part('fieldadvice').textContent = s.advice || '';
    part('fielddetail').textContent = s.detail || '';
    part('fielddetail').hidden = !s.detail;
    part('fieldreport').textContent = s.report.trim();
    // In a table of traits, the row after the field's.
    const tr = found.length ? found[0].closest('table.traits tr') : null;
    const holder = found.length ? found[0].closest('.row, fieldset.list, .tablebox') : null;
    if (tr) {
      noterow.firstChild.colSpan = tr.children.length;
      noterow.firstChild.append(note);
      tr.after(noterow);
    } else {
      if (holder) holder.after(note);
      else $('form').before(note);
      noterow.remove();
    }
    note.hidden = false;
    const k = s.file + '|' + s.value + '|' + s.report;
    if (k !== state.stopKey) {
      if (found.length) found[0].scrollIntoView({ block: 'nearest' });
      if (getComputedStyle(note).display !== 'none') note.scrollIntoView({ block: 'nearest' });
    }
    state.stopKey = k;
  }

  return { fieldnote, control, adopt, merge, render, marks };
}
