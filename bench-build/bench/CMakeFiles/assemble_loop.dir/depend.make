# Empty dependencies file for assemble_loop.
# This may be replaced when dependencies are built.
