-- Run by neovim_test.sh in a headless Neovim whose init loaded dist/'s
-- configuration and opened template.kup: waits for kup-ls's diagnostics,
-- checks them and go-to-definition, and writes "ok" or the failures to
-- the file named by $KUP_LS_RESULT.
local failures = {}
local function check(condition, what)
  if not condition then table.insert(failures, what) end
end

local template = vim.api.nvim_get_current_buf()
check(vim.bo[template].filetype == 'kup', 'the template has file type kup')
local arrived = vim.wait(15000, function() return #vim.diagnostic.get(template) > 0 end, 50)
check(arrived, 'diagnostics arrived')

local errors, hints = {}, {}
for _, d in ipairs(vim.diagnostic.get(template)) do
  if d.severity == vim.diagnostic.severity.ERROR then table.insert(errors, d) end
  if d.severity == vim.diagnostic.severity.HINT then table.insert(hints, d) end
end
-- The error of the snippet's line 2 is shown at the #include line (6).
check(#errors == 1 and errors[1].lnum == 5, 'the included file\'s error at the #include line')
-- The skipped lines 3 and 4, as one hint tagged unnecessary.
local function unnecessary(d)
  local lsp = d.user_data and d.user_data.lsp or {}
  for _, tag in ipairs(lsp.tags or {}) do
    if tag == 1 then return true end
  end
  return d._tags ~= nil and d._tags.unnecessary == true
end
check(#hints == 1 and hints[1].lnum == 2 and hints[1].end_lnum == 3 and unnecessary(hints[1]),
      'the skipped lines as an unnecessary hint')

-- Go to the definition of PORT (line 7) in the snippet.
vim.api.nvim_win_set_cursor(0, { 7, 15 })
vim.lsp.buf.definition()
local jumped = vim.wait(10000, function()
  return vim.api.nvim_buf_get_name(0):match('snippet%.kup$') ~= nil
end, 50)
check(jumped, 'definition opens the snippet')
check(vim.api.nvim_win_get_cursor(0)[1] == 1, 'definition jumps to the snippet\'s line 1')

local result = io.open(os.getenv('KUP_LS_RESULT'), 'w')
result:write(#failures == 0 and 'ok\n' or table.concat(failures, '\n') .. '\n')
result:close()
vim.cmd('qall!')
