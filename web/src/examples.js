// The examples menu: each example with the files it includes, opened as a
// step in the history.
import examples from 'orvasm:examples';
import { $, page } from './page.js';
import { openWorkspace } from './files.js';
import { writeLink } from './keeping.js';

export const DEFAULT_EXAMPLE = 'examples/hello.orv';

// An example and the files it includes, whose paths start from the top of
// the project as the examples' includes are written.
export function exampleWorkspace(main) {
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

export function fillExamples() {
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
    const main = page.workspace.main;
    $('examples').value = Object.hasOwn(examples, main) ? main : '';
    return;
  }
  openWorkspace(exampleWorkspace(name));
  await writeLink(true);
}
