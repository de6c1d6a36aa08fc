# shellcheck shell=bash
# Shell side of the Wine UI drivers (sourced): Windows paths of native files, and the
# screenshot service the drivers ask through NAME.req files (see WineUi.h).

# The Windows path under which a Wine program sees a native path.
windows_path() {
  local p=${1//\//\\}
  echo "Z:$p"
}

# Serves the screenshot requests of the process PID in folder SHOTS until it ends: NAME.req
# holds "x y width height"; the answer is NAME.png and then NAME.done.
serve_shots() {
  local driver_pid=$1 shots=$2 req name x y w h
  while :; do
    for req in "$shots"/*.req; do
      [ -e "$req" ] || continue
      read -r x y w h <"$req"
      name=${req%.req}
      import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$name.png" ||
        echo "screenshot $name failed" >&2
      rm -f "$req"
      touch "$name.done"
    done
    kill -0 "$driver_pid" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$shots"/*.done
}
