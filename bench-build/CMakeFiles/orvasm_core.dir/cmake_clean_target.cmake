file(REMOVE_RECURSE
  "liborvasm_core.a"
)
