file(REMOVE_RECURSE
  "CMakeFiles/count_tokens.dir/count_tokens.c.o"
  "CMakeFiles/count_tokens.dir/count_tokens.c.o.d"
  "count_tokens"
  "count_tokens.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang C)
  include(CMakeFiles/count_tokens.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
