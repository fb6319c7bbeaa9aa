#!/usr/bin/env bash
# apt-get installs whatever of the build and test tools this machine lacks.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libcrypt-dev libsodium-dev liblmdb-dev nlohmann-json3-dev libsqlite3-dev libtiff-dev libtiff-tools libkrb5-dev
  clang-format default-jdk-headless libjetty9-java libservlet-api-java python3 python3-pil lighttpd gzip ncompress curl gss-ntlmssp
  chromium chromium-driver python3-selenium
  libcairo2-dev libcups2-dev libcurl4-openssl-dev libx11-dev xvfb imagemagick poppler-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
