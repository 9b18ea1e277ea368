#!/usr/bin/env bash
# Installs what `make bench` needs beyond the build: ImageMagick, the reference the JPEG fit
# is measured against. Idempotent. Neither the build nor the tests need it, and the fit
# benchmark skips that reference, saying so, when it is absent.
set -euo pipefail

if dpkg-query -W -f='${Status}' imagemagick 2>/dev/null | grep -q "install ok installed"; then
    exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "installing: imagemagick"
export DEBIAN_FRONTEND=noninteractive
if ! { $SUDO apt-get update -qq &&
    $SUDO apt-get install -y -qq --no-install-recommends imagemagick; }; then
    echo "could not install imagemagick: the fit benchmark runs without its reference" >&2
fi
