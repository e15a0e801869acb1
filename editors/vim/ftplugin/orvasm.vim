" Settings for orvasm sources.
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

" A comment is a lone "(" up to a lone ")"; both must stand apart as tokens.
setlocal commentstring=(\ %s\ )
setlocal comments=
let b:undo_ftplugin = 'setlocal commentstring< comments<'
