#!/usr/bin/env bash
# Checks that every #include "folder/..." in src/ and hosts/ goes to the same folder or to a
# lower floor (docs/architecture.md draws them): no arrow back up, no two folders that
# include each other. Prints each offending include and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The floor of each folder. The hosts see the module's interface and its imaging library
# only, as floor 0; the renderers and the frame driver are the module's own business.
declare -A floor=(
  [src/interface]=0 [src/platform]=1 [src/imaging]=1 [src/hatching]=2 [src/lines]=2
  [src/host]=3
  [hosts/kit]=1 [hosts/media]=2 [hosts/run]=3 [hosts/studio]=4 [hosts/frei0r]=4
  [hosts/cli]=5
)
# What an include names, seen from each side.
declare -A hostsTarget=([interface]=0 [imaging]=0)

folderOf() {  # hosts/cli/commands/render.cpp -> hosts/cli
  local IFS=/ parts
  read -ra parts <<<"$1"
  echo "${parts[0]}/${parts[1]}"
}

bad=0
while IFS= read -r line; do
  file=${line%%:*}
  target=$(sed -E 's/^[^"]*"([^"/]+)\/.*$/\1/' <<<"${line#*:}")
  from=$(folderOf "$file")
  [ -n "${floor[$from]:-}" ] || continue
  if [[ $from == src/* ]]; then
    to=src/$target
  elif [ -n "${hostsTarget[$target]:-}" ]; then
    continue
  else
    to=hosts/$target
  fi
  [ "$to" = "$from" ] && continue
  if [ -z "${floor[$to]:-}" ]; then
    echo "$file: includes $to, which is not a floor of its side (${line#*:})"
    bad=1
  elif [ "${floor[$to]}" -ge "${floor[$from]}" ]; then
    echo "$file: $from (floor ${floor[$from]}) includes $to (floor ${floor[$to]}): ${line#*:}"
    bad=1
  fi
done < <(grep -rEo '^#include "[^"/]+/[^"]+"' src hosts --include='*.cpp' --include='*.h')
if [ "$bad" -ne 0 ]; then
  echo "layers: includes that go up or sideways (see docs/architecture.md)" >&2
  exit 1
fi
echo "layers: every include goes down"
