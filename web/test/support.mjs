// Shared by the browser tests: a static server for the built page on
// 127.0.0.1 and the system's Chromium through puppeteer-core.
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import puppeteer from 'puppeteer-core';

export const DIST = process.env.ORVASM_WEB_DIST ?? new URL('../dist', import.meta.url).pathname;
export const CHROMIUM = process.env.CHROMIUM ?? '/usr/bin/chromium';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.css': 'text/css',
  '.wasm': 'application/wasm',
  '.map': 'application/json',
};

// Serves `dir` as python3 -m http.server would; resolves to {url, close}.
export function serve(dir = DIST) {
  const server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = join(dir, path.endsWith('/') ? `${path}index.html` : path);
    try {
      const body = readFileSync(file);
      response.writeHead(200, { 'content-type': TYPES[extname(file)] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((resolve) =>
    server.listen(0, '127.0.0.1', () =>
      resolve({
        url: `http://127.0.0.1:${server.address().port}/`,
        close: () => new Promise((done) => server.close(done)),
      }),
    ),
  );
}

// A fresh headless Chromium with its own empty profile, which nothing lets
// reach beyond this machine.
export async function launch() {
  const profile = mkdtempSync(join(tmpdir(), 'orvasm-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      `--user-data-dir=${profile}`,
    ],
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Opens `url` and waits until the page has assembled its first workspace.
// Each page has a context of its own, with its own empty local storage,
// unless `context` is given (to visit again with the storage of before).
export async function openPage(browser, url, viewport = { width: 1280, height: 800 }, context = null) {
  const own = context ?? (await browser.createBrowserContext());
  const page = await own.newPage();
  const closePage = page.close.bind(page);
  page.close = async () => {
    await closePage();
    if (!context) await own.close();
  };
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('console', (message) => {
    if (message.type() === 'error') problems.push(message.text());
  });
  await page.setViewport(viewport);
  await page.goto(url);
  await page.waitForFunction(() => window.orvasmPlayground?.ready === true, { timeout: 60000 });
  return { page, problems, context: own };
}
