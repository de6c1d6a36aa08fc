#!/usr/bin/env bash
# Drives the installation form under Wine, scenario by scenario: FormDriver starts FormHost,
# works its form as a person would and checks what the host hands back. Screenshots of
# every page, the terms box and the folder picker land in BUILD-FOLDER/screenshots.
# Usage: form-test.sh FormHost.exe FormDriver.exe BUILD-FOLDER SOURCE-FOLDER [SCENARIO...]
set -uo pipefail
host=$1 driver=$2 out=$3 src=$4
shift 4
# A window needs a display: run on a private virtual one unless there is one already.
if [ -z "${DISPLAY:-}" ]; then
  exec "$src/scripts/with-display" "$0" "$host" "$driver" "$out" "$src" "$@"
fi
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(nothing folders current-page update close terms noapp)

# A prefix of its own: the scenarios put files into its program folders.
prefix=$out/wineprefix
shots=$out/screenshots
wine_run() { "$src/scripts/wine-run" "$prefix" "$@"; }
. "$src/tests/e2e/wine-ui.sh"

mkdir -p "$shots"
rm -f "$shots"/*.req "$shots"/*.tmp "$shots"/*.done
wine_run cmd.exe /c exit >/dev/null 2>&1
toolbox="$prefix/drive_c/Program Files/Vorlane/Toolbox"
record="$toolbox/Uninstall.info"
# The picker lists only folders it has been shown before they were read once.
mkdir -p "$prefix/drive_c/PickMe"
ls -R "$prefix/drive_c/PickMe" >/dev/null

failed=()
for scenario in "${scenarios[@]}"; do
  rm -f "$record"
  if [ "$scenario" = update ]; then
    mkdir -p "$toolbox"
    printf 'record of an earlier installation' >"$record"
  fi
  wine_run "$driver" "$scenario" "$(windows_path "$host")" "$(windows_path "$shots")" \
    "$(windows_path "$src/resources/license.txt")" &
  driver_pid=$!
  serve_shots "$driver_pid" "$shots"
  wait "$driver_pid" || failed+=("$scenario")
done
rm -f "$record"

echo "screenshots: $shots"
if [ ${#failed[@]} -ne 0 ]; then
  echo "form-test: FAILED: ${failed[*]}"
  exit 1
fi
echo "form-test: all ${#scenarios[@]} scenarios passed"
