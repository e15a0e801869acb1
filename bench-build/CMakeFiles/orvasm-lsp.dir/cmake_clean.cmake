file(REMOVE_RECURSE
  "CMakeFiles/orvasm-lsp.dir/src/lsp/main.cpp.o"
  "CMakeFiles/orvasm-lsp.dir/src/lsp/main.cpp.o.d"
  "orvasm-lsp"
  "orvasm-lsp.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/orvasm-lsp.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
