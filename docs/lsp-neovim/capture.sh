#!/usr/bin/env bash
# Makes docs/lsp-neovim.png: Neovim, in tmux, shows demo.orv with its
# diagnostic and the hover of a label from orvasm-lsp; the screen is
# captured with its colours, turned into HTML by aha and photographed by
# headless Chromium. Needs tmux, aha, chromium and nvim (Debian packages),
# and a build of orvasm-lsp in build/.
#
#   docs/lsp-neovim/capture.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/docs/lsp-neovim
work=$(mktemp -d)
trap 'tmux kill-session -t orvasm-lsp-picture 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$here/demo.orv" "$work/"
PATH=$root/build:$PATH ORVASM_ROOT=$root tmux new-session -d -s orvasm-lsp-picture -x 84 -y 24 \
    "cd $work && TERM=xterm-256color nvim -u $here/init.lua -i NONE demo.orv"
sleep 2
tmux send-keys -t orvasm-lsp-picture ':12' Enter '0f ' 'l'
sleep 0.5
tmux send-keys -t orvasm-lsp-picture ':lua vim.lsp.buf.hover()' Enter
sleep 1.5
tmux capture-pane -t orvasm-lsp-picture -e -p | aha --black --title "orvasm-lsp in Neovim" |
    sed 's/<pre>/<pre style="font-family: DejaVu Sans Mono, monospace; font-size: 15px; line-height: 1.2; margin: 8px;">/' \
    > "$work/screen.html"
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=780,470 \
    --screenshot="$root/docs/lsp-neovim.png" "file://$work/screen.html" 2>/dev/null
