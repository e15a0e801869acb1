// Starts orvasm-lsp for .orv files and talks to it over its standard input
// and output. Colouring comes from the grammar and works without the server.
'use strict';

const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

let client;

function activate(context) {
  const command = vscode.workspace.getConfiguration('orvasm').get('server.path') || 'orvasm-lsp';
  client = new LanguageClient(
    'orvasm',
    'orvasm',
    { command, transport: TransportKind.stdio },
    { documentSelector: [{ scheme: 'file', language: 'orvasm' }] },
  );
  client.start().catch((error) => {
    vscode.window.showWarningMessage(
      `orvasm: the language server "${command}" did not start (${error.message}); ` +
        'colouring still works. Install orvasm-lsp or set orvasm.server.path.',
    );
  });
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
