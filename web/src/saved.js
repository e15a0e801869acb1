// The workspace kept in the browser's local storage, so that a reload or a
// later visit finds the work as it was left: {v: 1, main, active, files:
// [[name, text]...], link}, `link` being the fragment the page last wrote
// for it (a reload of that link shows the saved workspace, which may be
// newer). Storage may be full, off or someone else's: a read that does not
// give a sound workspace is no workspace, and a write that fails is told.
import { checkWorkspace } from './workspace.js';

const KEY = 'orvasm-playground-workspace';

export function readSaved(storage = globalThis.localStorage) {
  try {
    const w = JSON.parse(storage.getItem(KEY));
    if (w?.v !== 1 || checkWorkspace(w)) return null;
    const active = w.files.some(([name]) => name === w.active) ? w.active : w.main;
    return { main: w.main, active, files: w.files, link: typeof w.link === 'string' ? w.link : '' };
  } catch {
    return null;
  }
}

// False when the browser refused it (storage full or turned off).
export function writeSaved(w, link, storage = globalThis.localStorage) {
  try {
    storage.setItem(KEY, JSON.stringify({ v: 1, main: w.main, active: w.active, files: w.files, link }));
    return true;
  } catch {
    return false;
  }
}
