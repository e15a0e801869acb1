// An assembly of the workspace and what shows it: the status line, the
// problems (listed, underlined, counted on the tabs and in the title, F8
// between them) and the panes, which keep the last good assembly, marked,
// while the source has an error.
import { diagnosticCount, setDiagnostics } from '@codemirror/lint';
import { describe, renderOutput, renderProblems } from './panes.js';
import { rangeOf } from './positions.js';
import { $, TITLE, page, showNotice, texts } from './page.js';
import { clearPanes, followCursor, goTo, showMemoryMap } from './linking.js';
import { renderTabs } from './files.js';

const ASSEMBLE_DELAY = 150; // ms after the last keystroke
let assembleTimer = 0;
let problemAt = -1; // the problem F8 went to last
let shownGood = null;

// The problems of the active file, each at the range of its token, and
// the notes there (the macro uses and includes of the chain, where a
// duplicate was first defined) as information; the message shows on hover.
export function underline() {
  const { view, result, workspace } = page;
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

// Moves the cursor to the next (+1) or previous (-1) problem, across files.
export function nextProblem(step) {
  const problems = (page.result?.problems ?? []).filter((p) => page.workspace.states.has(p.file));
  if (problems.length === 0) return false;
  problemAt = (((problemAt + step) % problems.length) + problems.length) % problems.length;
  goTo(problems[problemAt]);
  return true;
}

function showResult() {
  const { result, good } = page;
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
  } else if (!good) clearPanes();
  followCursor();
  underline();
  renderTabs();
  $('download-rom').disabled = result.status !== 0;
  $('download-sym').disabled = result.status !== 0;
}

// A new workspace: nothing of the last one's assembly stays on screen.
export function forgetResults() {
  page.good = null;
  shownGood = null;
}

export function assembleSoon() {
  clearTimeout(assembleTimer);
  assembleTimer = setTimeout(assemble, ASSEMBLE_DELAY);
}

export function assemble() {
  clearTimeout(assembleTimer);
  if (!page.assembler) return;
  const started = performance.now();
  let result;
  try {
    result = page.assembler.assemble({ files: texts(), main: page.workspace.main });
  } catch (error) {
    showNotice(`The assembly stopped: ${error.message}`);
    return;
  }
  result.took = performance.now() - started;
  page.result = result;
  // The panes show the last good result: the module keeps it alive for
  // their questions until another takes its place.
  if (result.status === 0) {
    page.assembler.keep(result);
    page.good = result;
  }
  problemAt = -1;
  showResult();
  window.orvasmPlayground.timings.push(result.took);
  window.orvasmPlayground.updates.push(performance.now() - started);
  window.orvasmPlayground.result = result;
}
