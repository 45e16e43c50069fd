#!/bin/sh
# Runs one test in a private network namespace with private folders, so a
# test never reaches the real network, the real user's data or another test.
# Its own System V IPC too: shared-memory keys come from ftok() on files in
# TMPDIR and can collide between tests run side by side.
# Inside: lo up, plus the driver's factory address 192.168.0.254/32 on lo.
set -e
if [ "${LANTREL_IN_NETNS:-}" != "1" ]; then
    export LANTREL_IN_NETNS=1
    exec unshare -n -i -- "$0" "$@"
fi
ip link set lo up
ip addr add 192.168.0.254/32 dev lo
root=$(mktemp -d "${TMPDIR:-/tmp}/lantrel-test.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/home" "$root/data" "$root/runtime" "$root/tmp"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_DATA_HOME="$root/data" XDG_RUNTIME_DIR="$root/runtime" TMPDIR="$root/tmp"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
"$@"
