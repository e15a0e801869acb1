// The playground's answers about tokens, for agree_test.py: reads one token a
// line in hexadecimal, as UTF-8, and prints for each, as a line of JSON, the
// kind orvasm.wasm gives and the style the page's editor draws it in.
//
//   node page_kinds.mjs ORVASM_WASM < tokens
import { readFileSync } from 'node:fs';
import { loadAssembler } from '../../web/src/assembler.js';
import { textStyles } from '../../web/src/language.js';

const assembler = await loadAssembler(readFileSync(process.argv[2]));
const decoder = new TextDecoder();
const lines = readFileSync(0, 'latin1').split('\n').filter((line) => line !== '');
const answers = lines.map((hex) => {
  const token = decoder.decode(Buffer.from(hex, 'hex'));
  const styles = textStyles(token, assembler.tokenKind);
  return { kind: assembler.tokenKind(token), styles };
});
process.stdout.write(`${answers.map((answer) => JSON.stringify(answer)).join('\n')}\n`);
