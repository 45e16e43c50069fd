#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-test/, fuzzes the configuration file reader for a bounded time, and
# runs every test; exits non-zero on any failure.
set -e
cd "$(dirname "$0")"
./tools/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DLANTREL_SANITIZE=ON -DLANTREL_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc)"

# Fuzz the configuration file reader (needs clang). Only the fuzz target is
# built; its log is kept in build-fuzz/fuzz.log.
if command -v clang++ >/dev/null 2>&1; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLANTREL_FUZZ=ON -DLANTREL_TESTS=OFF >/dev/null
    cmake --build build-fuzz --target fuzz_readdocument -j"$(nproc)"
    rm -rf build-fuzz/corpus && mkdir -p build-fuzz/corpus
    if tests/support/netns-run.sh build-fuzz/fuzz/fuzz_readdocument -max_total_time=30 -timeout=10 \
        -dict=fuzz/readdocument.dict -artifact_prefix=build-fuzz/ \
        build-fuzz/corpus fuzz/corpus >build-fuzz/fuzz.log 2>&1; then
        grep -E '^Done [0-9]+ runs' build-fuzz/fuzz.log || true
        echo "fuzz_readdocument: clean"
    else
        tail -n 60 build-fuzz/fuzz.log
        echo "fuzz_readdocument: FAILED (input saved under build-fuzz/)"
        exit 1
    fi
fi

# The sanitizer options come with each test (tests/CMakeLists.txt).
cd build-test
ctest --output-on-failure -j"$(nproc)"
