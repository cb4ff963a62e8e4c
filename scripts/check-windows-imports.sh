#!/usr/bin/env bash
# Every DLL that an .exe or .dll under FOLDER imports must be in FOLDER (any
# subfolder) or be a Windows system DLL: one listed in
# packaging/windows/system-dlls.txt, or, with SYSTEM32, a file there (a Wine
# prefix's drive_c/windows/system32, say). Reads the import tables with
# objdump -p; prints each file's imports and exits 1 when one is unresolved.
#   scripts/check-windows-imports.sh FOLDER [SYSTEM32]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
folder="${1:?usage: $0 FOLDER}"
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump

system32="${2:-}"
lower() { tr '[:upper:]' '[:lower:]'; }
declare -A known=()
while read -r name; do
  known[$name]="Windows"
done < <(if [ -n "$system32" ]; then find "$system32" -maxdepth 1 -iname '*.dll' -printf '%f\n'
         else grep -v '^#' "$root/packaging/windows/system-dlls.txt"; fi | sed '/^$/d' | lower)
while read -r name; do
  known[$name]="here"
done < <(find "$folder" -type f -iname '*.dll' -printf '%f\n' | lower)

binaries=()
while IFS= read -r -d '' file; do binaries+=("$file"); done \
  < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
[ ${#binaries[@]} -gt 0 ] || { echo "no .exe or .dll under $folder"; exit 1; }

unresolved=0
for file in "${binaries[@]}"; do
  imports="$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p' | lower | sort -u)"
  line=""
  for dll in $imports; do
    # API sets (api-ms-win-*) are names the loader maps, not files: a
    # prefix's system32 has none, the list names those Windows 10 has.
    if [ -n "${known[$dll]:-}" ] || { [ -n "$system32" ] && [[ "$dll" == api-ms-win-* ]]; }; then
      line+=" $dll"
    else
      line+=" $dll(MISSING)"
      unresolved=$((unresolved + 1))
    fi
  done
  echo "${file#"$folder"/}:$line"
done

if [ "$unresolved" -gt 0 ]; then
  echo "$unresolved import(s) neither in $folder nor a Windows system DLL${system32:+ in $system32}"
  exit 1
fi
echo "All imports of ${#binaries[@]} programs and libraries resolved"
