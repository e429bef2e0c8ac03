#!/bin/sh
# Checks Halvex.dll's tables: exactly the eight plug-in exports, and imports
# from Windows system DLLs only (no C++ runtime, libgcc or winpthread DLL).
set -eu
dll=$1
objdump=$2
exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\]/ && NR > 1 {print $NF}' | sort | tr '\n' ' ')
expected="beNotified doFormat doVarRP getFuncsArray getName isUnicode messageProc setInfo "
if [ "$exports" != "$expected" ]; then
  echo "exports: '$exports', expected '$expected'" >&2
  exit 1
fi
imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
for import in $imports; do
  case "$import" in
    kernel32.dll|user32.dll|ole32.dll|comctl32.dll|shell32.dll|msvcrt.dll|gdi32.dll|advapi32.dll|api-ms-win-*) ;;
    *) echo "unexpected import: $import" >&2; exit 1 ;;
  esac
done
echo "exports: $exports"
echo "imports:" $imports
