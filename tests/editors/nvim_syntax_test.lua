-- The Vim files of editors/vim in a real Neovim: file-type detection, the
-- comment setting, and the syntax group under chosen characters of
-- expectations.json (shared with the TextMate test) and of every mnemonic of
-- the assembler's own table. Run with
--   nvim --headless -u NONE -i NONE -n -c 'luafile tests/editors/nvim_syntax_test.lua'
-- It prints each failure and a closing count, and exits with 1 when one fails.

local script = vim.fn.fnamemodify(debug.getinfo(1, 'S').source:sub(2), ':p')
local root = vim.fn.fnamemodify(script, ':h:h:h')

-- The innermost syntax group names the colour a character gets.
local kind_of_group = {
  [''] = 'plain',
  orvasmMacro = 'plain',
  orvasmComment = 'comment',
  orvasmCommentNested = 'comment',
  orvasmMalformedComment = 'malformed-comment',
  orvasmInstruction = 'instruction',
  orvasmMode = 'mode',
  orvasmHex = 'hex',
  orvasmBracket = 'bracket',
  orvasmInclude = 'include',
  orvasmPadding = 'padding',
  orvasmPaddingError = 'padding-error',
  orvasmLabel = 'label',
  orvasmSublabel = 'sublabel',
  orvasmReference = 'reference',
  orvasmLiteral = 'literal',
  orvasmLiteralError = 'literal-error',
  orvasmText = 'text',
  orvasmMacroName = 'macro-name',
  orvasmMacroBrace = 'macro-brace',
  orvasmMacroError = 'macro-error',
}

local checks, failures = 0, 0

local function check(ok, what, got)
  checks = checks + 1
  if not ok then
    failures = failures + 1
    io.stdout:write(string.format('FAIL %s: got %s\n', what, got))
  end
end

local function read_file(path)
  local file = assert(io.open(path, 'rb'))
  local text = file:read('a')
  file:close()
  return text
end

-- The 1-based column of the nth occurrence of token as a whole token.
local function find_token(line, token, nth)
  local seen, from = 0, 1
  while true do
    local first, last = line:find(token, from, true)
    if not first then return nil end
    local alone_before = first == 1 or line:sub(first - 1, first - 1):match('%s')
    local alone_after = last == #line or line:sub(last + 1, last + 1):match('%s')
    if alone_before and alone_after then
      seen = seen + 1
      if seen == nth then return first end
    end
    from = first + 1
  end
end

local function kind_at(line, column)
  local name = vim.fn.synIDattr(vim.fn.synID(line, column, 0), 'name')
  return kind_of_group[name] or ('the unknown group "' .. name .. '"')
end

local function check_file(path, entries)
  vim.cmd('edit ' .. vim.fn.fnameescape(root .. '/' .. path))
  check(vim.bo.filetype == 'orvasm', path .. ' is detected', vim.bo.filetype)
  check(vim.bo.commentstring == '( %s )', path .. ' comments with "( %s )"', vim.bo.commentstring)
  for _, entry in ipairs(entries) do
    local line, token, kind, where = entry[1], entry[2], entry[3], entry[4] or {}
    local column = find_token(vim.fn.getline(line), token, where.nth or 1)
    local what = string.format('%s:%d "%s"+%d is %s', path, line, token, where.offset or 0, kind)
    if column then
      local got = kind_at(line, column + (where.offset or 0))
      check(got == kind, what, got)
    else
      check(false, what, 'no such token')
    end
  end
end

-- Every mnemonic of the assembler's table, bare and with all three mode
-- letters, is an instruction; a fourth letter makes a plain word.
local function check_mnemonics()
  local source = read_file(root .. '/src/assembler/image.cpp')
  local table_text = source:match('mnemonics%[32%]%s*=%s*(%b{})') or ''
  local mnemonics = {}
  for name in table_text:gmatch('"(%u%u%u)"') do table.insert(mnemonics, name) end
  check(#mnemonics == 32, 'the mnemonic table of src/assembler/image.cpp is read', #mnemonics)
  local words = { 'BRK' }
  for _, name in ipairs(mnemonics) do
    table.insert(words, name)
    table.insert(words, name .. 'k2r')
    table.insert(words, name .. 'x')
  end
  vim.cmd('enew')
  vim.bo.filetype = 'orvasm'
  vim.api.nvim_buf_set_lines(0, 0, -1, false, words)
  for line, word in ipairs(words) do
    local want = word:sub(-1) == 'x' and 'plain' or 'instruction'
    check(kind_at(line, 1) == want, word .. ' is ' .. want, kind_at(line, 1))
    if word:sub(-1) == 'r' then check(kind_at(line, 4) == 'mode', word .. ' has modes', kind_at(line, 4)) end
  end
end

-- Only names that end in .orv are orvasm sources. (Vim's own rules look
-- through backup endings such as .bak, for every language.)
local function check_other_files()
  for _, name in ipairs({ 'program.orvx', 'program.orv.txt', 'orv' }) do
    local path = vim.fn.tempname() .. '-' .. name
    vim.fn.writefile({ '( a comment ) |0100 #12 ADD2k' }, path)
    vim.cmd('edit ' .. vim.fn.fnameescape(path))
    check(vim.bo.filetype ~= 'orvasm', name .. ' is not detected', vim.bo.filetype)
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
  check_other_files()
end)
if not ok then
  io.stdout:write('ERROR ' .. tostring(error) .. '\n')
  failures = failures + 1
end
io.stdout:write(string.format('%d passed, %d failed\n', checks - failures, failures))
vim.cmd(failures == 0 and 'qall!' or 'cquit! 1')
