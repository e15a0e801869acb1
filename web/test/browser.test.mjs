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

test("the cursor on a token highlights the bytes it wrote; the listing is the program's", async () => {
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
  // One row per line of `orvasm --listing`, in its own words.
  const rows = await page.$$eval('#listing .line', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(rows, [
    '0100  80 12                    examples/hello.orv:2    |0100 #12 pair pair BRK',
    '0102                           examples/hello.orv:2    |0100 #12 pair pair BRK',
    '0102  01 06                    examples/hello.orv:1 +  %pair { INC DUP }',
    '0104                           examples/hello.orv:2    |0100 #12 pair pair BRK',
    '0104  01 06                    examples/hello.orv:1 +  %pair { INC DUP }',
    '0106  00                       examples/hello.orv:2    |0100 #12 pair pair BRK',
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
  // The link of the last edit: a write begun before it may end after.
  await page.evaluate(() => (window.orvasmPlayground.linkWritten = false));
  await page.waitForFunction(() => location.hash.length > 3 && window.orvasmPlayground.linkWritten);
  await new Promise((resolve) => setTimeout(resolve, 700));
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
  await page.click('[data-pane="symbols"]');
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

test('timings: the tour example, and updates of a 5,000-line source', async (t) => {
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

  // 5,000 lines: 625 labels, 2,500 references, 36 KB of rom. An update is
  // an assembly and the panes drawn again, as after a keystroke.
  const hex = (n) => (n & 0xff).toString(16).padStart(2, '0');
  const lines = Array.from({ length: 5000 }, (_, i) =>
    i % 8 === 0 ? `@l${i}` : i % 2 ? `#${hex(i)} DUP POP ,l${i - (i % 8)} JMP` : `#${hex(i)}${hex(i >> 8)} INC2 POP2`,
  );
  const big = await openPage(chromium.browser, link({ main: 'big.orv', files: [['big.orv', lines.join('\n')]] }));
  await waitText(big.page, '#status', 'Assembled big.rom');
  // Each edit puts 3 bytes in front, so that every byte after moves.
  await moveCursor(big.page, 1, 0);
  const edits = async (count) => {
    const before = await big.page.evaluate(() => window.orvasmPlayground.updates.length);
    for (let i = 0; i < count; i++) {
      const done = await big.page.evaluate(() => window.orvasmPlayground.updates.length);
      await big.page.keyboard.type('#12 POP ');
      await big.page.waitForFunction((n) => window.orvasmPlayground.updates.length > n, {}, done);
    }
    return big.page.evaluate((n) => window.orvasmPlayground.updates.slice(n).sort((a, b) => a - b), before);
  };
  const started = Date.now();
  await big.page.keyboard.type('( typing ) ', { delay: 0 });
  const typing = (Date.now() - started) / 11;
  // The target is 16 ms median and 50 ms at p95; the test fails only ten
  // times past it, as a shared machine's load can slow a round that much,
  // and prints the figures. Rounds of 40 edits, up to 3 while the target is
  // not met: another process can take a round's time.
  const TARGET = { median: 16, p95: 50 };
  const LIMIT = { median: 160, p95: 500 };
  let middle = Infinity;
  let p95 = Infinity;
  let measured = 0;
  for (let round = 0; round < 3 && (middle > TARGET.median || p95 > TARGET.p95); round++) {
    const updates = await edits(40);
    measured = updates.length;
    middle = updates[updates.length >> 1];
    p95 = updates[Math.floor(updates.length * 0.95)];
  }
  t.diagnostic(`5,000-line source: ${typing.toFixed(1)} ms a keystroke; an update ${middle.toFixed(2)} ms median, ${p95.toFixed(2)} ms at p95 (of ${measured})`);
  assert.ok(middle <= LIMIT.median, `median update ${middle} ms`);
  assert.ok(p95 <= LIMIT.p95, `p95 update ${p95} ms`);
  await big.page.close();
  await page.close();
});

// The line of the editor's cursor, and the file it is in.
const cursorPlace = (page) =>
  page.evaluate(() => [
    document.querySelector('.tab.active .tab-name').textContent,
    Number(document.querySelector('.cm-activeLineGutter')?.textContent),
  ]);

// Clicks the character `column` of line `line` (0 is the first row) of the
// hex dump.
async function clickHex(page, line, column) {
  const at = await page.evaluate(
    (line, column) => {
      // Only the rows in sight are drawn: that one first, in the middle.
      const pane = document.getElementById('hex');
      pane.scrollTop = Math.max(0, line * 18 - pane.clientHeight / 2);
      pane.onscroll?.();
      const pre = pane.querySelector('pre.hex:not(.hex-header)');
      line -= Number(pre.dataset.first);
      const walker = document.createTreeWalker(pre, NodeFilter.SHOW_TEXT);
      let skip = pre.textContent.split('\n').slice(0, line).join('\n').length + (line > 0 ? 1 : 0) + column;
      for (let node = walker.nextNode(); node; node = walker.nextNode()) {
        if (skip < node.length) {
          const range = document.createRange();
          range.setStart(node, skip);
          range.setEnd(node, skip + 1);
          const rect = range.getBoundingClientRect();
          return [rect.x + rect.width / 2, rect.y + rect.height / 2];
        }
        skip -= node.length;
      }
      return null;
    },
    line,
    column,
  );
  await page.mouse.click(...at);
}

test('one problem per mistake, with its chain as notes; the tab and the title tell', async () => {
  const files = [
    ['main.orv', '|0100 #01 ~lib.orv BRK'],
    ['lib.orv', '%twice { #FF #FF }\n#02 twice'],
  ];
  const { page, problems } = await openPage(chromium.browser, link({ main: 'main.orv', files }));
  await waitText(page, '#problems', 'Invalid hex literal');
  const items = await page.$$eval('#problems li', (nodes) => nodes.map((n) => n.textContent));
  assert.equal(items.filter((item) => !item.startsWith('note')).length, 1, items.join('\n'));
  assert.match(items[0], /^errorlib\.orv:1:10Invalid hex literal: #FF/);
  assert.ok(items.slice(1).some((item) => item.startsWith('notelib.orv:2:5')), items.join('\n'));
  assert.ok(items.slice(1).some((item) => item.startsWith('notemain.orv:1:11')), items.join('\n'));
  assert.equal(await text(page, '#problems-count'), '1');
  assert.equal(await page.title(), '(1) orvasm playground');
  const marked = await page.$$eval('.tab.problem .tab-name', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(marked, ['lib.orv']);
  // Nothing good was assembled yet: no rom to keep.
  assert.equal(await text(page, '#hex'), 'No rom.');
  assert.equal(await page.$eval('#stale', (n) => n.hidden), true);

  // A lone typo in the main file: one problem, the rom of before kept.
  await page.click('.tab:nth-child(2) .tab-name');
  await replaceText(page, '#02');
  await waitText(page, '#problems', 'No problems.');
  assert.equal(await page.title(), 'orvasm playground');
  await page.click('.tab:nth-child(1) .tab-name');
  await replaceText(page, '|0100 #01 ~lib.orv #FF BRK');
  await waitText(page, '#problems', 'Invalid hex literal');
  // One problem; its hint, if any, is a note of it.
  const lone = await page.$$eval('#problems li', (nodes) => nodes.map((n) => n.textContent));
  assert.equal(lone.filter((item) => !item.startsWith('note')).length, 1, lone.join('\n'));
  assert.match(await text(page, '#hex'), /0100  80 01 80 02 00/);
  assert.equal(await page.$eval('#stale', (n) => n.hidden), false);
  assert.equal(await page.$eval('body', (n) => n.classList.contains('stale')), true);
  assert.deepEqual(problems, []);
  await page.close();
});

test('bytes and source are linked both ways: selections, the listing, clicks on bytes, rows, labels and pages', async () => {
  const source = '%pair { INC DUP }\n|0100 @start #12 pair\n;start JMP2\n|0300 @far #34';
  const files = [
    ['main.orv', `${source} ~lib.orv`],
    ['lib.orv', '@helper #56'],
  ];
  const { page, problems } = await openPage(chromium.browser, link({ main: 'main.orv', files }));
  await waitText(page, '#status', 'Assembled main.rom');
  const marked = () => page.$$eval('#hex mark', (nodes) => nodes.map((n) => n.textContent));
  assert.equal(await text(page, '#hex pre.hex-header'), '      00 01 02 03 04 05 06 07  08 09 0a 0b 0c 0d 0e 0f');

  // A selection from "#12" to the end of the next line: what it wrote.
  await moveCursor(page, 2, 13);
  await page.keyboard.down('Shift');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('End');
  await page.keyboard.up('Shift');
  assert.deepEqual(await marked(), ['80', '12', '01', '06', 'a0', '01', '00', '2c']);

  // The listing follows the cursor.
  await page.click('[data-pane="listing"]');
  await moveCursor(page, 3, 1);
  const current = () => page.$$eval('#listing .line.current', (rows) => rows.map((r) => r.textContent));
  assert.deepEqual(await current(), ['0104  a0 01 00 2c              main.orv:3    ;start JMP2']);
  await moveCursor(page, 2, 3);
  assert.deepEqual((await current()).map((row) => row.slice(0, 11)), ['0100  80 12', '0102       ']);
  // A click on a row puts the cursor on its line, opening its file.
  await page.click('#listing .line[data-line="6"]');
  assert.deepEqual(await cursorPlace(page), ['lib.orv', 1]);
  await page.click('#listing .line[data-line="3"]');
  assert.deepEqual(await cursorPlace(page), ['main.orv', 3]);

  // A click on a byte: the token that wrote it, in its file.
  await page.click('[data-pane="hex"]');
  await clickHex(page, 0, 6 + 3 * 3); // 0x0103, "DUP" in the body of "pair"
  assert.deepEqual(await cursorPlace(page), ['main.orv', 1]);
  await clickHex(page, 0x20, 6 + 3 * 3); // 0x0303, lib.orv's "#56"
  assert.deepEqual(await cursorPlace(page), ['lib.orv', 1]);
  await clickHex(page, 0, 8 + 3 * 16 + 5); // the text column, 0x0105: ";start"
  assert.deepEqual(await cursorPlace(page), ['main.orv', 3]);

  // A label opens its definition; a page of the picture, what wrote there.
  await page.click('[data-pane="symbols"]');
  await page.click('#symbols tbody tr:nth-child(3)'); // helper
  assert.deepEqual(await cursorPlace(page), ['lib.orv', 1]);
  await page.click('#memory .page[data-page="3"]');
  assert.deepEqual(await cursorPlace(page), ['main.orv', 4]);
  const axes = await page.$$eval('#memory .axis.row', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(axes, ['0000', '2000', '4000', '6000', '8000', 'a000', 'c000', 'e000']);
  assert.match(await text(page, '#memory .caption'), /rom with data.*rom of zeros only.*named by labels, outside the rom.*unused/);

  // With an error in the source, the panes keep the last good assembly,
  // and the cursor's bytes are still the library's answer for it.
  await page.click('.tab:nth-child(1) .tab-name');
  await moveCursor(page, 4, 0);
  await page.keyboard.press('End');
  await page.keyboard.type(' ,nowhere');
  await waitText(page, '#problems', 'Unknown relative reference: nowhere');
  await page.click('[data-pane="hex"]');
  await moveCursor(page, 3, 1); // ";start"
  assert.deepEqual(await marked(), ['a0', '01', '00']);
  await page.click('[data-pane="listing"]');
  assert.deepEqual(await current(), ['0104  a0 01 00 2c              main.orv:3    ;start JMP2']);
  assert.deepEqual(problems, []);
  await page.close();
});

test('work is never lost: a reload keeps the last edit, a plain visit the workspace, Back the one before an example', async () => {
  const { page, problems, context } = await openPage(chromium.browser, server.url);
  await replaceText(page, '#0123 BRK');
  await page.reload(); // at once: before the link or the pause
  await page.waitForFunction(() => window.orvasmPlayground?.ready === true);
  assert.equal(await text(page, '.cm-content'), '#0123 BRK');
  await replaceText(page, '#4567 BRK');
  await waitText(page, '#hex', '0100  a0 45 67 00');
  await page.waitForFunction(() => window.orvasmPlayground.linkWritten);

  // A plain visit, later, in the same browser.
  const again = await openPage(chromium.browser, server.url, undefined, context);
  assert.equal(await text(again.page, '.cm-content'), '#4567 BRK');
  await again.page.close();

  // An example is a step forward in the history; Back returns the work.
  await page.select('#examples', 'examples/macros.orv');
  await waitText(page, '#status', 'Assembled macros.rom');
  assert.equal(await page.$eval('#examples', (n) => n.value), 'examples/macros.orv');
  await page.evaluate(() => history.back());
  await waitText(page, '#hex', '0100  a0 45 67 00');
  assert.equal(await text(page, '.cm-content'), '#4567 BRK');
  await page.evaluate(() => history.forward());
  await waitText(page, '#status', 'Assembled macros.rom');
  assert.deepEqual(problems, []);
  await page.close();
});

test('links: cut at any length, of an unknown version, or naming files like built-in properties', async () => {
  const full = link({ main: 'a.orv', files: [['a.orv', '|0100 @main #1234 ;main BRK ( a comment to make the link longer )']] });
  const payload = full.slice(full.indexOf('#w=') + 3);
  // Every residue modulo 4, near the end and near the start.
  const lengths = [payload.length - 1, payload.length - 2, payload.length - 3, payload.length - 4, 1, 2, 3, 5, 9];
  assert.deepEqual(new Set(lengths.map((n) => n % 4)).size, 4);
  const context = await chromium.browser.createBrowserContext();
  for (const length of lengths) {
    const { page, problems } = await openPage(chromium.browser, `${server.url}#w=${payload.slice(0, length)}`, undefined, context);
    await waitText(page, '#notice-text', 'This link could not be');
    await waitText(page, '#hex', '0100  a0 01 0e 94');
    assert.deepEqual(problems, [], `cut to ${length}`);
    await page.close();
  }
  await context.close();

  const future = link('{"v":2,"main":"a","files":[["a","x"]]}');
  const { page: later } = await openPage(chromium.browser, future);
  await waitText(later, '#notice-text', 'version 2');
  await later.close();

  const names = ['__proto__', 'constructor', 'toString'];
  const files = [['main.orv', '~__proto__ ~constructor ~toString BRK'], ...names.map((name, i) => [name, `#0${i + 1}`])];
  const { page, problems } = await openPage(chromium.browser, link({ main: 'main.orv', files }));
  await waitText(page, '#hex', '0100  80 01 80 02 80 03 00');
  await page.click('.tab:nth-child(3) .tab-name'); // constructor
  await replaceText(page, '#0c');
  await waitText(page, '#hex', '0100  80 01 80 0c 80 03 00');
  await page.evaluate(() => (window.orvasmPlayground.linkWritten = false));
  await page.waitForFunction(() => window.orvasmPlayground.linkWritten);
  await new Promise((resolve) => setTimeout(resolve, 700));
  const shared = page.url();
  const { page: back } = await openPage(chromium.browser, shared);
  await waitText(back, '#hex', '0100  80 01 80 0c 80 03 00');
  assert.deepEqual(await back.$$eval('.tab-name', (nodes) => nodes.map((n) => n.textContent)), ['main.orv', ...names]);
  assert.deepEqual(problems, []);
  await back.close();
  await page.close();
});

test('editor comforts: a dark theme, search, F8 between problems, completion and hover', async () => {
  const { page, problems } = await openPage(chromium.browser, server.url);
  const background = () => page.$eval('.cm-editor', (n) => getComputedStyle(n).backgroundColor);
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'dark' }]);
  assert.equal(await background(), 'rgb(13, 17, 23)');
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'light' }]);
  assert.equal(await background(), 'rgb(255, 255, 255)');

  // Search finds a line the editor has not drawn.
  const lines = Array.from({ length: 3000 }, (_, i) => (i === 2500 ? '@needle BRK' : '#01 POP'));
  const long = await openPage(chromium.browser, link({ main: 'long.orv', files: [['long.orv', lines.join('\n')]] }));
  await long.page.focus('.cm-content');
  await long.page.keyboard.down('Control');
  await long.page.keyboard.press('KeyF');
  await long.page.keyboard.up('Control');
  await long.page.waitForSelector('.cm-search input[name="search"]');
  await long.page.keyboard.type('needle');
  await long.page.keyboard.press('Enter');
  await long.page.waitForFunction(() => document.querySelector('.cm-activeLineGutter')?.textContent === '2501');
  await long.page.close();

  // F8 and Shift+F8: the unused labels, in turn.
  await replaceText(page, '@one BRK\n#01 POP\n@two BRK');
  await waitText(page, '#problems', 'Unused label: two');
  await page.keyboard.press('F8');
  assert.equal((await cursorPlace(page))[1], 1);
  await page.keyboard.press('F8');
  assert.equal((await cursorPlace(page))[1], 3);
  await page.keyboard.down('Shift');
  await page.keyboard.press('F8');
  await page.keyboard.up('Shift');
  assert.equal((await cursorPlace(page))[1], 1);

  // Completion: labels after a sigil, macros and instructions for a word.
  await replaceText(page, '%twice { DUP DUP } @main twice BRK');
  await waitText(page, '#status', '1 labels, 1 macros');
  const offered = async (typed, explicit = false) => {
    await page.keyboard.type(typed);
    if (explicit) {
      await page.keyboard.down('Control');
      await page.keyboard.press('Space');
      await page.keyboard.up('Control');
    }
    await page.waitForSelector('.cm-tooltip-autocomplete');
    const options = await page.$$eval('.cm-completionLabel', (nodes) => nodes.map((n) => n.textContent));
    await page.keyboard.press('Escape');
    return options;
  };
  await page.keyboard.press('End');
  assert.ok((await offered(' ;ma')).includes('main'));
  assert.ok((await offered(' tw', true)).includes('twice'));
  assert.deepEqual((await offered(' DE', true)).filter((o) => o.startsWith('DE')).sort(), ['DEI', 'DEO']);

  // Hover: a label's address, a macro's body and the bytes a token wrote.
  await replaceText(page, '%twice { DUP DUP }\n|0100 @main twice ;main JMP2');
  await waitText(page, '#status', 'Assembled hello.rom in 6 bytes');
  const hover = async (token) => {
    const spans = await page.$$('.cm-line span');
    for (const span of spans)
      if ((await span.evaluate((n) => n.textContent)) === token) {
        await page.mouse.move(0, 0);
        await span.hover();
        await page.waitForSelector('.orvasm-hover');
        return (await page.$$eval('.orvasm-hover div', (nodes) => nodes.map((n) => n.textContent)));
      }
    throw new Error(`no token ${token}`);
  };
  assert.deepEqual(await hover(';main'), ['main: 0100, used 1 time', 'writes a0 01 00']);
  assert.deepEqual(await hover('twice'), ['%twice { DUP DUP }', 'writes 06 06']);
  assert.deepEqual(await hover('JMP2'), ['instruction JMP2: opcode 2c', 'writes 2c']);
  assert.deepEqual(problems, []);
  await page.close();
});

test('the listing draws the lines in sight, past a line of many rows too', async () => {
  // 300 lines, then one of 2,000 bytes (250 rows), then 300 more.
  const lines = [...Array.from({ length: 300 }, () => '#01 POP'), '00 '.repeat(2000), ...Array.from({ length: 300 }, () => '#02 POP')];
  const { page, problems } = await openPage(chromium.browser, link({ main: 'rows.orv', files: [['rows.orv', lines.join('\n')]] }));
  await waitText(page, '#status', 'Assembled rows.rom');
  await page.click('[data-pane="listing"]');
  const lastShown = (scroll) =>
    page.$eval(
      '#listing',
      (pane, scroll) => {
        pane.scrollTop = scroll === 'end' ? pane.scrollHeight : scroll;
        pane.onscroll();
        const rows = [...pane.querySelectorAll('.line')];
        const bottom = pane.getBoundingClientRect().bottom;
        return { last: rows.at(-1).textContent.split('\n')[0], covered: rows.at(-1).getBoundingClientRect().bottom >= bottom };
      },
      scroll,
    );
  // Inside the long line, then near its end: rows reach the pane's foot.
  assert.equal((await lastShown(18 * 400)).covered, true);
  assert.equal((await lastShown(18 * 540)).covered, true);
  assert.match((await lastShown('end')).last, /rows\.orv:601 /);
  assert.deepEqual(problems, []);
  await page.close();
});

test('the examples menu, the listing of an include, and a phone-sized page', async () => {
  const { page, problems } = await openPage(chromium.browser, server.url);
  const options = await page.$$eval('#examples option', (nodes) => nodes.map((n) => n.value).filter(Boolean));
  assert.ok(options.length > 0 && options.every((name) => name.endsWith('.orv')), options.join(' '));
  assert.equal(await page.$eval('#examples', (n) => n.value), 'examples/hello.orv');
  await page.select('#examples', 'examples/include.orv');
  await waitText(page, '#status', 'Assembled include.rom');
  await page.click('[data-pane="listing"]');
  const rows = await page.$$eval('#listing .line', (nodes) => nodes.map((n) => n.textContent).join('\n'));
  assert.match(rows, /\n; examples\/lib\/write-text\.orv \(included from examples\/include\.orv:\d+\)\n/);
  await page.close();

  const hello = readFileSync(new URL('../../examples/hello.orv', import.meta.url), 'utf8');
  const typo = link({ main: 'hello.orv', files: [['hello.orv', hello.replace(',&next', ',&nxet')]] });
  const phone = await openPage(chromium.browser, typo, { width: 390, height: 844, isMobile: true, hasTouch: true });
  await waitText(phone.page, '#problems', 'Unknown relative reference');
  const layout = await phone.page.evaluate(() => {
    const place = document.querySelector('#problems .place').getBoundingClientRect();
    const message = document.querySelector('#problems .text').getBoundingClientRect();
    const targets = [...document.querySelectorAll('button, select')].filter((n) => n.offsetParent !== null);
    const small = targets.filter((n) => n.getBoundingClientRect().height < 40).map((n) => n.textContent || n.id);
    return { above: place.bottom <= message.top, small, wide: message.width };
  });
  assert.deepEqual(layout.small, []);
  assert.equal(layout.above, true);
  assert.ok(layout.wide > 300, `message ${layout.wide} px wide`);
  // The listing's rows, wider than the phone, are reached by scrolling the
  // pane, their whole text within its scrolled width.
  const greeting = await openPage(chromium.browser, server.url, { width: 390, height: 844, isMobile: true, hasTouch: true });
  await greeting.page.click('[data-pane="listing"]');
  const reach = await greeting.page.$eval('#listing', (pane) => ({
    pane: pane.scrollWidth,
    rows: Math.max(...[...pane.querySelectorAll('.line')].map((row) => row.scrollWidth)),
    shown: pane.clientWidth,
  }));
  assert.ok(reach.rows > reach.shown && reach.rows <= reach.pane, JSON.stringify(reach));
  await greeting.page.close();
  assert.deepEqual(problems, []);
  assert.deepEqual(phone.problems, []);
  await phone.page.close();
});

test('the editor shows its text before the module has loaded', async () => {
  const context = await chromium.browser.createBrowserContext();
  const page = await context.newPage();
  await page.setRequestInterception(true);
  let release;
  const held = new Promise((resolve) => (release = resolve));
  page.on('request', async (request) => {
    if (request.url().endsWith('orvasm.wasm')) await held;
    request.continue();
  });
  await page.goto(server.url);
  await page.waitForFunction(() => document.querySelector('.cm-content')?.textContent.includes('@Reset'));
  assert.equal(await text(page, '#status'), 'Loading the assembler…');
  release();
  await waitText(page, '#status', 'Assembled hello.rom');
  await context.close();
});

async function screenshots(page, folder) {
  await page.setViewport({ width: 1280, height: 800 });
  // On "line-end" in the body of "done": its bytes at each use are marked.
  await moveCursor(page, 21, 11);
  await page.waitForSelector('#hex mark');
  await page.screenshot({ path: join(folder, 'playground-desktop.png') });
  // The greeting with a typo: one problem, underlined at its token, and the
  // last good assembly kept; in the dark theme, and at a phone's width.
  const hello = readFileSync(new URL('../../examples/hello.orv', import.meta.url), 'utf8');
  const dark = await openPage(chromium.browser, link({ main: 'hello.orv', files: [['hello.orv', hello]] }));
  await dark.page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'dark' }]);
  await moveCursor(dark.page, 8, 18);
  await dark.page.keyboard.type('x');
  await dark.page.waitForSelector('.cm-lintRange-error');
  await dark.page.click('[data-pane="listing"]');
  await moveCursor(dark.page, 7, 10);
  await dark.page.screenshot({ path: join(folder, 'playground-dark.png') });
  await dark.page.close();
  const typo = link({ main: 'hello.orv', files: [['hello.orv', hello.replace(',&next', ',&nxet')]] });
  const phone = await openPage(chromium.browser, typo, { width: 390, height: 844, isMobile: true, deviceScaleFactor: 2 });
  await phone.page.waitForSelector('.cm-lintRange-error');
  await phone.page.screenshot({ path: join(folder, 'playground-phone.png'), fullPage: true });
  await phone.page.close();
}
