#!/bin/sh
# Starts Vuvedid from a per-user copy of the program.
#
# The program keeps MQTT.ini beside its own executable. An installed program lives in a
# folder only root may write, so each user runs a copy kept in their own data folder
# (refreshed whenever the installed program changes); the settings are saved beside it.
set -eu
# The program sits in ../lib/vuvedid from this script, wherever the tree was unpacked
# (/usr for the package; a staging folder when the install is checked before packaging).
here=$(dirname "$(readlink -f "$0")")
installed="$here/../lib/vuvedid"
home_dir="${VUVEDID_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/vuvedid}"
mkdir -p "$home_dir"
# The windowless program (vuvedid --headless runs it) keeps its copy beside the other.
for name in vuvedid vuvedid-headless; do
  [ -f "$installed/$name" ] || continue
  if ! cmp -s "$installed/$name" "$home_dir/$name"; then
    cp "$installed/$name" "$home_dir/$name.new"
    chmod 755 "$home_dir/$name.new"
    mv -f "$home_dir/$name.new" "$home_dir/$name"
  fi
done
exec "$home_dir/vuvedid" "$@"
