# Empty dependencies file for scan_floor.
# This may be replaced when dependencies are built.
