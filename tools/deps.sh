#!/usr/bin/env bash
# Installs the Debian packages Kelvo needs to build, run and test, only those
# that are missing. Sourced by run-demo.sh and run-tests.sh.
KELVO_PACKAGES=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-multimedia-dev clang-14 libfuzzer-14-dev zlib1g-dev libminizip-dev libcurl4-openssl-dev
  libssl-dev libsqlite3-dev libjemalloc-dev xvfb xauth poppler-utils fonts-liberation2 python3 python3-pyftpdlib
  dovecot-pop3d python3-vobject dpkg-dev desktop-file-utils python3-icalendar)
# The file by which Debian's package scripts ask whether a service may start.
KELVO_POLICY_RC="${KELVO_POLICY_RC:-/usr/sbin/policy-rc.d}"

# Runs in a subshell of its own, so its traps never replace the caller's.
kelvo_install_deps() (
  local missing=()
  for p in "${KELVO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && exit 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # Services from the packages are started by the tests themselves, never at
  # install: a policy that refuses every start, only for the install and only
  # when the computer has none of its own. It goes again on every way out.
  if [ ! -e "$KELVO_POLICY_RC" ] && [ ! -L "$KELVO_POLICY_RC" ]; then
    trap '$sudo rm -f "$KELVO_POLICY_RC"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$KELVO_POLICY_RC" >/dev/null &&
      $sudo chmod +x "$KELVO_POLICY_RC"
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
)
