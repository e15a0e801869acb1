# Empty dependencies file for orvasm_core.
# This may be replaced when dependencies are built.
