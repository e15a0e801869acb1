// The playground page: the editor and its file tabs (files.js), the
// assembly and its panes (results.js, linking.js), the examples menu
// (examples.js), the workspace kept in the link and in local storage
// (keeping.js), and downloads. Each change of a file assembles the whole
// workspace again after a short pause.
import './style.css';
import { EditorState } from '@codemirror/state';
import { defaultRomName, loadAssembler } from './assembler.js';
import { editorExtensions, recolour } from './editor.js';
import { useTokenKinds } from './language.js';
import { $, page, showNotice } from './page.js';
import { addFile, renderTabs } from './files.js';
import { assemble, assembleSoon, nextProblem } from './results.js';
import { followCursor } from './linking.js';
import { fillExamples } from './examples.js';
import { followLink, openFirst, saveNow, scheduleSave, share } from './keeping.js';

// What the editor's completion and hover ask of the page.
const facts = {
  result: () => page.good ?? null,
  file: () => page.workspace.active,
  instructions: () => page.assembler?.instructions ?? [],
  opcode: (word) => page.assembler?.opcode(word) ?? -1,
  nextProblem: (step) => nextProblem(step),
};

page.newState = (text) => EditorState.create({ doc: text, extensions: editorExtensions(facts, onEditorUpdate) });

function onEditorUpdate(update) {
  if (update.docChanged) {
    page.workspace.states.set(page.workspace.active, update.state);
    assembleSoon();
    scheduleSave();
  } else if (update.selectionSet) {
    page.workspace.states.set(page.workspace.active, update.state);
    followCursor();
  }
}

function download(bytes, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

function showPane(button) {
  for (const other of document.querySelectorAll('[data-pane]')) {
    const selected = other === button;
    other.setAttribute('aria-selected', String(selected));
    $(other.dataset.pane).hidden = !selected;
  }
  followCursor();
}

function wireControls() {
  $('add-file').addEventListener('click', addFile);
  $('main-file').addEventListener('change', (event) => {
    page.workspace.main = event.target.value;
    renderTabs();
    assemble();
    scheduleSave();
  });
  $('share').addEventListener('click', share);
  $('notice-close').addEventListener('click', () => ($('notice').hidden = true));
  const romName = () => defaultRomName(page.workspace.main);
  $('download-rom').addEventListener('click', () => download(page.result.rom, romName()));
  $('download-sym').addEventListener('click', () => download(page.result.symbolFile, `${romName()}.sym`));
  for (const button of document.querySelectorAll('[data-pane]')) button.addEventListener('click', () => showPane(button));
  window.addEventListener('hashchange', followLink);
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
    page.assembler = await loadAssembler('orvasm.wasm');
  } catch (error) {
    showNotice(`The assembler could not be loaded: ${error.message}`);
    return;
  }
  useTokenKinds(page.assembler);
  for (const [name, state] of page.workspace.states)
    if (name !== page.workspace.active) page.workspace.states.set(name, state.update({ effects: recolour() }).state);
  page.view.dispatch({ effects: recolour() });
  assemble();
  window.orvasmPlayground.ready = true;
}

start();
