#!/usr/bin/env bash
# Works the real installer under Wine in one scenario (see SetupDriver.cpp), in a fresh copy
# of a prepared prefix. Screenshots land in BUILD-FOLDER/screenshots; a failed scenario's
# prefix is kept in BUILD-FOLDER/setup/SCENARIO for a look.
# Usage: setup-test.sh SCENARIO BUILD-FOLDER SOURCE-FOLDER SETUP.exe SetupDriver.exe VLNPACK
#                      PAYLOAD.vln PAYLOAD-FOLDER HostMax8.exe HostMax9.exe PlantedDll.dll
set -uo pipefail
scenario=$1 out=$2 src=$3
# A window needs a display: run on a private virtual one unless there is one already.
if [ -z "${DISPLAY:-}" ]; then
  exec "$src/scripts/with-display" "$0" "$@"
fi
setup=$4 driver=$5 vlnpack=$6 packed=$7 payload=$8 max8=$9 max9=${10} planted=${11}
. "$src/tests/e2e/wine-ui.sh"

work=$out/setup
base=$work/base-prefix
prefix=$work/$scenario/prefix
shots=$out/screenshots
mkdir -p "$work" "$shots"

# The prepared prefix, made once; a scenario's copy of it is ready in a second.
(
  flock 9
  if [ ! -f "$base/.ready" ]; then
    "$src/scripts/wine-run" "$base" cmd.exe /c exit >/dev/null 2>&1
  fi
  WINEPREFIX=$base wineserver -w
  rm -rf "${work:?}/${scenario:?}"
  mkdir -p "$work/$scenario"
  cp -a "$base" "$prefix"
) 9>"$work/base.lock"

# Links an ordinary user plants, made from the Unix side: Wine's CreateSymbolicLinkA makes
# none.
if [ "$scenario" = links ]; then
  c=$prefix/drive_c
  mkdir -p "$c/Outside" "$c/Hosts/C4D/plugins/VorlaneBox" "$c/Logs"
  printf sentinel >"$c/Outside/sentinel.txt"
  ln -s "$c/Outside" "$c/Hosts/C4D/plugins/VorlaneBox/res"
  ln -s "$c/Outside/sentinel.txt" "$c/Hosts/C4D/plugins/VorlaneBox/VorlaneBox.cdl"
  ln -s "$c/Outside/sentinel.txt" "$c/Logs/planted.log"
fi

# Two versions of about 300 files for the Update that is cut off.
if [ "$scenario" = interrupted ]; then
  for version in v1 v2; do
    mkdir -p "$work/$scenario/$version/SDK/many" "$work/$scenario/$version/VLN2_Resources"
    printf '%s shared' "$version" >"$work/$scenario/$version/VLN2_Resources/Resources.txt"
    for n in $(seq -w 1 300); do
      printf '%s file %s\n' "$version" "$n" >"$work/$scenario/$version/SDK/many/f$n.txt"
    done
    "$vlnpack" create "$work/$scenario/$version.vln" "$work/$scenario/$version" >/dev/null
  done
  export VLN2_INTERRUPT
  VLN2_INTERRUPT=$(windows_path "$work/$scenario")
fi

listing=$work/$scenario/payload.txt
"$vlnpack" list "$packed" >"$listing" || {
  echo "setup-test: cannot list $packed"
  exit 1
}

expected=$work/$scenario/expected.txt
# Scenarios run side by side, each on its own display: each asks for its screenshots in a
# folder of its own, so that no other scenario's service takes or answers its requests.
requests=$work/$scenario/shots
drive() {  # drive SCENARIO: one run of the driver in the prefix
  mkdir -p "$requests"
  "$src/scripts/wine-run" "$prefix" "$driver" "$1" \
    "--setup=$(windows_path "$setup")" "--shots=$(windows_path "$requests")" \
    "--listing=$(windows_path "$listing")" "--payload=$(windows_path "$payload")" \
    "--max8=$(windows_path "$max8")" "--max9=$(windows_path "$max9")" \
    "--planted=$(windows_path "$planted")" "--packed=$(windows_path "$packed")" \
    "--expected=$(windows_path "$expected")" &
  local driver_pid=$!
  serve_shots "$driver_pid" "$requests"
  wait "$driver_pid"
  local status=$?
  mv -f "$requests"/*.png "$shots"/ 2>/dev/null
  return $status
}

# The files the driver lists ("C:\path|payload entry") are on the Unix side of the drive
# under exactly those names, with the payload's bytes.
compare_on_unix_side() {
  local line installed entry native count=0
  [ -s "$expected" ] || { echo "setup-test: no list of installed files"; return 1; }
  while IFS='|' read -r installed entry; do
    native=$prefix/drive_c/${installed#C:\\}
    native=${native//\\//}
    if ! cmp -s "$native" "$payload/${entry//\\//}"; then
      echo "setup-test: not installed as named on the Unix side: $native"
      return 1
    fi
    count=$((count + 1))
  done <"$expected"
  echo "setup-test: $count installed files found under their exact names on the Unix side"
}

drive "$scenario"
result=$?
if [ "$scenario" = unicode ] && [ $result -eq 0 ]; then
  compare_on_unix_side && drive unicode-update
  result=$?
fi
# The removal of a record naming a share, under Wine's file trace: the share is never opened,
# the installed file goes, and the run ends with 1 for the entry it refused.
if [ "$scenario" = unc-record ] && [ $result -eq 0 ]; then
  trace=$work/$scenario/trace.txt
  WINEPREFIX=$prefix WINEDEBUG=+file WINEDLLOVERRIDES="mscoree,mshtml=" \
    /usr/lib/wine/wine64 "$setup" /uninstall /quiet 2>"$trace"
  code=$?
  opened=$(grep -ci 'vlnplanted' "$trace")
  traced=$(grep -ci 'Hosts.*mine\.dll' "$trace")
  echo "setup-test: exit code $code; trace lines naming the share: $opened, the installed file: $traced"
  if [ "$code" -ne 1 ] || [ "$opened" -ne 0 ] || [ "$traced" -eq 0 ] ||
    [ -e "$prefix/drive_c/Hosts/mine.dll" ]; then
    result=1
  fi
fi
# The entry as Wine's own list of installed programs and its registry show it; the quiet
# removal, then the asked one, each followed by a restart of the prefix, which carries out
# the deletions that wait for it.
wine_in_prefix() { WINEPREFIX=$prefix WINEDEBUG=-all /usr/lib/wine/wine64 "$@" 2>/dev/null | tr -d '\r'; }
restart_prefix() {
  wine_in_prefix wineboot -r >/dev/null
  WINEPREFIX=$prefix wineserver -w
}
if [ "$scenario" = uninstall-entry ] && [ $result -eq 0 ]; then
  echo "setup-test: wine uninstaller --list:"
  wine_in_prefix uninstaller --list | tee "$work/$scenario/list.txt"
  grep -q 'VorlaneBox' "$work/$scenario/list.txt" || { echo "setup-test: VorlaneBox not listed"; result=1; }
  wine_in_prefix reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VorlaneBox'
  for step in uninstall-quiet after-restart uninstall-asked after-restart; do
    [ $result -eq 0 ] || break
    drive "$step"
    result=$?
    if [ "$step" != after-restart ]; then
      echo "setup-test: waiting for the restart:"
      wine_in_prefix reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations
      WINEPREFIX=$prefix wineserver -w
      restart_prefix
    fi
  done
fi
WINEPREFIX=$prefix wineserver -k 2>/dev/null
if [ $result -eq 0 ]; then
  rm -rf "${work:?}/${scenario:?}"
  echo "setup-test: $scenario passed"
else
  echo "setup-test: $scenario FAILED (exit code $result); its prefix: $prefix"
fi
exit $result
