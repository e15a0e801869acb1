// The playground page: the editor and its file tabs, the result panes, the
// examples menu, downloads and the workspace in the URL. Each change of a
// file assembles the whole workspace again after a short pause.
import './style.css';
import { EditorState } from '@codemirror/state';
import {
  EditorView,
  drawSelection,
  highlightActiveLine,
  highlightActiveLineGutter,
  highlightSpecialChars,
  keymap,
  lineNumbers,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { syntaxHighlighting } from '@codemirror/language';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import examples from 'orvasm:examples';
import { defaultRomName, loadAssembler } from './assembler.js';
import { orvasmHighlight, orvasmLanguage } from './language.js';
import { byteColumn, bytesAt, rangeOf } from './positions.js';
import {
  describe,
  renderHex,
  renderListing,
  renderMemoryMap,
  renderOutput,
  renderProblems,
  renderSymbols,
} from './panes.js';
import {
  MAX_LINK_LENGTH,
  WorkspaceError,
  checkFileName,
  decodeWorkspace,
  encodeWorkspace,
  isWorkspaceLink,
} from './workspace.js';

const ASSEMBLE_DELAY = 150; // ms after the last keystroke
const LINK_DELAY = 500;
const DEFAULT_EXAMPLE = 'examples/hello.orv';

const $ = (id) => document.getElementById(id);

// The files in tab order, each an editor state (which keeps its undo
// history); the view shows the active one.
const workspace = { states: new Map(), main: '', active: '' };
let assembler = null;
let view = null;
let result = null;
let ownHash = ''; // the fragment this page wrote, so its hashchange is ignored
let assembleTimer = 0;
let linkTimer = 0;
// Read by the browser tests.
window.orvasmPlayground = { timings: [], result: null, ready: false, linkWritten: false };

function editorExtensions() {
  return [
    lineNumbers(),
    highlightActiveLineGutter(),
    highlightSpecialChars(),
    history(),
    drawSelection(),
    highlightActiveLine(),
    orvasmLanguage(assembler.tokenKind),
    syntaxHighlighting(orvasmHighlight),
    lintGutter(),
    keymap.of([...defaultKeymap, ...historyKeymap, indentWithTab]),
    EditorView.updateListener.of(onEditorUpdate),
  ];
}

function onEditorUpdate(update) {
  if (update.docChanged) {
    workspace.states.set(workspace.active, update.state);
    clearTimeout(assembleTimer);
    assembleTimer = setTimeout(assemble, ASSEMBLE_DELAY);
    scheduleLink();
  } else if (update.selectionSet) {
    workspace.states.set(workspace.active, update.state);
    showHex();
  }
}

function texts() {
  const files = {};
  for (const [name, state] of workspace.states) files[name] = state.doc.toString();
  return files;
}

function showNotice(message, kind = 'error') {
  $('notice-text').textContent = message;
  $('notice').className = `notice ${kind}`;
  $('notice').hidden = false;
}

// --- Assembly and the panes ---

// The diagnostics of the active file, each at the range of its token, and
// the notes there (where a duplicate was first defined, the macro use a
// failure happened in) as information; the message shows on hover.
function underline() {
  const doc = view.state.doc;
  const marks = [];
  const mark = (d, severity, message) => {
    if (d.file !== workspace.active) return;
    const range = rangeOf(doc, d);
    if (range) marks.push({ ...range, severity, message });
  };
  for (const d of result.diagnostics) {
    const chain = d.chain.map((note) => `\n${note.text}`).join('');
    mark(d, d.severity, describe(d) + chain);
    for (const note of d.chain) mark(note, 'info', `${describe(note)}, for ${describe(d)}`);
  }
  view.dispatch(setDiagnostics(view.state, marks));
}

// The bytes of the token under the cursor, from the listing.
function marksUnderCursor() {
  const head = view.state.selection.main.head;
  const line = view.state.doc.lineAt(head);
  const column = byteColumn(line.text, head - line.from);
  return bytesAt(result, workspace.active, line.number, column);
}

const narrow = window.matchMedia('(max-width: 640px)');
narrow.addEventListener('change', () => showHex());

// What the hex pane shows, so that a cursor move that changes nothing does
// not render a full rom again.
let shownHex = null;

function showHex() {
  if (!result) return;
  const marks = marksUnderCursor();
  const width = narrow.matches ? 8 : 16;
  const key = { result, marks: JSON.stringify(marks), width };
  if (shownHex && Object.keys(key).every((k) => key[k] === shownHex[k])) return;
  shownHex = key;
  renderHex($('hex'), result.rom, result.start, marks, width);
}

// The listing is rendered when its pane is shown: a large source has
// thousands of records, which typing elsewhere need not wait for.
let shownListing = null;

function showListing() {
  if (!result || $('listing').hidden || shownListing === result) return;
  shownListing = result;
  renderListing($('listing'), result.listing, tokenOf);
}

// The text of a listing record's token, from the file it names.
function tokenOf(record) {
  const state = workspace.states.get(record.file);
  if (!state || record.line === null || record.line > state.doc.lines) return '';
  const range = rangeOf(state.doc, record);
  return range ? state.doc.sliceString(range.from, range.to) : '';
}

function pick(diagnostic) {
  if (diagnostic.file !== workspace.active) switchTo(diagnostic.file);
  const range = rangeOf(view.state.doc, diagnostic);
  if (range) view.dispatch({ selection: { anchor: range.from }, scrollIntoView: true });
  view.focus();
}

function assemble() {
  clearTimeout(assembleTimer);
  const started = performance.now();
  try {
    result = assembler.assemble({ files: texts(), main: workspace.main });
  } catch (error) {
    showNotice(`The assembly stopped: ${error.message}`);
    return;
  }
  const took = performance.now() - started;
  window.orvasmPlayground.timings.push(took);
  window.orvasmPlayground.result = result;

  const summary = result.status === 0 ? result.lines[result.lines.length - 1] : 'Assembly failed.';
  $('status').textContent = `${summary} (${took.toFixed(1)} ms)`;
  $('status').className = result.status === 0 ? 'ok' : 'failed';
  const problems = result.diagnostics.length;
  $('problems-count').textContent = problems ? String(problems) : '';
  renderProblems($('problems'), result.diagnostics, pick);
  renderOutput($('output'), result);
  renderSymbols($('symbols'), result.symbols);
  showListing();
  renderMemoryMap($('memory'), result.rom, result.start, result.symbols);
  showHex();
  underline();
  $('download-rom').disabled = result.status !== 0;
  $('download-sym').disabled = result.status !== 0;
}

// --- Files and tabs ---

function renderTabs() {
  const tabs = $('tabs');
  tabs.replaceChildren();
  for (const name of workspace.states.keys()) {
    const tab = document.createElement('div');
    tab.className = name === workspace.active ? 'tab active' : 'tab';
    tab.setAttribute('role', 'tab');
    tab.setAttribute('aria-selected', String(name === workspace.active));
    const label = document.createElement('button');
    label.className = 'tab-name';
    label.textContent = name;
    label.title = name === workspace.main ? `${name} (main file)` : name;
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
    showHex();
  }
  scheduleLink();
}

function addFile() {
  const name = window.prompt('Name of the new file, as an include writes it:', 'lib.orv');
  if (name === null) return;
  const problem = checkFileName(name, new Set(workspace.states.keys()));
  if (problem) return showNotice(`The file was not added: ${problem}.`);
  workspace.states.set(name, EditorState.create({ doc: '', extensions: editorExtensions() }));
  switchTo(name);
  assemble();
}

function removeFile(name) {
  const state = name === workspace.active ? view.state : workspace.states.get(name);
  if (state.doc.length > 0 && !window.confirm(`Remove ${name} and its text?`)) return;
  workspace.states.delete(name);
  if (workspace.active === name) {
    workspace.active = workspace.main;
    view.setState(workspace.states.get(workspace.main));
  }
  renderTabs();
  assemble();
  scheduleLink();
}

// Shows a workspace: {files: [[name, text]...], main, active}.
function openWorkspace(w) {
  workspace.states = new Map(
    w.files.map(([name, text]) => [name, EditorState.create({ doc: text, extensions: editorExtensions() })]),
  );
  workspace.main = w.main;
  workspace.active = w.active ?? w.main;
  if (view) view.setState(workspace.states.get(workspace.active));
  else view = new EditorView({ state: workspace.states.get(workspace.active), parent: $('editor') });
  renderTabs();
  assemble();
}

// --- Examples ---

// An example and the files it includes, whose paths start from the top of
// the project as the examples' includes are written.
function exampleWorkspace(main) {
  const files = [];
  const seen = new Set();
  const visit = (name) => {
    if (seen.has(name) || !(name in examples)) return;
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
    if (name.startsWith('examples/lib/')) continue;
    const option = document.createElement('option');
    option.value = name;
    option.textContent = name.replace(/^examples\//, '');
    select.append(option);
  }
  select.addEventListener('change', () => {
    if (select.value) {
      $('notice').hidden = true;
      openWorkspace(exampleWorkspace(select.value));
      scheduleLink();
    }
    select.value = '';
  });
}

// --- The workspace in the URL ---

function currentWorkspace() {
  return { main: workspace.main, active: workspace.active, files: Object.entries(texts()) };
}

function scheduleLink() {
  clearTimeout(linkTimer);
  linkTimer = setTimeout(writeLink, LINK_DELAY);
}

async function writeLink() {
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
  if (location.hash !== hash) window.history.replaceState(null, '', hash);
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
    showNotice(`${error.message} An example is shown instead.`);
    openWorkspace(exampleWorkspace(DEFAULT_EXAMPLE));
  }
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
    scheduleLink();
  });
  $('share').addEventListener('click', share);
  $('notice-close').addEventListener('click', () => ($('notice').hidden = true));
  $('download-rom').addEventListener('click', () => download(result.rom, defaultRomName(workspace.main)));
  $('download-sym').addEventListener('click', () =>
    download(result.symbolFile, `${defaultRomName(workspace.main)}.sym`),
  );
  for (const button of document.querySelectorAll('[data-pane]'))
    button.addEventListener('click', () => {
      for (const other of document.querySelectorAll('[data-pane]')) {
        const selected = other === button;
        other.setAttribute('aria-selected', String(selected));
        $(other.dataset.pane).hidden = !selected;
      }
      showListing();
      showHex();
    });
  window.addEventListener('hashchange', () => {
    if (location.hash !== ownHash) openFromLink();
  });
}

async function start() {
  wireControls();
  fillExamples();
  try {
    assembler = await loadAssembler('orvasm.wasm');
  } catch (error) {
    showNotice(`The assembler could not be loaded: ${error.message}`);
    return;
  }
  if (location.hash) await openFromLink();
  else openWorkspace(exampleWorkspace(DEFAULT_EXAMPLE));
  window.orvasmPlayground.ready = true;
}

start();
