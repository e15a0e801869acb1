file(REMOVE_RECURSE
  "liborvasm_output_files.a"
)
