-- A real editor as the client: a headless Neovim (0.7 or later) starts
-- orvasm-lsp through its own LSP client, opens a source with an error,
-- waits for the diagnostic and checks its range, then edits the buffer
-- (which Neovim sends as incremental changes) and waits for the
-- diagnostics to follow; then jumps to a definition with
-- vim.lsp.buf.definition() and renames a label with vim.lsp.buf.rename().
--
--   ORVASM_LSP=build/orvasm-lsp nvim --headless -u NONE -i NONE -n \
--     -c 'luafile tests/lsp/nvim_diagnostics.lua'
--
-- Exits with status 0 when every check passes; otherwise prints the failed
-- check on standard error and exits with status 1.

local TIMEOUT_MS = 10000

local function finish(failure)
  if failure then
    io.stderr:write("nvim_diagnostics: " .. failure .. "\n")
    vim.cmd("cquit! 1")
  end
  vim.cmd("qall!")
end

local function describe(diagnostics)
  local lines = {}
  for _, d in ipairs(diagnostics) do
    table.insert(lines, string.format("%d:%d %s (severity %d)", d.lnum, d.col, d.message, d.severity))
  end
  return "{" .. table.concat(lines, "; ") .. "}"
end

-- Waits until the buffer's diagnostics satisfy `done`, or fails with `what`.
local function expect(what, done)
  local ok = vim.wait(TIMEOUT_MS, function() return done(vim.diagnostic.get(0)) end, 20)
  if not ok then finish(what .. ", got " .. describe(vim.diagnostic.get(0))) end
end

-- An error in this script would leave the editor waiting for input.
local function run()
  local server = os.getenv("ORVASM_LSP")
  if not server or vim.fn.executable(server) ~= 1 then finish("ORVASM_LSP names no program") end

  vim.lsp.set_log_level("ERROR")
  local workspace = vim.fn.tempname()
  vim.fn.mkdir(workspace, "p")
  local path = workspace .. "/main.orv"
  local file = assert(io.open(path, "w"))
  file:write("@Start\n  #01 #0\n")
  file:close()

  vim.cmd("edit " .. vim.fn.fnameescape(path))
  local client = vim.lsp.start_client({ name = "orvasm-lsp", cmd = { server }, root_dir = workspace })
  if not client then finish("the client did not start") end
  vim.lsp.buf_attach_client(0, client)

  expect("one error, on #0 of line 2", function(diagnostics)
    local first = diagnostics[1]
    return #diagnostics == 1 and first.message == "Invalid hex literal: #0"
      and first.severity == vim.diagnostic.severity.ERROR and first.lnum == 1 and first.col == 6
      and first.end_lnum == 1 and first.end_col == 8
  end)

  vim.api.nvim_buf_set_text(0, 1, 6, 1, 8, { "#02" })
  expect("no diagnostics once #0 is #02", function(diagnostics) return #diagnostics == 0 end)

  vim.api.nvim_buf_set_lines(0, 2, 2, false, { "@spare" })
  expect("a warning for the unused label on line 3", function(diagnostics)
    local first = diagnostics[1]
    return #diagnostics == 1 and first.message == "Unused label: spare"
      and first.severity == vim.diagnostic.severity.WARN and first.lnum == 2
  end)

  -- Line 4 calls the label of line 1 through its sublabel, from another scope.
  vim.api.nvim_buf_set_lines(0, 2, 3, false, { "  &loop ;Start/loop JMP2", "@Other ,Start/loop JMP" })
  expect("no diagnostics with the label used", function(diagnostics) return #diagnostics == 0 end)
  vim.api.nvim_win_set_cursor(0, { 4, 9 })
  vim.lsp.buf.definition()
  local jumped = vim.wait(TIMEOUT_MS, function()
    local cursor = vim.api.nvim_win_get_cursor(0)
    return cursor[1] == 3 and cursor[2] == 2
  end, 20)
  if not jumped then
    local cursor = vim.api.nvim_win_get_cursor(0)
    finish(string.format("definition: the cursor is at %d:%d, not on &loop at 3:2", cursor[1], cursor[2]))
  end

  vim.lsp.buf.rename("again")
  local want = { "@Start", "  #01 #02", "  &again ;Start/again JMP2", "@Other ,Start/again JMP" }
  local renamed = vim.wait(TIMEOUT_MS, function()
    return vim.deep_equal(vim.api.nvim_buf_get_lines(0, 0, -1, false), want)
  end, 20)
  if not renamed then
    finish("rename: the buffer is " .. table.concat(vim.api.nvim_buf_get_lines(0, 0, -1, false), " | "))
  end

  vim.fn.delete(workspace, "rf")
end

local ok, error = pcall(run)
finish(not ok and tostring(error) or nil)
