# Empty dependencies file for orvasm-lsp.
# This may be replaced when dependencies are built.
