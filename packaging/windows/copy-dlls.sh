#!/usr/bin/env bash
# Copies beside a Windows program every DLL it imports, directly or through another
# copied DLL, that one of the given folders holds. DLLs found in none of them are
# Windows' own (kernel32, opengl32, ...) and stay out. A DLL left beside the program
# that it no longer imports is removed, so the release never ships a stale one.
# Usage: copy-dlls.sh PROGRAM.exe FOLDER...
set -euo pipefail
program=$1
shift
dest=$(dirname "$program")

imports() {
  x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'
}

pending=("$program")
declare -A seen=() copied=()
while [ ${#pending[@]} -gt 0 ]; do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  while read -r dll; do
    key=${dll,,}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    for folder in "$@"; do
      if [ -f "$folder/$dll" ]; then
        cp -u "$folder/$dll" "$dest/"
        copied[$key]=1
        pending+=("$folder/$dll")
        break
      fi
    done
  done < <(imports "$file")
done

for file in "$dest"/*.dll; do
  [ -e "$file" ] || continue
  name=$(basename "$file")
  [ -n "${copied[${name,,}]:-}" ] || rm -f "$file"
done
