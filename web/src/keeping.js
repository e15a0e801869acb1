// The workspace kept: in local storage as it changes (and as the page goes
// away, so that a reload right after an edit keeps the edit), and in the
// link in the address bar, which shares it. A link that cannot be read ends
// in a notice that says why.
import { readSaved, writeSaved } from './saved.js';
import { MAX_LINK_LENGTH, WorkspaceError, decodeWorkspace, encodeWorkspace, isWorkspaceLink } from './workspace.js';
import { $, page, showNotice, texts } from './page.js';
import { openWorkspace } from './files.js';
import { exampleWorkspace, DEFAULT_EXAMPLE } from './examples.js';

const SAVE_DELAY = 300;
const LINK_DELAY = 500;

let ownHash = ''; // the fragment this page wrote, so its hashchange is ignored
let saveTimer = 0;
let linkTimer = 0;
let warned = false;

function currentWorkspace() {
  const { main, active } = page.workspace;
  return { main, active, files: [...texts()] };
}

export function scheduleSave() {
  clearTimeout(saveTimer);
  saveTimer = setTimeout(saveNow, SAVE_DELAY);
  clearTimeout(linkTimer);
  linkTimer = setTimeout(writeLink, LINK_DELAY);
}

export function saveNow() {
  clearTimeout(saveTimer);
  if (page.workspace.states.size === 0) return;
  if (!writeSaved(currentWorkspace(), ownHash) && !warned) {
    warned = true;
    showNotice('The browser would not keep this workspace in its storage: copy its link to keep it.');
  }
}

// Writes the workspace's link to the address bar: in place, or as a new
// history entry with `push`. False when it is too large for a link.
export async function writeLink(push = false) {
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
export async function openFirst() {
  const saved = readSaved();
  if (location.hash && !(saved && saved.link === location.hash)) return openFromLink();
  ownHash = location.hash;
  openWorkspace(saved ?? exampleWorkspace(DEFAULT_EXAMPLE));
}

// A link written by another page, or Back and Forward in the history.
export function followLink() {
  if (location.hash !== ownHash) openFromLink();
}

export async function share() {
  if (!(await writeLink())) return;
  try {
    await navigator.clipboard.writeText(location.href);
    showNotice('The link to this workspace was copied.', 'info');
  } catch {
    showNotice('Copy the link to this workspace from the address bar.', 'info');
  }
}
