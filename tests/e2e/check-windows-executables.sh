#!/usr/bin/env bash
# Checks Windows executables built by the win32 and win64 presets: each must exist, be the kind
# of file given (as `file` names it), and import only DLLs that every Windows has.
# Usage: check-windows-executables.sh EXE KIND [EXE KIND ...]
set -uo pipefail

allowed="kernel32.dll user32.dll gdi32.dll comctl32.dll msvcrt.dll"
status=0

while [ $# -ge 2 ]; do
  exe=$1 kind=$2
  shift 2
  if [ ! -f "$exe" ]; then
    echo "FAIL $exe is missing: build it with the win32 and win64 presets (make build)"
    status=1
    continue
  fi
  description=$(file -b "$exe")
  if [[ "$description" != "$kind"* ]]; then
    echo "FAIL $exe is \"$description\", expected \"$kind\""
    status=1
  fi
  imports=$(objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  if [ -z "$imports" ]; then
    echo "FAIL $exe: objdump found no import table"
    status=1
  fi
  for dll in $imports; do
    if [[ " $allowed " != *" $dll "* ]]; then
      echo "FAIL $exe imports $dll, which is not among the allowed system DLLs ($allowed)"
      status=1
    fi
  done
  echo "checked $exe: $description; imports $(echo $imports)"
done

exit $status
