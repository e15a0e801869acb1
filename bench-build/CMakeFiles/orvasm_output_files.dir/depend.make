# Empty dependencies file for orvasm_output_files.
# This may be replaced when dependencies are built.
