#!/bin/sh
# Checks the release zip: Halvex.dll and the sample Halvex.inf at its root,
# nothing else, as Plugins Admin expects.
set -eu
zip=$1
cmake=$2
listing=$("$cmake" -E tar tf "$zip" | sort | tr '\n' ' ')
if [ "$listing" != "Halvex.dll Halvex.inf " ]; then
  echo "$zip holds: $listing" >&2
  exit 1
fi
echo "$zip: $listing"
