" kup templates: files named *.kup
autocmd BufRead,BufNewFile *.kup setfiletype kup
