#!/bin/sh
# Installs what building and testing need, from Debian's packages.
# Quiet and quick when everything is already there.
set -e
PACKAGES="qtbase5-dev libqt5serialbus5-dev libqt5serialport5-dev libqwt-qt5-dev
qttranslations5-l10n qttools5-dev-tools cmake g++ make socat xvfb iproute2 util-linux
clang libclang-rt-14-dev"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
