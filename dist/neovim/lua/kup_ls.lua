-- kup-ls in Neovim's built-in client: vim.lsp.start from Neovim 0.8,
-- vim.lsp.start_client and buf_attach_client on 0.7.
--
-- Put dist/neovim and dist/vim on 'runtimepath' (or copy them under
-- ~/.config/nvim), then in init.lua:
--   require('kup_ls').setup({ cmd = { 'kup-ls' }, settings = { arguments = { '-d', 'ENV', 'prod' } } })
local M = {}

-- One client per workspace root on Neovim 0.7, which has no vim.lsp.start.
local clients = {}

-- The workspace of a file: the nearest folder above it holding
-- .kup-ls.json, else .git, else the file's own folder.
local function root_of(file)
  local folder = vim.fn.fnamemodify(file, ':p:h')
  for _, marker in ipairs({ '.kup-ls.json', '.git' }) do
    local found = vim.fn.findfile(marker, folder .. ';')
    if found == '' then found = vim.fn.finddir(marker, folder .. ';') end
    if found ~= '' then return vim.fn.fnamemodify(found, ':p:h'):gsub('/%.git$', '') end
  end
  return folder
end

-- Starts kup-ls for the workspace of buffer `bufnr` (or reuses the one
-- running) and attaches the buffer to it.
function M.attach(bufnr, opts)
  local root = root_of(vim.api.nvim_buf_get_name(bufnr))
  local config = {
    name = 'kup-ls',
    cmd = opts.cmd or { 'kup-ls' },
    root_dir = root,
    init_options = opts.settings or {},
  }
  if vim.lsp.start then
    vim.lsp.start(config, { bufnr = bufnr })
    return
  end
  local id = clients[root]
  if id == nil or vim.lsp.get_client_by_id(id) == nil then
    id = vim.lsp.start_client(config)
    clients[root] = id
  end
  if id then vim.lsp.buf_attach_client(bufnr, id) end
end

-- Attaches every buffer of file type kup (dist/vim/ftdetect sets it for
-- *.kup), those open already included.
function M.setup(opts)
  opts = opts or {}
  local group = vim.api.nvim_create_augroup('kup_ls', { clear = true })
  vim.api.nvim_create_autocmd('FileType', {
    group = group,
    pattern = 'kup',
    callback = function(args) M.attach(args.buf, opts) end,
  })
  for _, bufnr in ipairs(vim.api.nvim_list_bufs()) do
    if vim.api.nvim_buf_is_loaded(bufnr) and vim.bo[bufnr].filetype == 'kup' then M.attach(bufnr, opts) end
  end
end

return M
