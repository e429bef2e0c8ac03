#!/bin/sh
# Builds the release files a second time, from scratch in another folder,
# and checks that they are byte for byte those of the first build.
# usage: check-reproducible.sh BUILD REBUILD FILE... -- CMAKE-CONFIGURE-ARGS...
set -eu
build=$1
rebuild=$2
shift 2
files=""
while [ "$1" != "--" ]; do
  files="$files $1"
  shift
done
shift

rm -rf "$rebuild"
cmake -B "$rebuild" "$@" >/dev/null
cmake --build "$rebuild" --target package-zip -j 2 >/dev/null
status=0
for file in $files; do
  first=$(sha256sum <"$build/$file" | cut -d' ' -f1)
  second=$(sha256sum <"$rebuild/$file" | cut -d' ' -f1)
  if [ "$first" = "$second" ]; then
    echo "$file: $first in both builds"
  else
    echo "$file differs: $first, rebuilt $second" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && rm -rf "$rebuild"
exit "$status"
