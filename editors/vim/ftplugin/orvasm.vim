" Settings for orvasm sources.
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

" A comment is a lone "(" up to a lone ")"; both must stand apart as tokens.
setlocal commentstring=(\ %s\ )
setlocal comments=
" A word is a whole name as labels and macros write it ("write-byte",
" "main/loop", "<print>"), so that * and the editor's rename take all of
" it; the sigil before a name stays out except "_" and "-", which names use
" inside too.
setlocal iskeyword=@,48-57,_,-,/,<,>,+,*,192-255
let b:undo_ftplugin = 'setlocal commentstring< comments< iskeyword<'
