# Empty dependencies file for count_tokens.
# This may be replaced when dependencies are built.
