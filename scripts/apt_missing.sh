# Sourced by the set-up scripts.
#   install_missing PACKAGE...  installs, from Debian's archive, those of the packages that are
#                               not installed yet (with sudo when not root)
#   apt_update                  refreshes the package lists, riding out a mirror that is briefly
#                               out of step ("Mirror sync in progress", a hash sum mismatch)
# A failed refresh is tried again after a pause; if every try fails, the lists at hand are
# used, and only an install that fails twice (the second time after a fresh refresh) ends
# the script. DRAWLET_APT_TRIES (4 refreshes) and DRAWLET_APT_PAUSE (seconds, 15) set how
# often and how long.

apt_sudo() {
  if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

apt_update() {
  local tries=${DRAWLET_APT_TRIES:-4} pause=${DRAWLET_APT_PAUSE:-15} try
  for ((try = 1; ; try++)); do
    apt_sudo apt-get update -qq && return 0
    if [ "$try" -ge "$tries" ]; then
      echo "apt-get update failed $tries times: going on with the package lists at hand" >&2
      return 0
    fi
    echo "apt-get update failed (try $try of $tries): trying again in $pause s" >&2
    sleep "$pause"
  done
}

install_missing() {
  local p missing=() pause=${DRAWLET_APT_PAUSE:-15} try
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  apt_update
  # A mirror caught between its lists and its files can also fail a download: the install
  # is tried once more on freshly refreshed lists.
  for try in 1 2; do
    apt_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" && return 0
    [ "$try" -eq 2 ] && break
    echo "apt-get install failed: trying again in $pause s, after refreshing the lists" >&2
    sleep "$pause"
    apt_update
  done
  echo "could not install ${missing[*]} from Debian's archive" >&2
  return 1
}
