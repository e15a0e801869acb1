// The playground page: the editor and its file tabs, the result panes, the
// examples menu, downloads, the workspace in the URL and in local storage.
// Each change of a file assembles the whole workspace again after a short
// pause; the panes keep the last good assembly while the source has an
// error, and link the bytes with the source both ways.
import './style.css';
import { EditorState } from '@codemirror/state';
import { EditorView } from '@codemirror/view';
import { diagnosticCount, setDiagnostics } from '@codemirror/lint';
import examples from 'orvasm:examples';
import { defaultRomName, loadAssembler } from './assembler.js';
import { editorExtensions, recolour } from './editor.js';
import { useTokenKinds } from './language.js';
import { byteColumn, rangeOf } from './positions.js';
import { WORDS } from './listing.js';
import {
  describe,
  markListing,
  MAX_LISTING_SHOWN,
  pageUses,
  renderHex,
  renderListing,
  renderMemoryMap,
  renderOutput,
  renderProblems,
  renderSymbols,
} from './panes.js';
import { readSaved, writeSaved } from './saved.js';
import {
  MAX_LINK_LENGTH,
  WorkspaceError,
  checkFileName,
  decodeWorkspace,
  encodeWorkspace,
  isWorkspaceLink,
} from './workspace.js';

const ASSEMBLE_DELAY = 150; // ms after the last keystroke
const SAVE_DELAY = 300;
const LINK_DELAY = 500;
const DEFAULT_EXAMPLE = 'examples/hello.orv';
const TITLE = 'orvasm playground';

const $ = (id) => document.getElementById(id);

// The files in tab order, each an editor state (which keeps its undo
// history); the view shows the active one.
const workspace = { states: new Map(), main: '', active: '' };
let assembler = null;
let view = null;
let result = null; // the latest assembly
let good = null; // the latest that succeeded, shown while the source has an error
let ownHash = ''; // the fragment this page wrote, so its hashchange is ignored
let assembleTimer = 0;
let saveTimer = 0;
let linkTimer = 0;
let problemAt = -1; // the problem F8 went to last
let removed = null; // the file removed last: {name, state, index}
// Read by the browser tests.
window.orvasmPlayground = { timings: [], updates: [], result: null, ready: false, linkWritten: false };

// What the editor's completion and hover ask of the page.
const facts = {
  result: () => good ?? null,
  file: () => workspace.active,
  instructions: () => assembler?.instructions ?? [],
  opcode: (word) => assembler?.opcode(word) ?? -1,
  nextProblem: (step) => nextProblem(step),
};

function newState(text) {
  return EditorState.create({ doc: text, extensions: editorExtensions(facts, onEditorUpdate) });
}

function onEditorUpdate(update) {
  if (update.docChanged) {
    workspace.states.set(workspace.active, update.state);
    clearTimeout(assembleTimer);
    assembleTimer = setTimeout(assemble, ASSEMBLE_DELAY);
    scheduleSave();
  } else if (update.selectionSet) {
    workspace.states.set(workspace.active, update.state);
    followCursor();
  }
}

// The files as a Map: a name such as "__proto__" is a file like any other.
function texts() {
  const files = new Map();
  for (const [name, state] of workspace.states) files.set(name, textOf(state.doc));
  return files;
}

// A document's text, made once: only the file being typed in changes.
const docTexts = new WeakMap();
function textOf(doc) {
  if (!docTexts.has(doc)) docTexts.set(doc, doc.toString());
  return docTexts.get(doc);
}

function showNotice(message, kind = 'error', action = null) {
  $('notice-text').textContent = message;
  $('notice').className = `notice ${kind}`;
  $('notice').hidden = false;
  const button = $('notice-action');
  button.hidden = !action;
  button.textContent = action?.label ?? '';
  button.onclick = action
    ? () => {
        $('notice').hidden = true;
        action.run();
      }
    : null;
}

// --- Assembly and the panes ---

// The problems of the active file, each at the range of its token, and
// the notes there (the macro uses and includes of the chain, where a
// duplicate was first defined) as information; the message shows on hover.
function underline() {
  const doc = view.state.doc;
  const marks = [];
  const mark = (d, severity, message, actions = []) => {
    if (d.file !== workspace.active) return;
    const range = rangeOf(doc, d);
    if (range) marks.push({ ...range, severity, message, actions });
  };
  for (const d of result?.problems ?? []) {
    const chain = d.chain.map((note) => `\n${note.text}`).join('');
    // A hint whose replacement is certain is offered on the token.
    const fixes = d.chain.filter((note) => note.fix !== null).map((note) => ({
      name: `Replace with ${note.fix}`,
      apply: (view, from, to) => view.dispatch({ changes: { from, to, insert: note.fix } }),
    }));
    mark(d, d.severity, describe(d) + chain, fixes);
    for (const note of d.chain) mark(note, 'info', `${describe(note)}, for ${describe(d)}`);
  }
  // Nothing to underline, as before: no update of the editor's view.
  if (marks.length === 0 && diagnosticCount(view.state) === 0) return;
  view.dispatch(setDiagnostics(view.state, marks));
}

// The bytes the cursor asks for, as rom offsets: a selection's tokens, or
// the token under the cursor, or in whitespace or on a token that wrote
// nothing (a label, a comment) the whole line's.
function marksUnderCursor() {
  if (!good) return [];
  const { doc, selection } = view.state;
  const { from, to, head } = selection.main;
  const place = (pos) => {
    const line = doc.lineAt(pos);
    return { line: line.number, column: byteColumn(line.text, pos - line.from) };
  };
  if (from !== to) return good.listing.bytesBetween(workspace.active, place(from), place(to));
  const line = doc.lineAt(head);
  const at = head - line.from;
  const onToken = /\S/.test(line.text[at] ?? '') || /\S/.test(line.text[at - 1] ?? '');
  const { column } = place(head);
  const token = onToken ? good.listing.bytesAt(workspace.active, line.number, column) : [];
  if (token.length > 0) return token;
  return good.listing.bytesBetween(workspace.active, { line: line.number, column: 1 }, { line: line.number + 1, column: 1 });
}

const narrow = window.matchMedia('(max-width: 640px)');
narrow.addEventListener('change', () => showHex());

// What the hex pane shows, so that a cursor move or an edit that changes
// no byte does not render a full rom again.
let shownHex = null;

function sameBytes(a, b) {
  if (a.length !== b.length) return false;
  for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
  return true;
}

function showHex() {
  if (!good || $('hex').hidden) return;
  const marks = marksUnderCursor();
  const width = narrow.matches ? 8 : 16;
  const key = { rom: good.rom, marks: JSON.stringify(marks), width };
  if (shownHex && key.marks === shownHex.marks && width === shownHex.width && sameBytes(key.rom, shownHex.rom)) return;
  shownHex = key;
  renderHex($('hex'), good.rom, good.start, marks, width, (offset) => pickRecord(good.listing.writerOf(offset)));
}

// The listing is rendered when its pane is shown, from the records around
// the cursor's line: a large source has tens of thousands of them, which
// typing elsewhere need not wait for.
let shownListing = null;

function cursorRecords() {
  const line = view.state.doc.lineAt(view.state.selection.main.head).number;
  const listing = good.listing;
  const id = listing.fileId(workspace.active);
  const on = new Set();
  for (let i = 0; id > 0 && i < listing.length; i++)
    if (listing.words[i * WORDS + 1] === id && listing.words[i * WORDS + 2] === line) on.add(i);
  return on;
}

function showListing() {
  if (!good || $('listing').hidden) return;
  const on = cursorRecords();
  const wanted = on.size ? Math.min(...on) : 0;
  const first = Math.max(0, Math.min(wanted - (MAX_LISTING_SHOWN >> 1), good.listing.length - MAX_LISTING_SHOWN));
  const fits = shownListing?.good === good && wanted >= shownListing.first && wanted < shownListing.first + MAX_LISTING_SHOWN;
  if (!fits) {
    shownListing = { good, first };
    renderListing($('listing'), good.listing, (i) => good.listing.tokenText(i), first, pickRecord);
  }
  markListing($('listing'), on);
}

// The symbols, when their pane is shown.
let shownSymbols = null;

function showSymbols() {
  if (!good || $('symbols').hidden || shownSymbols === good) return;
  shownSymbols = good;
  renderSymbols($('symbols'), good.symbols, goTo);
}

// The picture, drawn again only when a page changed its use.
let shownPages = '';

function showMemoryMap() {
  const key = pageUses(good.rom, good.start, good.symbols).join();
  if (key === shownPages) return;
  shownPages = key;
  renderMemoryMap($('memory'), good.rom, good.start, good.symbols, pickPage);
}

function followCursor() {
  showHex();
  showListing();
  showSymbols();
}

// Puts the cursor on `place` ({file, line, column} in bytes), opening its
// tab; a place in no file of the workspace does nothing.
function goTo(place) {
  if (!place || place.file === null || !workspace.states.has(place.file)) return false;
  if (place.file !== workspace.active) switchTo(place.file);
  const range = rangeOf(view.state.doc, place);
  if (range) view.dispatch({ selection: { anchor: range.from }, scrollIntoView: true });
  view.focus();
  return true;
}

function pickRecord(i) {
  if (i < 0 || !good) return;
  const l = good.listing;
  goTo({ file: l.file(i), line: l.line(i), column: l.column(i) });
}

// A page of the address picture: the first record that wrote there, or
// the first label that names it.
function pickPage(page) {
  const from = (page << 8) - good.start;
  for (let offset = Math.max(0, from); offset < from + 256 && offset < good.rom.length; offset++) {
    const i = good.listing.writerOf(offset);
    if (i >= 0) return pickRecord(i);
  }
  goTo(good.symbols.find((s) => s.address >> 8 === page));
}

function nextProblem(step) {
  const problems = (result?.problems ?? []).filter((p) => workspace.states.has(p.file));
  if (problems.length === 0) return false;
  problemAt = (((problemAt + step) % problems.length) + problems.length) % problems.length;
  goTo(problems[problemAt]);
  return true;
}

function showResult() {
  const problems = result.problems;
  const summary = result.status === 0 ? result.lines[result.lines.length - 1] : 'Assembly failed.';
  $('status').textContent = `${summary} (${result.took.toFixed(1)} ms)`;
  $('status').className = result.status === 0 ? 'ok' : 'failed';
  $('problems-count').textContent = problems.length ? String(problems.length) : '';
  document.title = problems.length ? `(${problems.length}) ${TITLE}` : TITLE;
  renderProblems($('problems'), problems, goTo);
  renderOutput($('output'), result);
  const stale = result.status !== 0 && good !== null;
  document.body.classList.toggle('stale', stale);
  $('stale').hidden = !stale;
  if (good && good !== shownGood) {
    shownGood = good;
    showMemoryMap();
  } else if (!good) {
    renderHex($('hex'), new Uint8Array(0), 0);
    renderSymbols($('symbols'), []);
    renderListing($('listing'), { length: 0 });
    renderMemoryMap($('memory'), new Uint8Array(0), 0x100, []);
    shownPages = '';
    shownSymbols = null;
  }
  followCursor();
  underline();
  renderTabs();
  $('download-rom').disabled = result.status !== 0;
  $('download-sym').disabled = result.status !== 0;
}
let shownGood = null;

function assemble() {
  clearTimeout(assembleTimer);
  if (!assembler) return;
  const started = performance.now();
  try {
    result = assembler.assemble({ files: texts(), main: workspace.main });
  } catch (error) {
    showNotice(`The assembly stopped: ${error.message}`);
    return;
  }
  result.took = performance.now() - started;
  if (result.status === 0) good = result;
  problemAt = -1;
  showResult();
  window.orvasmPlayground.timings.push(result.took);
  window.orvasmPlayground.updates.push(performance.now() - started);
  window.orvasmPlayground.result = result;
}

// --- Files and tabs ---

// The tabs as last drawn, so that an assembly that changes none of them
// leaves them be.
let shownTabs = '';

function renderTabs() {
  const troubled = new Set((result?.problems ?? []).map((p) => p.file));
  const key = JSON.stringify([[...workspace.states.keys()], workspace.active, workspace.main, [...troubled]]);
  if (key === shownTabs) return;
  shownTabs = key;
  const tabs = $('tabs');
  tabs.replaceChildren();
  for (const name of workspace.states.keys()) {
    const tab = document.createElement('div');
    tab.className = ['tab', name === workspace.active && 'active', troubled.has(name) && 'problem'].filter(Boolean).join(' ');
    tab.setAttribute('role', 'tab');
    tab.setAttribute('aria-selected', String(name === workspace.active));
    const label = document.createElement('button');
    label.className = 'tab-name';
    label.textContent = name;
    label.title = (name === workspace.main ? `${name} (main file)` : name) + (troubled.has(name) ? ', has a problem' : '');
    label.addEventListener('click', () => switchTo(name));
    tab.append(label);
    if (name === workspace.main) {
      const badge = document.createElement('span');
      badge.className = 'badge';
      badge.textContent = 'main';
      tab.append(badge);
    } else {
      const close = document.createElement('button');
      close.className = 'tab-close';
      close.textContent = '×';
      close.title = `Remove ${name}`;
      close.addEventListener('click', () => removeFile(name));
      tab.append(close);
    }
    tabs.append(tab);
  }
  const select = $('main-file');
  select.replaceChildren();
  for (const name of workspace.states.keys()) {
    const option = document.createElement('option');
    option.value = name;
    option.textContent = name;
    option.selected = name === workspace.main;
    select.append(option);
  }
}

function switchTo(name) {
  if (!workspace.states.has(name)) return;
  workspace.states.set(workspace.active, view.state);
  workspace.active = name;
  view.setState(workspace.states.get(name));
  renderTabs();
  if (result) {
    underline();
    followCursor();
  }
  scheduleSave();
}

function addFile() {
  const name = window.prompt('Name of the new file, as an include writes it:', 'lib.orv');
  if (name === null) return;
  const problem = checkFileName(name, new Set(workspace.states.keys()));
  if (problem) return showNotice(`The file was not added: ${problem}.`);
  workspace.states.set(name, newState(''));
  switchTo(name);
  assemble();
}

// Removes a file at once; the notice offers it back, text and history.
function removeFile(name) {
  const state = name === workspace.active ? view.state : workspace.states.get(name);
  removed = { name, state, index: [...workspace.states.keys()].indexOf(name) };
  workspace.states.delete(name);
  if (workspace.active === name) {
    workspace.active = workspace.main;
    view.setState(workspace.states.get(workspace.main));
  }
  showNotice(`${name} was removed.`, 'info', { label: 'Undo', run: restoreFile });
  assemble();
  scheduleSave();
}

function restoreFile() {
  if (!removed || workspace.states.has(removed.name)) return;
  const entries = [...workspace.states];
  entries.splice(removed.index, 0, [removed.name, removed.state]);
  workspace.states = new Map(entries);
  const name = removed.name;
  removed = null;
  switchTo(name);
  assemble();
}

// Shows a workspace: {files: [[name, text]...], main, active}.
function openWorkspace(w) {
  workspace.states = new Map(w.files.map(([name, text]) => [name, newState(text)]));
  workspace.main = w.main;
  workspace.active = w.active ?? w.main;
  good = null;
  shownGood = null;
  shownSymbols = null;
  shownPages = '';
  shownHex = null;
  shownListing = null;
  removed = null;
  if (view) view.setState(workspace.states.get(workspace.active));
  else view = new EditorView({ state: workspace.states.get(workspace.active), parent: $('editor') });
  renderTabs();
  $('examples').value = Object.hasOwn(examples, w.main) && w.main.endsWith('.orv') ? w.main : '';
  assemble();
  saveNow();
}

// --- Examples ---

// An example and the files it includes, whose paths start from the top of
// the project as the examples' includes are written.
function exampleWorkspace(main) {
  const files = [];
  const seen = new Set();
  const visit = (name) => {
    if (seen.has(name) || !Object.hasOwn(examples, name)) return;
    seen.add(name);
    files.push([name, examples[name]]);
    for (const [, path] of examples[name].matchAll(/(?:^|\s)~(\S+)/g)) visit(path);
  };
  visit(main);
  return { files, main, active: main };
}

function fillExamples() {
  const select = $('examples');
  for (const name of Object.keys(examples).sort()) {
    if (name.startsWith('examples/lib/') || !name.endsWith('.orv')) continue;
    const option = document.createElement('option');
    option.value = name;
    option.textContent = name.replace(/^examples\//, '');
    select.append(option);
  }
  select.addEventListener('change', () => openExample(select.value));
}

// The workspace shown so far stays one step back in the history: its link
// is written first, then the example's pushed after it. A workspace too
// large for a link is only left when the reader agrees.
async function openExample(name) {
  if (!name) return;
  $('notice').hidden = true;
  if (!(await writeLink()) && !window.confirm('This workspace is too large to keep in the history. Open the example anyway, leaving it?')) {
    $('examples').value = Object.hasOwn(examples, workspace.main) ? workspace.main : '';
    return;
  }
  openWorkspace(exampleWorkspace(name));
  await writeLink(true);
}

// --- The workspace in the URL and in storage ---

function currentWorkspace() {
  return { main: workspace.main, active: workspace.active, files: [...texts()] };
}

function scheduleSave() {
  clearTimeout(saveTimer);
  saveTimer = setTimeout(saveNow, SAVE_DELAY);
  clearTimeout(linkTimer);
  linkTimer = setTimeout(writeLink, LINK_DELAY);
}

// Keeps the workspace in local storage; also as the page goes away, so
// that a reload right after an edit keeps the edit.
function saveNow() {
  clearTimeout(saveTimer);
  if (workspace.states.size === 0) return;
  if (!writeSaved(currentWorkspace(), ownHash) && !saveNow.warned) {
    saveNow.warned = true;
    showNotice('The browser would not keep this workspace in its storage: copy its link to keep it.');
  }
}

// Writes the workspace's link to the address bar: in place, or as a new
// history entry with `push`. False when it is too large for a link.
async function writeLink(push = false) {
  clearTimeout(linkTimer);
  const hash = await encodeWorkspace(currentWorkspace());
  if (hash.length > MAX_LINK_LENGTH) {
    $('share').disabled = true;
    $('share').title = 'The workspace is too large to share as a link';
    return false;
  }
  $('share').disabled = false;
  $('share').title = 'Copy a link to this workspace';
  ownHash = hash;
  if (location.hash !== hash) window.history[push ? 'pushState' : 'replaceState'](null, '', hash);
  saveNow();
  window.orvasmPlayground.linkWritten = true;
  return true;
}

async function openFromLink() {
  const hash = location.hash;
  ownHash = hash;
  try {
    if (!isWorkspaceLink(hash)) throw new WorkspaceError('This link could not be read: it is not a link to a workspace.');
    openWorkspace(await decodeWorkspace(hash));
    $('notice').hidden = true;
  } catch (error) {
    if (!(error instanceof WorkspaceError)) throw error;
    const saved = readSaved();
    showNotice(`${error.message} ${saved ? 'Your last workspace is shown instead.' : 'An example is shown instead.'}`);
    openWorkspace(saved ?? exampleWorkspace(DEFAULT_EXAMPLE));
  }
}

// The first workspace: a link's, unless it is the one this browser saved
// (whose saved copy may have edits the link has not caught up with); the
// saved one on a plain visit; else the greeting example.
async function openFirst() {
  const saved = readSaved();
  if (location.hash && !(saved && saved.link === location.hash)) return openFromLink();
  ownHash = location.hash;
  openWorkspace(saved ?? exampleWorkspace(DEFAULT_EXAMPLE));
}

async function share() {
  if (!(await writeLink())) return;
  try {
    await navigator.clipboard.writeText(location.href);
    showNotice('The link to this workspace was copied.', 'info');
  } catch {
    showNotice('Copy the link to this workspace from the address bar.', 'info');
  }
}

// --- Downloads ---

function download(bytes, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

function wireControls() {
  $('add-file').addEventListener('click', addFile);
  $('main-file').addEventListener('change', (event) => {
    workspace.main = event.target.value;
    renderTabs();
    assemble();
    scheduleSave();
  });
  $('share').addEventListener('click', share);
  $('notice-close').addEventListener('click', () => ($('notice').hidden = true));
  $('download-rom').addEventListener('click', () => download(result.rom, defaultRomName(workspace.main)));
  $('download-sym').addEventListener('click', () => download(result.symbolFile, `${defaultRomName(workspace.main)}.sym`));
  for (const button of document.querySelectorAll('[data-pane]'))
    button.addEventListener('click', () => {
      for (const other of document.querySelectorAll('[data-pane]')) {
        const selected = other === button;
        other.setAttribute('aria-selected', String(selected));
        $(other.dataset.pane).hidden = !selected;
      }
      followCursor();
    });
  window.addEventListener('hashchange', () => {
    if (location.hash !== ownHash) openFromLink();
  });
  window.addEventListener('pagehide', saveNow);
  document.addEventListener('visibilitychange', () => document.visibilityState === 'hidden' && saveNow());
}

// The editor shows the workspace at once; the assembler follows when its
// module has loaded.
async function start() {
  wireControls();
  fillExamples();
  await openFirst();
  try {
    assembler = await loadAssembler('orvasm.wasm');
  } catch (error) {
    showNotice(`The assembler could not be loaded: ${error.message}`);
    return;
  }
  useTokenKinds(assembler);
  for (const [name, state] of workspace.states)
    if (name !== workspace.active) workspace.states.set(name, state.update({ effects: recolour() }).state);
  view.dispatch({ effects: recolour() });
  assemble();
  window.orvasmPlayground.ready = true;
}

start();
