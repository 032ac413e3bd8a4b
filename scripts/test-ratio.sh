#!/bin/bash
# Prints the non-blank lines of the tests against those of the product
# (git-tracked files only; test corpora excluded) and their ratio.
set -euo pipefail
cd "$(dirname "$(dirname "$(readlink -f "$0")")")"
count() {  # count GREP-PATTERN PATHS...
  local pattern=$1
  shift
  git ls-files -- "$@" | grep -E "$pattern" | grep -v '/corpus/' |
    (xargs -r -d '\n' cat || true) | grep -cv '^[[:space:]]*$' || true
}
tests=$(count '\.(cpp|cc|c|h|hpp|py|sh)$' tests)
product=$(count '\.(cpp|cc|h|hpp)$' src components)
awk -v t="$tests" -v p="$product" \
  'BEGIN { printf "tests %d lines, product %d lines, ratio %.1f%%\n", t, p, (p ? 100 * t / p : 0) }'
