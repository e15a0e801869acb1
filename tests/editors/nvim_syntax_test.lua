-- The Vim files of editors/vim in a real Neovim: file-type detection, the
-- comment setting, and the syntax group under the characters listed in
-- expectations.json (shared with the TextMate test) and under every mnemonic
-- of the assembler's own table. Run from anywhere with
--   nvim --headless -u NONE -i NONE -n -c 'luafile tests/editors/nvim_syntax_test.lua'
-- It prints each failure and a closing count, and exits with 1 on a failure.

local root = vim.fn.fnamemodify(debug.getinfo(1, 'S').source:sub(2), ':p:h:h:h')

-- The innermost syntax group names the colour a character gets.
local kind_of_group = {
  [''] = 'plain', orvasmMacro = 'plain',
  orvasmComment = 'comment', orvasmCommentNested = 'comment',
  orvasmMalformedComment = 'malformed-comment',
  orvasmInstruction = 'instruction', orvasmMode = 'mode', orvasmHex = 'hex',
  orvasmBracket = 'bracket', orvasmInclude = 'include',
  orvasmPadding = 'padding', orvasmPaddingError = 'padding-error',
  orvasmLabel = 'label', orvasmSublabel = 'sublabel', orvasmReference = 'reference',
  orvasmLiteral = 'literal', orvasmLiteralError = 'literal-error', orvasmText = 'text',
  orvasmMacroName = 'macro-name', orvasmMacroBrace = 'macro-brace', orvasmMacroError = 'macro-error',
}

local checks, failures = 0, 0
local function check(got, want, what)
  checks = checks + 1
  if got ~= want then
    failures = failures + 1
    io.stdout:write(string.format('FAIL %s: %s, not %s\n', what, tostring(got), tostring(want)))
  end
end

local function read_file(path) return table.concat(vim.fn.readfile(path), '\n') end

local function kind_at(line, column)
  local name = vim.fn.synIDattr(vim.fn.synID(line, column, 0), 'name')
  return kind_of_group[name] or ('the unknown group ' .. name)
end

-- The 1-based column of the nth occurrence of a whole token in a line.
local function find_token(line, token, nth)
  for column, word in line:gmatch('()(%S+)') do
    if word == token then
      nth = nth - 1
      if nth == 0 then return column end
    end
  end
end

local function check_file(path, entries)
  vim.cmd('edit ' .. vim.fn.fnameescape(root .. '/' .. path))
  check(vim.bo.filetype, 'orvasm', path .. ' file type')
  check(vim.bo.commentstring, '( %s )', path .. ' commentstring')
  -- A whole name is one word, for * and for the name a rename offers.
  for _, name in ipairs({ 'write-byte', 'main/loop', '<print>' }) do
    check(vim.fn.match(name, '^\\k\\+$'), 0, path .. ': ' .. name .. ' as one word')
  end
  for _, entry in ipairs(entries) do
    local line, token, kind, where = entry[1], entry[2], entry[3], entry[4] or {}
    local column = find_token(vim.fn.getline(line), token, where.nth or 1)
    local what = string.format('%s:%d "%s"+%d', path, line, token, where.offset or 0)
    check(column and kind_at(line, column + (where.offset or 0)) or 'no such token', kind, what)
  end
end

-- Every mnemonic of the assembler's table is an instruction, bare or with
-- all three mode letters; a fourth letter makes a plain word.
local function check_mnemonics()
  local table_text = read_file(root .. '/src/assembler/image.cpp'):match('mnemonics%[32%]%s*=%s*(%b{})')
  local words = { 'BRK' }
  for name in (table_text or ''):gmatch('"(%u%u%u)"') do
    vim.list_extend(words, { name, name .. 'k2r', name .. 'x' })
  end
  check(#words, 1 + 32 * 3, 'words made from the mnemonic table')
  vim.cmd('enew')
  vim.bo.filetype = 'orvasm'
  vim.api.nvim_buf_set_lines(0, 0, -1, false, words)
  for line, word in ipairs(words) do
    check(kind_at(line, 1), word:match('x$') and 'plain' or 'instruction', word)
    if word:match('r$') then check(kind_at(line, 4), 'mode', word .. '+3') end
  end
end

-- Only names that end in .orv are sources. (Vim's own rules look through
-- backup endings such as .bak, for every language.)
local function check_other_names()
  for _, name in ipairs({ 'program.orvx', 'program.orv.txt', 'orv' }) do
    local path = vim.fn.tempname() .. '-' .. name
    vim.fn.writefile({ '( a comment ) |0100 #12 ADD2k' }, path)
    vim.cmd('edit ' .. vim.fn.fnameescape(path))
    check(vim.bo.filetype == 'orvasm', false, name .. ' taken for a source')
    vim.fn.delete(path)
  end
end

local ok, error = pcall(function()
  vim.opt.runtimepath:prepend(root .. '/editors/vim')
  vim.cmd('filetype plugin on')
  vim.cmd('syntax on')
  local expectations = vim.fn.json_decode(read_file(root .. '/tests/editors/expectations.json'))
  for path, entries in pairs(expectations.files) do check_file(path, entries) end
  check_mnemonics()
  check_other_names()
end)
if not ok then check(error, nil, 'the test itself') end
io.stdout:write(string.format('%d passed, %d failed\n', checks - failures, failures))
vim.cmd(failures == 0 and 'qall!' or 'cquit! 1')
