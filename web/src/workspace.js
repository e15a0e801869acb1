// The workspace (its files, the main file, the open tab) as the fragment of
// the page's URL, so that a link shares it: "#w=" and the base64url of the
// raw-deflated JSON {"v":1,"main":NAME,"active":NAME,"files":[[NAME,TEXT]...]}.
// A link is someone else's input: decoding stops at MAX_WORKSPACE_BYTES, and
// every way a link can be wrong ends in a WorkspaceError with a message for
// the reader.

export const MAX_LINK_LENGTH = 2_000_000; // characters of the fragment
export const MAX_WORKSPACE_BYTES = 4 << 20; // of JSON, once inflated
export const MAX_FILES = 64;
export const MAX_NAME_LENGTH = 255;
export const VERSION = 1; // of the links this page writes and reads
const PREFIX = '#w=';

export class WorkspaceError extends Error {}

function toBase64Url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000)
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

// The bytes of base64url `text`, or null when it is not base64url (a link
// cut to 4n+1 characters is not).
function fromBase64Url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) return null;
  let binary;
  try {
    binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  } catch {
    return null;
  }
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

async function readAll(stream, limit) {
  const reader = stream.getReader();
  const chunks = [];
  let total = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    total += value.length;
    if (total > limit) {
      reader.cancel().catch(() => {});
      throw new WorkspaceError(
        `This link holds a workspace of more than ${limit >> 20} MiB; it was not opened.`,
      );
    }
    chunks.push(value);
  }
  const out = new Uint8Array(total);
  let at = 0;
  for (const chunk of chunks) out.set(chunk, at), (at += chunk.length);
  return out;
}

// Returns a problem with a decoded workspace, or null when it is sound.
export function checkWorkspace(w) {
  if (!w || typeof w !== 'object' || !Array.isArray(w.files)) return 'it holds no list of files';
  if (w.files.length === 0) return 'it holds no file';
  if (w.files.length > MAX_FILES) return `it holds more than ${MAX_FILES} files`;
  const names = new Set();
  for (const entry of w.files) {
    if (!Array.isArray(entry) || entry.length !== 2) return 'a file entry is malformed';
    const [name, text] = entry;
    if (typeof name !== 'string' || typeof text !== 'string') return 'a file entry is malformed';
    const problem = checkFileName(name, names);
    if (problem) return problem;
    names.add(name);
  }
  if (!names.has(w.main)) return 'its main file is not among its files';
  return null;
}

// Why `name` cannot name a file of the workspace, or null.
export function checkFileName(name, taken = new Set()) {
  if (name === '') return 'a file name is empty';
  if (name.length > MAX_NAME_LENGTH) return `a file name is longer than ${MAX_NAME_LENGTH} characters`;
  if (name.includes('\0')) return 'a file name holds a 0x00 character';
  if (taken.has(name)) return `the file name "${name}" appears twice`;
  return null;
}

export async function encodeWorkspace(w) {
  const json = JSON.stringify({ v: VERSION, main: w.main, active: w.active, files: w.files });
  const stream = new Blob([json]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  return PREFIX + toBase64Url(new Uint8Array(await new Response(stream).arrayBuffer()));
}

export function isWorkspaceLink(hash) {
  return hash.startsWith(PREFIX);
}

export async function decodeWorkspace(hash) {
  if (hash.length > MAX_LINK_LENGTH)
    throw new WorkspaceError('This link is too long to be opened.');
  const bad = 'This link could not be read: it is damaged or cut short.';
  const compressed = fromBase64Url(hash.slice(PREFIX.length));
  if (!compressed || compressed.length === 0) throw new WorkspaceError(bad);
  let json;
  try {
    const stream = new Blob([compressed]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
    json = new TextDecoder('utf-8', { fatal: true }).decode(await readAll(stream, MAX_WORKSPACE_BYTES));
  } catch (error) {
    if (error instanceof WorkspaceError) throw error;
    throw new WorkspaceError(bad);
  }
  let w;
  try {
    w = JSON.parse(json);
  } catch {
    throw new WorkspaceError(bad);
  }
  if (w && typeof w === 'object' && !Array.isArray(w) && w.v !== VERSION)
    throw new WorkspaceError(
      `This link could not be opened: it was written in version ${JSON.stringify(w.v ?? null).slice(0, 20)} of the playground's links, and this page reads version ${VERSION} only.`,
    );
  const problem = checkWorkspace(w);
  if (problem) throw new WorkspaceError(`This link could not be opened: ${problem}.`);
  const active = w.files.some(([name]) => name === w.active) ? w.active : w.main;
  return { main: w.main, active, files: w.files };
}
