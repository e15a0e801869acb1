# Empty compiler generated dependencies file for orvasm_lsp.
# This may be replaced when dependencies are built.
