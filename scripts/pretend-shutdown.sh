#!/bin/sh
# Stands in for the system shutdown while Brevant watches a simulated UPS.
echo "$(date '+%F %T') Brevant: the system would shut down now." >&2
