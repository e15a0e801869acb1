# Empty dependencies file for orvasm.
# This may be replaced when dependencies are built.
