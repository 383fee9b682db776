#!/usr/bin/env bash
# Installs with apt-get whatever Quarvel needs to build, run and test that the
# machine does not have yet (Debian 12). Run as root, or with sudo at hand.
# "deps.sh clang" adds clang with its sanitizer and libFuzzer runtimes and the
# symbolizer, for scripts/fuzz.sh and scripts/test-sanitized.sh.
set -euo pipefail

packages=(
  cmake g++ make
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev
  # The archive of finished downloads: Qt's SQLite driver, and SQLite's
  # headers for the lookups that go to it directly; sqlite3 for the benchmark
  # that fills an archive.
  libqt6sql6-sqlite libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  nginx-light
  # TLS: the system's trusted certificates, and the openssl tool with which
  # the tests make their certificates.
  ca-certificates openssl
  # Dornex's TLS: OpenSSL's library and headers.
  libssl-dev
  fonts-dejavu-core
  # Qt's own dialog texts (buttons, file dialogs) in German.
  qt6-translations-l10n
  # The Debian package (cpack, dpkg-shlibdeps) and the pkg-config check.
  dpkg-dev file pkgconf
)
if [ "${1:-}" = clang ]; then
  packages+=(clang-14 libclang-rt-14-dev llvm-14)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
