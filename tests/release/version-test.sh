#!/usr/bin/env bash
# Reads the version resource and the manifest back from a built program (the resource compiler
# decompiles an executable's resources) and checks them against the project version.
# Usage: version-test.sh PROGRAM.exe RESOURCE-COMPILER VERSION [PART]
#   PART: Setup (the installer, by default) or Uninstall (the uninstaller).
set -uo pipefail
exe=$1 windres=$2 version=$3 part=${4:-Setup}
IFS=. read -r major minor patch tweak _ <<<"$version.0.0.0"
resources=$("$windres" -J coff -O rc -i "$exe") || {
  echo "version-test: cannot read the resources of $exe"
  exit 1
}
expected=(
  "FILEVERSION $major, $minor, $patch, $tweak"
  "PRODUCTVERSION $major, $minor, $patch, $tweak"
  'VALUE "CompanyName", "Vorlane Software"'
  "VALUE \"FileDescription\", \"VorlaneBox $part\""
  "VALUE \"FileVersion\", \"$version\""
  "VALUE \"OriginalFilename\", \"VorlaneBox$part.exe\""
  'VALUE "ProductName", "VorlaneBox"'
  "VALUE \"ProductVersion\", \"$version\""
  "name=\"\"Vorlane.VorlaneBox.$part\"\" version=\"\"$major.$minor.$patch.$tweak\"\""
  'level=""requireAdministrator""'
)
failed=0
for line in "${expected[@]}"; do
  grep -qF -- "$line" <<<"$resources" || { echo "version-test: missing: $line"; failed=1; }
done
grep -qE 'VALUE "LegalCopyright", "Copyright \(C\) [0-9]{4} Vorlane Software"' <<<"$resources" ||
  { echo "version-test: no copyright line"; failed=1; }
[ $failed -eq 0 ] && echo "version-test: $exe carries version $version"
exit $failed
