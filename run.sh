#!/bin/sh
# Builds a release build in build/ and starts the program.
#
#   ./run.sh          the program, for real use
#   ./run.sh --demo   the program next to the fake line controller of the
#                     tests, both in a private network namespace: connect to
#                     127.0.0.1, line address 1; no packet reaches a real network
set -e
cd "$(dirname "$0")"
./tools/install-deps.sh

if [ "$1" != "--demo" ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLANTREL_TESTS=OFF >/dev/null
    cmake --build build --target LantrelProg -j"$(nproc)"
    exec ./build/app/LantrelProg "$@"
fi
shift

cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DLANTREL_TESTS=OFF -DLANTREL_DEMO=ON >/dev/null
cmake --build build-demo --target LantrelProg fakecontroller -j"$(nproc)"

# The demo keeps its settings, logs and instance guard apart from the
# program's own.
demo_home="$PWD/build-demo/home"
mkdir -p "$demo_home/config" "$demo_home/data" "$demo_home/tmp"

# Root makes a network namespace directly; anyone else inside a user
# namespace of their own.
if [ "$(id -u)" -eq 0 ]; then
    isolate="unshare -n"
else
    isolate="unshare -r -n"
fi

exec $isolate env XDG_CONFIG_HOME="$demo_home/config" XDG_DATA_HOME="$demo_home/data" \
    TMPDIR="$demo_home/tmp" sh -c '
    set -e
    ip link set lo up
    ip addr add 192.168.0.254/32 dev lo
    ./build-demo/tests/support/fakecontroller 127.0.0.1 502 --unit 1 --sensors 200 --io 100 --scp 32 \
        --varied-states >build-demo/fakecontroller.log 2>&1 &
    fake=$!
    trap "kill $fake 2>/dev/null" EXIT
    ./build-demo/app/LantrelProg "$@"
' demo "$@"
