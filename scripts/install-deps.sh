#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run
# the demo. Idempotent: packages already present are skipped, and the package
# lists are refreshed at most once, only when something is missing.
set -euo pipefail

PACKAGES=(
    cmake make g++ pkg-config
    qtbase5-dev qttools5-dev qttools5-dev-tools
    qtdeclarative5-dev
    libssl-dev
    # libjpeg itself (PalBase re-encodes JPEGs from their YCbCr planes, below Qt)
    libjpeg62-turbo-dev
    libcpp-httplib-dev libsqlite3-dev nlohmann-json3-dev
    xvfb xauth xclip
    fonts-dejavu-core
    qttranslations5-l10n fonts-wqy-microhei
    libtesseract-dev tesseract-ocr-eng tesseract-ocr-chi-sim
    # Sanitizer builds: g++ brings ASan, UBSan and TSan; the fuzzers need clang and its
    # runtimes (libFuzzer), and llvm-symbolizer for readable stacks.
    clang libclang-rt-14-dev llvm
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
