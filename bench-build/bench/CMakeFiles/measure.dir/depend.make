# Empty dependencies file for measure.
# This may be replaced when dependencies are built.
