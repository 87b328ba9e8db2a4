#!/usr/bin/env bash
# Fails when a tracked C or C++ file differs from what clang-format makes of it with the
# checked-in .clang-format, and names each such file. Fix one with: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.c')
else
  mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print)
fi
# One run over all files; each place it would change is reported as a violation.
if ! report=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
  unformatted=$(grep -- '-Wclang-format-violations' <<<"$report" | cut -d: -f1 | sort -u || true)
  if [ -n "$unformatted" ]; then
    echo "Not formatted as .clang-format says (clang-format -i FILE):" >&2
    sed 's/^/  /' <<<"$unformatted" >&2
  else
    echo "$report" >&2  # clang-format itself failed
  fi
  exit 1
fi
echo "All ${#files[@]} C and C++ files are formatted."
