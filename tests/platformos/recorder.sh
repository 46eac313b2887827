#!/bin/sh
# Stand-in for a program the monitor starts: notes that it ran, and with how many arguments, in
# the file named by BREVANT_TEST_MARKER. Does nothing else.
[ -n "$BREVANT_TEST_MARKER" ] || exit 1
echo "args=$#" >> "$BREVANT_TEST_MARKER"
