#!/bin/sh
# Builds a release build in build/ and starts the program.
set -e
cd "$(dirname "$0")"
./tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLANTREL_TESTS=OFF >/dev/null
cmake --build build --target LantrelProg -j"$(nproc)"
exec ./build/app/LantrelProg "$@"
