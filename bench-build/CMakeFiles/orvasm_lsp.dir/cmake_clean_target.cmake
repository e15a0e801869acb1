file(REMOVE_RECURSE
  "liborvasm_lsp.a"
)
