# Empty compiler generated dependencies file for orvasm_static.
# This may be replaced when dependencies are built.
