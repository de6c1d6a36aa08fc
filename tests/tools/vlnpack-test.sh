#!/usr/bin/env bash
# vlnpack end to end: round trips, identical archives for identical trees, every packing,
# damaged and truncated archives, unsafe names and usage errors.
# Usage: vlnpack-test.sh WORKDIR [RUNNER...] VLNPACK
# RUNNER (such as the Wine runner with its prefix) goes in front of the program; paths
# given to the program are relative to WORKDIR, so they mean the same under Wine.
# NATIVE_VLNPACK, when set, packs the archives of every packing that the program decodes.
set -u
work=$1
shift
program=("$@")
# The program keeps working after the change of folder below.
last=$((${#program[@]} - 1))
[ -e "${program[$last]}" ] && program[$last]=$(realpath "${program[$last]}")
windows=0
[ $# -gt 1 ] && windows=1

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...: the command must succeed
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}
run() {  # run the tool; stdout without carriage returns in out.txt, stderr in err.txt
  "${program[@]}" "$@" >out.raw 2>err.raw </dev/null
  local status=$?
  tr -d '\r' <out.raw >out.txt
  tr -d '\r' <err.raw | grep -av '^wine' >err.txt || true
  return $status
}
status_is() {  # status_is EXPECTED ARGS...
  local expected=$1
  shift
  run "$@"
  local status=$?
  [ "$status" -eq "$expected" ] || { echo "exit $status, expected $expected: $*" >&2; cat err.txt >&2; return 1; }
}
one_line_naming() {  # stderr is one line that names the text
  [ "$(wc -l <err.txt)" -eq 1 ] && grep -qF -- "$1" err.txt || { echo "stderr:" >&2; cat err.txt >&2; return 1; }
}

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# ---- A tree of files of every kind.
mkdir -p src/sub/deeper src/Zeta src/empty-folder
printf 'hello\n' >src/a.txt
: >src/empty
printf 'abcdefghijklmnop' >src/exact16
awk 'BEGIN { for (i = 0; i < 20000; i++) print "line", i, "of the VorlaneBox text" }' >src/sub/text.txt
awk 'BEGIN { srand(7); for (i = 0; i < 60000; i++) printf "%c", int(rand() * 256) }' >src/sub/deeper/noise.bin
printf 'B' >src/B.txt
printf 'z' >src/Zeta/z
printf 'sdk header' >src/sub/deeper/x.h

# ---- Create twice: the same bytes.
check "create" status_is 0 create a.vln src
check "create again" status_is 0 create b.vln src
check "identical archives" cmp -s a.vln b.vln
# Packing on one thread gives the same bytes as packing on several.
VLNPACK_THREADS=1 check "create on one thread" status_is 0 create c.vln src
check "one thread, the same archive" cmp -s a.vln c.vln
VLNPACK_THREADS=4 check "create on four threads" status_is 0 create d.vln src
check "four threads, the same archive" cmp -s a.vln d.vln
check "no leftover partial file" test ! -e a.vln.vlnpack-tmp

# ---- list: byte order of the names, backslashes.
(cd src && find . -type f | sed 's|^\./||; s|/|\\|g' | LC_ALL=C sort) >expected-names.txt
check "list" status_is 0 list a.vln
check "list names in byte order" cmp -s out.txt expected-names.txt
check "list -l" status_is 0 list -l a.vln
check "list -l columns" awk 'NF != 5 || ($3 != "PAC" && $3 != "RAW") { exit 1 }' out.txt
check "list -l empty file is a 4-byte RAW block" grep -qE '^ *[0-9]+ +4 RAW +0 empty$' out.txt
check "list -l unpacked size" grep -qE ' (PAC|RAW) +60000 sub\\deeper\\noise.bin$' out.txt
check "first block follows the directory" awk 'NR == 1 && $1 != 20 + 11 * 8 + length("a.txt" "B.txt" "empty" "exact16" "sub\\deeper\\noise.bin" "sub\\deeper\\x.h" "sub\\text.txt" "Zeta\\z") { exit 1 }' out.txt

# ---- test and extract.
check "test" status_is 0 test a.vln
# The last line: the size and the CRC-32 that gzip's trailer also carries.
crc=$(gzip -c a.vln | tail -c8 | head -c4 | od -An -tx4 | tr -d ' \n')
check "test ends with the size and CRC-32" [ "$(tail -n1 out.txt)" = "size $(stat -c %s a.vln) crc32 $crc" ]
check "extract" status_is 0 extract a.vln out
check "extracted tree equals the source" diff -r src/a.txt out/a.txt
check "extracted tree equals the source (all)" bash -c 'cd src && for f in $(find . -type f); do cmp -s "$f" "../out/$f" || exit 1; done'
check "extracted tree has no extra files" bash -c '[ "$(cd out && find . -type f | wc -l)" -eq "$(cd src && find . -type f | wc -l)" ]'
check "extract with a prefix" status_is 0 extract a.vln part 'SUB\'
check "prefix left out of the names" cmp -s src/sub/deeper/noise.bin part/deeper/noise.bin
check "only entries under the prefix" test ! -e part/a.txt
# Over existing, longer files: exactly the entry's bytes, also for an empty entry.
printf 'much longer old content' >out/a.txt
printf 'old content' >out/empty
check "extract over existing files" status_is 0 extract a.vln out
check "longer file cut" cmp -s src/a.txt out/a.txt
check "empty entry empties the file" test ! -s out/empty

# ---- Every packing, made by the native vlnpack, decodes to the same files.
packer=("${program[@]}")
[ -n "${NATIVE_VLNPACK:-}" ] && packer=("$NATIVE_VLNPACK")
for packing in --zlib --level={1..12}; do
  check "create $packing" "${packer[@]}" create "$packing" "p$packing.vln" src
  check "extract $packing" status_is 0 extract "p$packing.vln" "out$packing"
  check "$packing: the same files" diff -r -x empty-folder src "out$packing"
done
check "list -l --zlib" status_is 0 list -l p--zlib.vln
check "--zlib: 16 bytes packed in 32" grep -qE '^ *[0-9]+ +32 PAC +16 exact16$' out.txt
# --zlib makes the bytes of the builds before libdeflate: the size and CRC-32 they gave this tree.
cp -r src fixed && rm fixed/sub/deeper/noise.bin
check "create --zlib of a fixed tree" status_is 0 create --zlib fixed.vln fixed
check "test of the fixed tree" status_is 0 test fixed.vln
check "--zlib gives the bytes of older builds" [ "$(tail -n1 out.txt)" = "size 46037 crc32 849c31ac" ]

# ---- Links planted in the folder: nothing is written through them; a file with a second
# name (hard link) is replaced, its other name keeps its contents.
mkdir -p linked/sub outside
printf 'sentinel' >outside/sentinel
ln -s "$PWD/outside" linked/sub/deeper
check "extract through a folder link fails" status_is 1 extract a.vln linked
check "nothing written through the folder link" bash -c '[ "$(ls outside)" = sentinel ]'
rm -rf linked && mkdir linked
ln -s "$PWD/outside/sentinel" linked/a.txt
check "extract over a file link fails" status_is 1 extract a.vln linked
check "the file link's target is unchanged" bash -c '[ "$(cat outside/sentinel)" = sentinel ]'
rm -rf linked && mkdir linked
ln outside/sentinel linked/a.txt
check "extract over a hard link" status_is 0 extract a.vln linked
check "the hard link is replaced" cmp -s src/a.txt linked/a.txt
check "its other name keeps its contents" bash -c '[ "$(cat outside/sentinel)" = sentinel ]'

# ---- The archive inside the folder it packs is not packed into itself.
cp -r src self
check "create inside the folder" status_is 0 create self/self.vln self
check "archive not in itself" status_is 0 list self/self.vln
check "archive not listed" bash -c '! grep -q self.vln out.txt'
check "recreating over an older archive" status_is 0 create self/self.vln self
check "listing it again" status_is 0 list self/self.vln
check "still the same entries" cmp -s out.txt expected-names.txt

# ---- Damaged and truncated archives.
offset=$(awk '$5 == "sub\\text.txt" { print $1 }' <("${program[@]}" list -l a.vln | tr -d '\r'))
size=$(awk '$5 == "sub\\text.txt" { print $2 }' <("${program[@]}" list -l a.vln | tr -d '\r'))
cp a.vln bad.vln
printf '\377\377\377\377' | dd of=bad.vln bs=1 seek=$((offset + size / 2)) conv=notrunc 2>/dev/null
check "test of a damaged archive fails" status_is 1 test bad.vln
check "the damaged entry is named" grep -qF 'sub\text.txt' err.txt
check "only the damaged entry is named" bash -c '[ "$(grep -c "entry" err.txt)" -eq 1 ]'
check "extract of a damaged archive fails" status_is 1 extract bad.vln badout
check "extract names the entry" one_line_naming 'sub\text.txt'
head -c 30 a.vln >cut.vln
check "truncated archive is refused" status_is 1 test cut.vln
check "truncated archive message" one_line_naming cut.vln
printf 'not an archive at all' >junk.vln
check "junk is refused" status_is 1 list junk.vln
check "junk message" one_line_naming junk.vln
check "missing archive" status_is 1 test missing.vln
check "missing archive message" one_line_naming missing.vln
mkdir -p nothing
check "a folder without files" status_is 1 create none.vln nothing
check "nothing created for it" test ! -e none.vln
check "missing folder" status_is 1 create none.vln no-such-folder
check "missing folder message" one_line_naming no-such-folder

# ---- Names that Windows takes for one file, in an archive made elsewhere: its directory
# patched to hold README.TXT beside Readme.txt.
mkdir -p twins
printf 'first' >twins/Readme.txt
printf 'second' >twins/XEADME.TXT
check "create twins" status_is 0 create twins.vln twins
perl -pi -e 's/XEADME\.TXT/README.TXT/' twins.vln
check "list reports the later twin" status_is 0 list twins.vln
check "list names both" grep -qF 'README.TXT' err.txt
check "list still lists both" bash -c '[ "$(wc -l <out.txt)" -eq 2 ]'
check "test fails on twins" status_is 1 test twins.vln
check "test names the later twin" grep -qF 'entry "README.TXT"' err.txt
check "extract fails the later twin" status_is 1 extract twins.vln twins-out
check "extract names it" one_line_naming 'README.TXT'
check "the first twin is not overwritten" bash -c '[ "$(cat twins-out/*)" = first ]'

if [ "$windows" -eq 0 ]; then
  # Names that one Windows folder cannot hold side by side, or that are not UTF-8.
  collide() {  # collide WHAT FILE... : the files cannot be packed together
    local what=$1
    shift
    rm -rf twin && mkdir -p twin
    for file in "$@"; do mkdir -p "twin/$(dirname "$file")" && printf x >"twin/$file"; done
    check "$what refused" status_is 1 create twin.vln twin
    check "$what: both named" bash -c "grep -qF -- \"$(basename "$1")\" err.txt && grep -qF -- \"$2\" err.txt"
    check "no archive for $what" test ! -e twin.vln
  }
  collide "ASCII case" Readme.txt README.TXT
  collide "a umlaut" $'\xc3\xa4.txt' $'\xc3\x84.txt'
  collide "Cyrillic" $'\xd0\xb4\xd0\xbc' $'\xd0\x94\xd0\x9c'
  collide "a file and a folder" A/x a
  rm -rf latin1 && mkdir -p latin1 && printf x >latin1/$'\xe9t\xe9.txt'
  check "a name that is not UTF-8 refused" status_is 1 create latin1.vln latin1
  check "a name that is not UTF-8 named" grep -qF 'not UTF-8' err.txt
  # Names that Windows would take as devices or trim cannot be packed.
  for bad in 'trailing.' 'CON' 'aux.txt' 'trailing ' 'a:b'; do
    rm -rf unsafe && mkdir -p unsafe && printf x >"unsafe/$bad"
    check "unsafe name '$bad' refused" status_is 1 create unsafe.vln unsafe
    check "unsafe name '$bad' named" one_line_naming "$bad"
    check "no archive for '$bad'" test ! -e unsafe.vln
  done
  # An unreadable file stops the build with its name, and leaves no archive behind.
  if [ "$(id -u)" -ne 0 ]; then
    rm -rf locked && mkdir -p locked && printf x >locked/a && printf y >locked/b && chmod 000 locked/b
    check "unreadable file" status_is 1 create locked.vln locked
    check "unreadable file named" one_line_naming 'b'
    check "no archive for an unreadable file" test ! -e locked.vln
    chmod 600 locked/b
  fi
fi

# ---- Usage.
check "no arguments" status_is 2
check "unknown command" status_is 2 pack a.vln
check "create with one argument" status_is 2 create a.vln
check "extract with four arguments" status_is 2 extract a.vln x y z
check "unknown option" status_is 2 test -x a.vln
check "--level only for create" status_is 2 test --level=9 a.vln
for bad in --level= --level=x --level=1x --level=100 --level=0 --level=13 '--zlib --level=10'; do
  # shellcheck disable=SC2086
  check "create $bad refused" status_is 2 create $bad refused.vln src
done
check "help" status_is 0 --help
check "help text" grep -q 'vlnpack create \[--level=N\] \[--zlib\] ARCHIVE FOLDER' out.txt
check "version" status_is 0 --version
check "version text" grep -qE '^vlnpack [0-9]' out.txt
check "version names the packing" grep -qE '^Packs with (libdeflate|zlib) [0-9.]+ at level [0-9]+' out.txt

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
