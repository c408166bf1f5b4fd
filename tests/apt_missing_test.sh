#!/usr/bin/env bash
# The set-up scripts' install_missing against a package mirror out of step: a stand-in
# apt-get on PATH fails its update or install as a mirror in the middle of a sync does,
# and install_missing must wait it out, go on when the packages can still be had, and fail
# only when they cannot.
# Usage: apt_missing_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
count() { grep -cx "$1" "$work/calls" || true; }

# apt-get: call n of a kind takes the n-th word of FAKE_UPDATE or FAKE_INSTALL (the last word
# repeats) and logs it; sudo runs its command.
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
kind=$1
[ "$kind" = install ] && echo "install ${*: -1} DEBIAN_FRONTEND=${DEBIAN_FRONTEND:-}" >>"$FAKE_DIR/args"
echo "$kind" >>"$FAKE_DIR/calls"
read -ra plan <<<"$([ "$kind" = update ] && echo "$FAKE_UPDATE" || echo "$FAKE_INSTALL")"
n=$(grep -cx "$kind" "$FAKE_DIR/calls")
[ "$n" -le ${#plan[@]} ] || n=${#plan[@]}
[ "${plan[n - 1]}" = ok ] && exit 0
[ "$kind" = update ] &&
  echo "E: Failed to fetch http://deb.example.org/dists/bookworm/main/binary-amd64/Packages.xz  File has unexpected size (Mirror sync in progress?)" >&2
[ "$kind" = install ] && echo "E: Failed to fetch http://deb.example.org/pool/main/x.deb  Hash Sum mismatch" >&2
exit 100
EOF
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/apt-get" "$work/bin/sudo"

# package | update results | install results | exit | updates | installs
cases=(
  "drawlet-absent|fail fail ok|ok|0|3|1"     # the sync ends on the third try
  "drawlet-absent|fail|ok|0|4|1"             # never in step, the packages still there
  "drawlet-absent|ok|fail ok|0|2|2"          # a download fails once: refreshed and tried again
  "drawlet-absent|fail|fail|1|8|2"           # nothing to be had: a failure, after the tries
  "dpkg|fail|fail|0|0|0"                     # installed already: the archive is not asked
)
for c in "${cases[@]}"; do
  IFS='|' read -r package update install code updates installs <<<"$c"
  rm -f "$work/calls" "$work/args" && touch "$work/calls" "$work/args"
  status=0
  PATH=$work/bin:$PATH FAKE_DIR=$work FAKE_UPDATE=$update FAKE_INSTALL=$install \
    DRAWLET_APT_TRIES=4 DRAWLET_APT_PAUSE=0 \
    bash -c 'set -euo pipefail; source "$0/scripts/apt_missing.sh"; install_missing "$1"' \
    "$source_dir" "$package" >"$work/out" 2>&1 || status=$?
  seen="$status|$(count update)|$(count install)"
  [ "$seen" = "$code|$updates|$installs" ] ||
    fail "$package, update '$update', install '$install': exit|updates|installs $seen," \
      "not $code|$updates|$installs: $(cat "$work/out")"
  if [ "$installs" -gt 0 ]; then
    [ "$(sort -u "$work/args")" = "install $package DEBIAN_FRONTEND=noninteractive" ] ||
      fail "apt-get install was not asked for $package alone, without questions: $(cat "$work/args")"
  fi
  echo "ok: $package, update '$update', install '$install'"
done
echo "${#cases[@]} passed, 0 failed"
