// The built page (dist/) in headless Chromium: typing assembles, errors are
// listed, a shared link gives the same workspace back, hostile or broken
// links are shown as text or refused with a message, and the downloads hold
// the program's bytes. Set ORVASM_SCREENSHOTS=DIR to also write the
// screenshots at a desktop and a phone width into DIR (docs/ in the README).
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { deflateRawSync } from 'node:zlib';
import { launch, openPage, serve } from './support.mjs';

let server;
let chromium;

before(async () => {
  server = await serve();
  chromium = await launch();
});
after(async () => {
  await chromium?.close();
  await server?.close();
});

// A link as the page writes it, made here independently of its code.
function link(workspace) {
  const json = typeof workspace === 'string' ? workspace : JSON.stringify({ v: 1, ...workspace });
  return `${server.url}#w=${deflateRawSync(Buffer.from(json)).toString('base64url')}`;
}

async function replaceText(page, text) {
  await page.click('.cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('KeyA');
  await page.keyboard.up('Control');
  await page.keyboard.press('Backspace');
  await page.keyboard.type(text);
}

// Puts the editor's cursor `column` characters into line `line` (from 1).
async function moveCursor(page, line, column) {
  await page.focus('.cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('Home');
  await page.keyboard.up('Control');
  for (let i = 1; i < line; i++) await page.keyboard.press('ArrowDown');
  for (let i = 0; i < column; i++) await page.keyboard.press('ArrowRight');
}

const text = (page, selector) => page.$eval(selector, (node) => node.textContent);
const waitText = (page, selector, expected) =>
  page.waitForFunction(
    (s, e) => document.querySelector(s)?.textContent.includes(e),
    { timeout: 20000 },
    selector,
    expected,
  );

test('typing a program shows its bytes in the rom pane, offline once loaded', async () => {
  const { page, problems } = await openPage(chromium.browser, server.url);
  await page.setOfflineMode(true);
  await replaceText(page, '|0100 @main #12 #1234 ;main BRK');
  await waitText(page, '#hex', '0100  80 12 a0 12 34 a0 01 00  00');
  assert.match(await text(page, '#status'), /^Assembled hello\.rom in 9 bytes\(0\.01% used\), 1 labels, 0 macros\./);
  assert.equal(await text(page, '#problems'), 'No problems.');
  await page.click('[data-pane="symbols"]');
  assert.equal(await text(page, '#symbols tbody'), '0100main1');
  await page.select('#examples', 'examples/macros.orv');
  await waitText(page, '#status', 'Assembled macros.rom');
  assert.deepEqual(problems, []);
  await page.close();
});

test('an error is listed with its place and underlined at its token, with the message on hover', async () => {
  const { page, problems } = await openPage(chromium.browser, server.url);
  // "é€" is 2 UTF-16 units and 5 bytes: the column, in bytes, is 14.
  await replaceText(page, '( é€ ) @a ,nowhere BRK');
  await waitText(page, '#problems', 'Unknown relative reference: nowhere');
  const items = await page.$$eval('#problems li', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(items, ['errorexamples/hello.orv:1:14Unknown relative reference: nowhere']);
  assert.match(await text(page, '#status'), /^Assembly failed\./);
  assert.equal(await page.$eval('#download-rom', (n) => n.disabled), true);
  // The last good rom stays, marked as such.
  assert.match(await text(page, '#hex'), /0100  a0 01 0e 94/);
  assert.equal(await page.$eval('#stale', (n) => n.hidden), false);
  assert.equal(await page.title(), '(1) orvasm playground');
  assert.equal(await text(page, '#output pre'), 'examples/hello.orv:1:14: Unknown relative reference: nowhere\nAssembly: Failed to assemble rom.');

  await page.waitForSelector('.cm-lintRange-error');
  const underlined = await page.$$eval('.cm-lintRange-error', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(underlined, [',nowhere']);
  await page.hover('.cm-lintRange-error');
  await page.waitForSelector('.cm-tooltip-lint', { timeout: 5000 });
  assert.equal(await text(page, '.cm-tooltip-lint'), 'Unknown relative reference: nowhere');

  // A duplicate: both places are marked, the second with the failure, the
  // first with the note that points there.
  await replaceText(page, '@twin BRK @twin');
  await waitText(page, '#problems', 'Label duplicate: twin');
  await page.waitForFunction(() => document.querySelectorAll('.cm-lintRange').length === 2);
  const marks = await page.$$eval('.cm-lintRange', (nodes) => nodes.map((n) => [n.className, n.textContent]));
  assert.deepEqual(
    marks.map(([name, token]) => [name.match(/cm-lintRange-(\w+)/)[1], token]),
    [
      ['info', '@twin'],
      ['error', '@twin'],
    ],
  );
  const listed = await page.$$eval('#problems li', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(listed.slice(0, 2), [
    'errorexamples/hello.orv:1:11Label duplicate: twin',
    'noteexamples/hello.orv:1:1note: first defined here',
  ]);
  assert.deepEqual(problems, []);
  await page.close();
});

test("the cursor on a token highlights the bytes it wrote; the listing shows every token", async () => {
  const { page, problems } = await openPage(chromium.browser, server.url);
  await replaceText(page, '%pair { INC DUP }\n|0100 #12 pair pair BRK');
  await waitText(page, '#hex', '0100  80 12 01 06 01 06 00');
  const marked = () => page.$$eval('#hex mark', (nodes) => nodes.map((n) => n.textContent));
  const moveTo = (line, column) => moveCursor(page, line, column);
  await moveTo(2, 7); // in "#12"
  assert.deepEqual(await marked(), ['80', '12']);
  await moveTo(2, 11); // the first "pair": its body's bytes
  assert.deepEqual(await marked(), ['01', '06']);
  await moveTo(1, 13); // "DUP" in the body: its byte at each use
  assert.deepEqual(await marked(), ['06', '06']);
  await moveTo(2, 5); // between tokens: the whole line's bytes
  assert.deepEqual(await marked(), ['80', '12', '01', '06', '01', '06', '00']);
  await moveTo(1, 0); // "%pair", which writes nothing: its line's body, at each use
  assert.deepEqual(await marked(), ['01', '06', '01', '06']);

  await page.click('[data-pane="listing"]');
  const rows = await page.$$eval('#listing tbody tr', (nodes) =>
    nodes.map((n) => [...n.cells].map((c) => c.textContent).join('|')),
  );
  assert.deepEqual(rows, [
    '0100|80 12|examples/hello.orv:2:7|#12',
    '0102||examples/hello.orv:2:11|+pair',
    '0102|01|examples/hello.orv:1:9|  INC',
    '0103|06|examples/hello.orv:1:13|  DUP',
    '0104||examples/hello.orv:2:16|+pair',
    '0104|01|examples/hello.orv:1:9|  INC',
    '0105|06|examples/hello.orv:1:13|  DUP',
    '0106|00|examples/hello.orv:2:21|BRK',
  ]);
  assert.deepEqual(problems, []);
  await page.close();
});

test('a shared link gives the same workspace back', async () => {
  const { page } = await openPage(chromium.browser, server.url);
  page.on('dialog', (dialog) => dialog.accept('lib/put.orv'));
  await page.click('#add-file');
  await replaceText(page, '%put { #10 DEO }');
  await page.click('.tab-name'); // back to the main file
  await replaceText(page, '~lib/put.orv #41 put BRK');
  await waitText(page, '#hex', '0100  80 41 80 10 17 00');
  await page.waitForFunction(() => location.hash.length > 3 && window.orvasmPlayground.linkWritten);
  const shared = await page.evaluate(() => location.href);
  await page.close();

  const { page: again, problems } = await openPage(chromium.browser, shared);
  await waitText(again, '#hex', '0100  80 41 80 10 17 00');
  const tabs = await again.$$eval('.tab-name', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(tabs, ['examples/hello.orv', 'lib/put.orv']);
  assert.equal(await text(again, '.cm-content'), '~lib/put.orv #41 put BRK');
  await again.click('.tab:nth-child(2) .tab-name');
  assert.equal(await text(again, '.cm-content'), '%put { #10 DEO }');

  // Removing the included file breaks the include; the notice gives it back.
  await again.click('.tab:nth-child(2) .tab-close');
  await waitText(again, '#problems', 'Include missing: lib/put.orv');
  assert.deepEqual(await again.$$eval('.tab-name', (nodes) => nodes.map((n) => n.textContent)), [
    'examples/hello.orv',
  ]);
  assert.equal(await text(again, '.cm-content'), '~lib/put.orv #41 put BRK');
  await waitText(again, '#notice-text', 'lib/put.orv was removed.');
  await again.click('#notice-action');
  await waitText(again, '#problems', 'No problems.');
  assert.deepEqual(await again.$$eval('.tab-name', (nodes) => nodes.map((n) => n.textContent)), [
    'examples/hello.orv',
    'lib/put.orv',
  ]);
  assert.equal(await text(again, '.cm-content'), '%put { #10 DEO }');
  assert.deepEqual(problems, []);
  await again.close();
});

test('markup and script in a link show as text and never run', async () => {
  const name = '<img src=x onerror="window.pwned=1">.orv';
  const source =
    '@<b>bold</b> ;<b>bold</b> @<i>spare</i> BRK ( <script>window.pwned=2</script> <svg/onload=window.pwned=3> )';
  const { page, problems } = await openPage(
    chromium.browser,
    link({ main: name, active: name, files: [[name, source]] }),
  );
  await waitText(page, '#problems', 'Unused label');
  assert.equal(await text(page, '.tab-name'), name);
  assert.equal(await text(page, '#main-file option'), name);
  assert.equal(await text(page, '.cm-content'), source);
  assert.equal(await text(page, '#problems .text'), 'Unused label: <i>spare</i>');
  assert.equal(await text(page, '#symbols td.name'), '<b>bold</b>');
  assert.match(await text(page, '#status'), /^Assembled <img src=x onerror="window\.pwned=1">\.rom in 4 bytes/);
  const found = await page.evaluate(() => ({
    pwned: typeof window.pwned,
    elements: document.querySelectorAll('img, b, i, svg, script:not([src="app.js"])').length,
  }));
  assert.deepEqual(found, { pwned: 'undefined', elements: 0 });
  assert.deepEqual(problems, []);
  await page.close();
});

test('a link that is broken or too large gets a message, and the page still works', async () => {
  const huge = JSON.stringify({ v: 1, main: 'a', files: [['a', 'x'.repeat(6 << 20)]] });
  const cases = [
    [`${server.url}#w=!!!`, 'This link could not be read: it is damaged or cut short.'],
    [`${server.url}#w=AAAAAAAA`, 'This link could not be read: it is damaged or cut short.'],
    [`${server.url}#elsewhere`, 'This link could not be read: it is not a link to a workspace.'],
    [link('{"v":1,"main":"a","files":[["a","x"],["a","y"]]}'), 'the file name "a" appears twice'],
    [link('{"v":1,"main":"b","files":[["a","x"]]}'), 'its main file is not among its files'],
    [link('[1,2,3]'), 'This link could not be opened: it holds no list of files.'],
    [link(huge), 'This link holds a workspace of more than 4 MiB; it was not opened.'],
  ];
  for (const [url, message] of cases) {
    const { page, problems } = await openPage(chromium.browser, url);
    await waitText(page, '#notice-text', message);
    assert.equal(await page.$eval('#notice', (n) => n.hidden), false);
    await waitText(page, '#hex', '0100  a0 01 0e 94'); // the greeting example instead
    assert.deepEqual(problems, [], url.slice(0, 80));
    await page.close();
  }
});

test('the downloads hold the rom and the symbol file', async () => {
  const { page, context } = await openPage(chromium.browser, server.url);
  const folder = mkdtempSync(join(tmpdir(), 'orvasm-downloads-'));
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: folder, browserContextId: context.id });
  await page.click('#download-rom');
  await page.click('#download-sym');
  const files = ['hello.rom', 'hello.rom.sym'].map((name) => join(folder, name));
  for (let i = 0; i < 100 && !files.every(existsSync); i++) await new Promise((r) => setTimeout(r, 50));
  const hex = (file) => readFileSync(file).toString('hex').replace(/(..)(?!$)/g, '$1 ');
  assert.equal(hex(files[0]), 'a0 01 0e 94 80 10 17 21 94 80 f7 0d 22 00 48 65 6c 6c 6f 2c 20 77 6f 72 6c 64 21 0a 00');
  assert.equal(
    readFileSync(files[1]).toString('latin1'),
    '\x01\x00Reset\x00\x01\x03Reset/next\x00\x01\x0egreeting\x00',
  );
  rmSync(folder, { recursive: true, force: true });
  await page.close();
});

test('timings: the tour example, and typing in a 2,000-line source', async (t) => {
  const { page } = await openPage(chromium.browser, server.url);
  await page.select('#examples', 'examples/tour.orv');
  await waitText(page, '#status', 'Assembled tour.rom in 810 bytes');
  // The median of `count` assemblies of the workspace shown.
  const median = (page, count) =>
    page.evaluate((count) => {
      const times = [];
      for (let i = 0; i < count; i++) {
        document.getElementById('main-file').dispatchEvent(new Event('change'));
        times.push(window.orvasmPlayground.timings.at(-1));
      }
      return times.sort((a, b) => a - b)[count >> 1];
    }, count);
  const tour = await median(page, 50);
  t.diagnostic(`tour example: ${tour.toFixed(2)} ms a whole assembly in the page (median of 50)`);
  if (process.env.ORVASM_SCREENSHOTS) await screenshots(page, process.env.ORVASM_SCREENSHOTS);

  // 500 labels, 1,500 references, 10 KB of rom.
  const lines = Array.from({ length: 2000 }, (_, i) =>
    i % 4 === 0 ? `@l${i}` : `#${(i & 0xff).toString(16).padStart(2, '0')} DUP POP ,l${i - (i % 4)} JMP`,
  );
  const big = await openPage(chromium.browser, link({ main: 'big.orv', files: [['big.orv', lines.join('\n')]] }));
  await waitText(big.page, '#status', 'Assembled big.rom');
  await big.page.click('.cm-content');
  const started = Date.now();
  await big.page.keyboard.type('( typing )', { delay: 0 });
  const typing = (Date.now() - started) / 10;
  const assembly = await median(big.page, 20);
  t.diagnostic(`2,000-line source: ${typing.toFixed(1)} ms a keystroke, ${assembly.toFixed(2)} ms an assembly (median of 20)`);
  await big.page.close();
  await page.close();
});

async function screenshots(page, folder) {
  await page.setViewport({ width: 1280, height: 800 });
  // On "line-end" in the body of "done": its bytes at each use are marked.
  await moveCursor(page, 21, 11);
  await page.waitForSelector('#hex mark');
  await page.screenshot({ path: join(folder, 'playground-desktop.png') });
  // The greeting with a typo: the error underlined at its token.
  const hello = readFileSync(new URL('../../examples/hello.orv', import.meta.url), 'utf8');
  const typo = link({ main: 'hello.orv', files: [['hello.orv', hello.replace(',&next', ',&nxet')]] });
  const phone = await openPage(chromium.browser, typo, { width: 390, height: 844, isMobile: true, deviceScaleFactor: 2 });
  await phone.page.waitForSelector('.cm-lintRange-error');
  await phone.page.screenshot({ path: join(folder, 'playground-phone.png'), fullPage: true });
  await phone.page.close();
}
