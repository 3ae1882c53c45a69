#!/usr/bin/env bash
# Lists the functions defined in C++ sources with their length in lines
# (first to last line of the definition), longest first, through
# universal-ctags. With --max N it lists only the longer ones and exits 1 when
# there are any.
# Usage: scripts/function_lengths.sh [--max N] [FOLDER_OR_FILE...]   (default: src tools)
set -euo pipefail
cd "$(dirname "$0")/.."
max=""
if [ "${1:-}" = "--max" ]; then
  max="$2"
  shift 2
fi
[ $# -gt 0 ] || set -- src tools
command -v ctags >/dev/null || { echo "universal-ctags is missing (apt-get install universal-ctags)" >&2; exit 2; }

list="$(find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 ctags --languages=C++ --kinds-C++=f --fields=+ne --extras=-F -f - |
  awk -F'\t' '{
      line = ""; end = ""
      for (i = 4; i <= NF; i++) {
        if ($i ~ /^line:/) line = substr($i, 6)
        if ($i ~ /^end:/) end = substr($i, 5)
      }
      scope = ""
      for (i = 4; i <= NF; i++) if ($i ~ /^(class|struct|namespace):/) { sub(/^[a-z]+:/, "", $i); scope = $i "::" }
      gsub(/__anon[0-9a-f]+::/, "", scope)
      if (line != "" && end != "") printf "%5d  %s:%s  %s%s\n", end - line + 1, $2, line, scope, $1
    }' | sort -k1,1nr -k2,2)"

if [ -n "$max" ]; then
  over="$(awk -v m="$max" '$1 > m' <<<"$list")"
  if [ -n "$over" ]; then
    echo "functions over $max lines:"
    echo "$over"
    exit 1
  fi
  echo "no function over $max lines ($(wc -l <<<"$list") functions)"
else
  echo "$list"
fi
