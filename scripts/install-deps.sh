#!/bin/sh
# Installs what the build, the tests and the demo need on Debian 12. Safe to
# run again: it only asks apt for packages that are missing.
#
# A package mirror in the middle of a sync is met now and then: an index of
# one suite has the wrong size, or the amd64 candidate of a library comes
# from the security suite while its i386 twin (wanted by wine32:i386) is
# still only in the main suite, and multi-arch twins must agree in version.
# So the index update is retried and may end with some indexes old, and an
# install that fails is tried once more with the main release as target,
# where both architectures always carry the same versions.
set -eu

packages="
  cmake make git
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  libz-mingw-w64-dev
  googletest
  wine wine32:i386 wine64
  xvfb xauth x11-apps imagemagick fonts-nanum locales
  python3-pyftpdlib openssl nlohmann-json3-dev
  coreutils clang-format
  clang libfuzzer-14-dev zlib1g-dev
"
update_tries=3
retry_pause_seconds=20

say() { echo "install-deps: $*" >&2; }

missing_packages() {
  for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
      printf ' %s' "$p"
  done
}

missing=$(missing_packages)
[ -z "$missing" ] && exit 0

as_root=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    say "missing:$missing"
    say "installing them needs root or sudo, and there is no sudo here"
    exit 1
  fi
  as_root="sudo"
fi

apt_output=$(mktemp)
trap 'rm -f "$apt_output"' EXIT

# apt's own account of what went wrong: its error and warning lines, or
# the end of its output when it printed none.
show_apt_errors() {
  if grep -qE '^(E|W|Err):' "$apt_output"; then
    grep -E '^(E|W|Err):' "$apt_output"
  else
    tail -n 10 "$apt_output"
  fi | sed 's/^/    /' >&2
}

update_indexes() {
  try=1
  until $as_root apt-get update -qq >"$apt_output" 2>&1; do
    if [ "$try" -ge "$update_tries" ]; then
      say "apt-get update still fails after $try tries; going on with the indexes it has:"
      show_apt_errors
      return 0
    fi
    say "apt-get update failed (try $try of $update_tries), trying again in ${retry_pause_seconds}s:"
    show_apt_errors
    sleep "$retry_pause_seconds"
    try=$((try + 1))
  done
}

# sudo resets the environment, so the frontend setting travels through env.
install_missing() {
  # shellcheck disable=SC2086 # the package list is meant to split
  $as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "$@" $missing >"$apt_output" 2>&1
}

main_release() {
  sed -n 's/^VERSION_CODENAME=["]*\([^"]*\)["]*$/\1/p' /etc/os-release 2>/dev/null
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $as_root dpkg --add-architecture i386
fi
echo "Installing:$missing"
update_indexes
install_missing && exit 0
say "apt-get install failed:"
show_apt_errors
release=$(main_release)
if [ -z "$release" ]; then
  say "no release codename in /etc/os-release to retry with as target; giving up"
  exit 1
fi
say "trying again with the main release as target (apt-get install -t $release)"
install_missing -t "$release" && exit 0
say "apt-get install -t $release failed as well:"
show_apt_errors
say "gave up: neither the newest candidates nor those of $release could be installed together"
exit 1
