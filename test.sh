#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-test/ and runs every test; exits non-zero on any failure.
set -e
cd "$(dirname "$0")"
./tools/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DLANTREL_SANITIZE=ON -DLANTREL_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc)"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cd build-test
ctest --output-on-failure -j"$(nproc)"
