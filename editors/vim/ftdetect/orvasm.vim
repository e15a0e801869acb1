" Sources of the orvasm assembler end in .orv.
autocmd BufNewFile,BufRead *.orv setfiletype orvasm
