file(REMOVE_RECURSE
  "liborvasm.a"
)
