// What the parts of the page share: the workspace, the editor's view, the
// assembler and its results, and the notice.

// The files in tab order, each an editor state (which keeps its undo
// history); the view shows the active one. `good` is the latest assembly
// that succeeded, kept alive in the module and shown while the source has
// an error; `result` the latest.
export const page = {
  workspace: { states: new Map(), main: '', active: '' },
  view: null,
  assembler: null,
  result: null,
  good: null,
  // Set by main.js: a new editor state for a file's text.
  newState: null,
};

export const TITLE = 'orvasm playground';

export const $ = (id) => document.getElementById(id);

// Read by the browser tests.
window.orvasmPlayground = { timings: [], updates: [], result: null, ready: false, linkWritten: false };

// The files as a Map: a name such as "__proto__" is a file like any other.
export function texts() {
  const files = new Map();
  for (const [name, state] of page.workspace.states) files.set(name, textOf(state.doc));
  return files;
}

// A document's text, made once: only the file being typed in changes.
const docTexts = new WeakMap();
function textOf(doc) {
  if (!docTexts.has(doc)) docTexts.set(doc, doc.toString());
  return docTexts.get(doc);
}

export function showNotice(message, kind = 'error', action = null) {
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
