// Builds the playground into a folder of static files: index.html, app.js,
// app.css and orvasm.wasm. Any static host can serve the folder.
//
//   node build.mjs [--publish] [--serve [PORT]] [--out DIR] [--wasm FILE | --wasm-build DIR]
//
// The module comes from the CMake preset "wasm", built in build-wasm/ at the
// top of the project or in the folder --wasm-build names, unless --wasm
// names a module already built. --publish minifies and leaves out the
// source maps; --serve then serves the folder on 127.0.0.1 (port 8000).
import { spawnSync, spawn } from 'node:child_process';
import { copyFileSync, mkdirSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import * as esbuild from 'esbuild';

const web = dirname(fileURLToPath(import.meta.url));
const root = resolve(web, '..');

function options(argv) {
  const o = { out: join(web, 'dist'), wasm: null, wasmBuild: null, publish: false, serve: null };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    if (a === '--publish') o.publish = true;
    else if (a === '--out') o.out = resolve(argv[++i]);
    else if (a === '--wasm') o.wasm = resolve(argv[++i]);
    else if (a === '--wasm-build') o.wasmBuild = resolve(argv[++i]);
    else if (a === '--serve') o.serve = /^\d+$/.test(argv[i + 1] ?? '') ? Number(argv[++i]) : 8000;
    else throw new Error(`unknown argument: ${a}`);
  }
  return o;
}

function run(command, args) {
  const status = spawnSync(command, args, { cwd: root, stdio: 'inherit' }).status;
  if (status !== 0) throw new Error(`${command} ${args.join(' ')} failed`);
}

// The module from the preset "wasm", in its own build-wasm/ or in `dir`.
function buildWasm(dir) {
  run('cmake', ['--preset', 'wasm', ...(dir ? ['-B', dir] : [])]);
  run('cmake', dir ? ['--build', dir, '-j2'] : ['--build', '--preset', 'wasm']);
  return join(dir ?? join(root, 'build-wasm'), 'orvasm.wasm');
}

// "orvasm:examples": every file under examples/, by its path from the top
// of the project, as the examples' includes name them.
const examplesPlugin = {
  name: 'orvasm-examples',
  setup(build) {
    build.onResolve({ filter: /^orvasm:examples$/ }, () => ({ path: 'examples', namespace: 'orvasm' }));
    build.onLoad({ filter: /.*/, namespace: 'orvasm' }, () => {
      const files = {};
      const directory = join(root, 'examples');
      for (const entry of readdirSync(directory, { recursive: true, withFileTypes: true })) {
        if (!entry.isFile()) continue;
        const path = join(entry.parentPath ?? entry.path, entry.name);
        files[path.slice(root.length + 1)] = readFileSync(path, 'utf8');
      }
      return { contents: JSON.stringify(files), loader: 'json', watchFiles: Object.keys(files) };
    });
  },
};

const o = options(process.argv.slice(2));
const wasm = o.wasm ?? buildWasm(o.wasmBuild);
rmSync(o.out, { recursive: true, force: true });
mkdirSync(o.out, { recursive: true });
await esbuild.build({
  entryPoints: [join(web, 'src', 'main.js')],
  outfile: join(o.out, 'app.js'),
  bundle: true,
  format: 'esm',
  target: ['chrome105', 'firefox110', 'safari16.4'],
  minify: o.publish,
  sourcemap: !o.publish,
  legalComments: 'linked',
  plugins: [examplesPlugin],
  logLevel: 'warning',
});
copyFileSync(join(web, 'index.html'), join(o.out, 'index.html'));
copyFileSync(wasm, join(o.out, 'orvasm.wasm'));
console.log(`playground built in ${o.out}`);

if (o.serve !== null) {
  console.log(`serving http://127.0.0.1:${o.serve}/ (Ctrl-C stops)`);
  spawn('python3', ['-m', 'http.server', String(o.serve), '--bind', '127.0.0.1', '--directory', o.out], {
    stdio: 'inherit',
  });
}
