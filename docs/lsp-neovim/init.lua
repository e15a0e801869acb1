-- Neovim's set-up for docs/lsp-neovim.png (made by docs/lsp-neovim/capture.sh):
-- the README's client, and colours that read well in a picture.
vim.opt.runtimepath:prepend(os.getenv("ORVASM_ROOT") .. "/editors/vim")
vim.cmd("filetype plugin on")
vim.cmd("syntax on")
vim.opt.termguicolors = false
vim.opt.number = true
vim.opt.signcolumn = "yes"
vim.opt.swapfile = false
vim.opt.shadafile = "NONE"
vim.api.nvim_create_autocmd("FileType", { pattern = "orvasm", callback = function()
  local client = vim.lsp.start_client({ name = "orvasm-lsp", cmd = { "orvasm-lsp" },
                                        root_dir = vim.fn.getcwd() })
  vim.lsp.buf_attach_client(0, client)
end })
vim.cmd("highlight NormalFloat ctermbg=236 ctermfg=252")
vim.cmd("highlight FloatBorder ctermbg=236 ctermfg=244")
vim.cmd("highlight StatusLine ctermbg=238 ctermfg=252 cterm=NONE")
vim.cmd("highlight SignColumn ctermbg=NONE")
vim.cmd("autocmd FileType markdown,lsp_markdown highlight clear markdownCode | highlight markdownCode ctermfg=214")
vim.lsp.handlers["textDocument/hover"] = vim.lsp.with(vim.lsp.handlers.hover, { border = "single" })
