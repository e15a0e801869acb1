# Empty compiler generated dependencies file for orvasm_shared.
# This may be replaced when dependencies are built.
