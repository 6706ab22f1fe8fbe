#!/usr/bin/env bash
# Fails when a C++ file in the repository differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Listed first, so that a listing that fails (no git, not a checkout) fails the check instead of
# leaving nothing to check.
listing=$(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
mapfile -t files <<<"$listing"
[ -n "$listing" ] || { echo "check-format: no C++ sources listed" >&2; exit 1; }
clang-format --dry-run -Werror "${files[@]}"
