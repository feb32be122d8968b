# shellcheck shell=bash
# Helpers shared by the CI scripts, which source this file from the root
# of the repository: step headings, apt-get with root rights, and build
# directories that must start empty.

# Prints a step heading.
step() { printf '\n==== %s\n' "$*"; }

# apt-get with root rights, through sudo when not root already.
apt_get() {
  if [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get "$@"
  else
    sudo DEBIAN_FRONTEND=noninteractive apt-get "$@"
  fi
}

# A build directory must start empty: on CI an old one is removed, on a
# developer's tree the run stops rather than delete someone's build.
fresh_directory() {
  local dir=$1
  [ -e "$dir" ] || return 0
  if [ "${CI:-}" = true ]; then
    rm -rf -- "$dir"
  else
    echo "error: $dir exists; run on a clean clone (or with CI=true)" >&2
    exit 1
  fi
}
