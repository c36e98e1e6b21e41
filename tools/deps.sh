#!/usr/bin/env bash
# Installs the Debian packages Kelvo needs to build, run and test, only those
# that are missing. Sourced by run-demo.sh and run-tests.sh.
KELVO_PACKAGES=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-multimedia-dev zlib1g-dev libminizip-dev libcurl4-openssl-dev libssl-dev
  libsqlite3-dev xvfb xauth poppler-utils fonts-liberation2 python3 python3-pyftpdlib dovecot-pop3d)

kelvo_install_deps() {
  local missing=()
  for p in "${KELVO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # Services from the packages are started by the tests themselves, never at install.
  echo exit 101 | $sudo tee /usr/sbin/policy-rc.d >/dev/null 2>&1 || true
  $sudo chmod +x /usr/sbin/policy-rc.d 2>/dev/null || true
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
