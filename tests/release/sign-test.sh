#!/usr/bin/env bash
# Signs a copy of the installer with a throw-away self-signed certificate and checks the
# signature against it; a wrong password leaves the file as it was, and an unrelated
# certificate does not verify it. The signed copy stays in OUT-FOLDER for the installation
# under Wine.
# Usage: sign-test.sh SOURCE-FOLDER SETUP.exe OUT-FOLDER
set -uo pipefail
src=$1 exe=$2 out=$3
fail() {
  echo "sign-test: $*"
  exit 1
}
rm -rf "$out" && mkdir -p "$out" && cd "$out" || fail "cannot make $out"

# NAME.pem and NAME.p12 (password "throw-away"): a self-signed code-signing certificate.
make_signer() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=VorlaneBox test $1" \
    -addext extendedKeyUsage=codeSigning -keyout "$1.key" -out "$1.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -out "$1.p12" -passout pass:throw-away
}
make_signer signer && make_signer stranger || fail "openssl cannot make a certificate"
cp "$exe" VorlaneBoxSetup.exe || fail "cannot copy $exe"

export VLN2_SIGN_PKCS12=signer.p12
VLN2_SIGN_PASSWORD=wrong "$src/scripts/sign" VorlaneBoxSetup.exe && fail "signed with a wrong password"
cmp -s "$exe" VorlaneBoxSetup.exe || fail "a failed signing changed the file"
VLN2_SIGN_PASSWORD=throw-away "$src/scripts/sign" VorlaneBoxSetup.exe || fail "cannot sign"

osslsigncode verify -in VorlaneBoxSetup.exe -CAfile signer.pem >verify.txt 2>&1 ||
  fail "the signature does not verify: $(tail -3 verify.txt)"
grep -qiE "digest algorithm *: *sha256" verify.txt || fail "not a SHA-256 signature"
osslsigncode verify -in VorlaneBoxSetup.exe -CAfile stranger.pem >/dev/null 2>&1 &&
  fail "verified against an unrelated certificate"
echo "sign-test: $out/VorlaneBoxSetup.exe signed and verified"
