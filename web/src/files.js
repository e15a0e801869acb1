// The workspace's files: their tabs (the main file's, those with a
// problem marked), switching between them, adding, removing (with an undo)
// and opening a whole workspace.
import { EditorView } from '@codemirror/view';
import examples from 'orvasm:examples';
import { checkFileName } from './workspace.js';
import { $, page, showNotice } from './page.js';
import { assemble, forgetResults, underline } from './results.js';
import { followCursor, forgetShown } from './linking.js';
import { saveNow, scheduleSave } from './keeping.js';

let removed = null; // the file removed last: {name, state, index}

// The tabs as last drawn, so that an assembly that changes none of them
// leaves them be.
let shownTabs = '';

function tabOf(name, troubled) {
  const { workspace } = page;
  const tab = document.createElement('div');
  tab.className = ['tab', name === workspace.active && 'active', troubled && 'problem'].filter(Boolean).join(' ');
  tab.setAttribute('role', 'tab');
  tab.setAttribute('aria-selected', String(name === workspace.active));
  const label = document.createElement('button');
  label.className = 'tab-name';
  label.textContent = name;
  label.title = (name === workspace.main ? `${name} (main file)` : name) + (troubled ? ', has a problem' : '');
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
  return tab;
}

export function renderTabs() {
  const { workspace } = page;
  const troubled = new Set((page.result?.problems ?? []).map((p) => p.file));
  const key = JSON.stringify([[...workspace.states.keys()], workspace.active, workspace.main, [...troubled]]);
  if (key === shownTabs) return;
  shownTabs = key;
  $('tabs').replaceChildren(...[...workspace.states.keys()].map((name) => tabOf(name, troubled.has(name))));
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

export function switchTo(name) {
  const { workspace, view } = page;
  if (!workspace.states.has(name)) return;
  workspace.states.set(workspace.active, view.state);
  workspace.active = name;
  view.setState(workspace.states.get(name));
  renderTabs();
  if (page.result) {
    underline();
    followCursor();
  }
  scheduleSave();
}

export function addFile() {
  const name = window.prompt('Name of the new file, as an include writes it:', 'lib.orv');
  if (name === null) return;
  const problem = checkFileName(name, new Set(page.workspace.states.keys()));
  if (problem) return showNotice(`The file was not added: ${problem}.`);
  page.workspace.states.set(name, page.newState(''));
  switchTo(name);
  assemble();
}

// Removes a file at once; the notice offers it back, text and history.
function removeFile(name) {
  const { workspace, view } = page;
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
  const { workspace } = page;
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
export function openWorkspace(w) {
  const { workspace } = page;
  workspace.states = new Map(w.files.map(([name, text]) => [name, page.newState(text)]));
  workspace.main = w.main;
  workspace.active = w.active ?? w.main;
  forgetResults();
  forgetShown();
  removed = null;
  const state = workspace.states.get(workspace.active);
  if (page.view) page.view.setState(state);
  else page.view = new EditorView({ state, parent: $('editor') });
  renderTabs();
  $('examples').value = Object.hasOwn(examples, w.main) && w.main.endsWith('.orv') ? w.main : '';
  assemble();
  saveNow();
}
