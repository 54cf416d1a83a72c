#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what clang-format (.clang-format) makes
# of it; prints the files. Reformat one with: clang-format -i <file>
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bad=()
while IFS= read -r -d '' file; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    bad+=("$file")
  fi
done < <(git ls-files -z '*.cpp' '*.h')
if [ ${#bad[@]} -ne 0 ]; then
  printf 'not formatted: %s\n' "${bad[@]}" >&2
  exit 1
fi
