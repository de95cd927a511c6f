#!/usr/bin/env bash
# Reads the headers and the export and import tables of the plug-in DLLs with objdump -p.
# Each DLL must be of the build's kind (FORMAT: pei-i386 for the 32-bit build, pei-x86-64
# for the 64-bit one), export exactly one function, by the plain name plugMain (no @12 decoration, nothing by
# ordinal only), and import from Windows system DLLs only: KERNEL32, msvcrt and USER32,
# whose only use is MessageBoxA. Working images come from msvcrt's _aligned_malloc.
#
#   check_dll_tables.sh OBJDUMP FORMAT DLL...
set -euo pipefail
objdump=$1
format=$2
shift 2

status=0
fail() {
  echo "FAILED $dll: $*"
  status=1
}

for dll in "$@"; do
  table=$("$objdump" -p "$dll")
  grep -q "file format $format\$" <<<"$table" || fail "is $(grep -o 'file format .*' <<<"$table"), expected $format"
  export_hex=$(awk '/^Number in:/ {on = 1} on && /Export Address Table/ {print $NF; exit}' <<<"$table")
  export_count=$((16#${export_hex:-0}))
  exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {exit} on {print $NF}' <<<"$table")
  [ "$export_count" = 1 ] || fail "$export_count exported functions, expected 1"
  [ "$exports" = plugMain ] || fail "exports '$(echo $exports | cut -c1-200)', expected 'plugMain'"

  # Imported DLL names, and the functions imported from each, as "DLL FUNCTION" lines.
  imports=$(awk '/DLL Name:/ {dll = $3; next}
                 dll != "" && NF == 0 {dll = ""}
                 dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 {print dll, $3}' <<<"$table")
  for name in $(awk '/DLL Name:/ {print $3}' <<<"$table"); do
    case "${name,,}" in
      kernel32.dll | msvcrt.dll | user32.dll) ;;
      *) fail "imports $name, which is no Windows system DLL" ;;
    esac
  done
  user32=$(awk 'tolower($1) == "user32.dll" {print $2}' <<<"$imports")
  [ "$user32" = MessageBoxA ] || fail "imports '$(echo $user32)' from USER32.dll, expected only MessageBoxA"
  grep -qi '^msvcrt.dll _aligned_malloc$' <<<"$imports" || fail "does not import _aligned_malloc from msvcrt.dll"

  [ $status -eq 0 ] && echo "ok $dll: exports plugMain only; imports $(awk '/DLL Name:/ {print $3}' <<<"$table" | tr '\n' ' ')"
done
exit $status
