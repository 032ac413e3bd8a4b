#!/bin/bash
# Checks the formatting (.clang-format), builds the whole suite with
# AddressSanitizer + UndefinedBehaviorSanitizer and runs it, then builds the
# multi-threaded tests with ThreadSanitizer and runs them again.  Every test
# runs isolated (tests/isolate).  Run as root or with unprivileged user
# namespaces enabled.
set -euo pipefail
root=$(dirname "$(dirname "$(readlink -f "$0")")")
jobs=$(nproc)

build() {  # build DIR SANITIZER [extra cmake args]
  local dir=$1 san=$2
  shift 2
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORIN_SANITIZE="$san" \
    -DVELORIN_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

# One house style: the formatter would change nothing.
(cd "$root" && git ls-files -- '*.cpp' '*.cc' '*.c' '*.h' '*.hpp' | grep -v '/corpus/' |
  xargs -r -d '\n' clang-format --dry-run -Werror)

build "$root/build-asan" address
(cd "$root/build-asan" && ctest --output-on-failure -j "$((jobs * 2))")

build "$root/build-tsan" thread -DVELORIN_MT_TESTS_ONLY=ON -DVELORIN_BENCH=OFF
(cd "$root/build-tsan" && ctest --output-on-failure -j "$((jobs * 2))" -L mt)
