#!/usr/bin/env bash
# Signs copies of the setup program as the build does (cmake/authenticode_sign.cmake)
# with a throw-away certificate, once from a PFX file with a password and once
# from a key and certificate file, and checks each with osslsigncode verify: the
# signature and the file's hash. An unsigned or changed program must fail the
# check, and a signing that fails must leave no program behind.
# Usage: authenticode_test.sh PROGRAM WORK_FOLDER
set -euo pipefail
program=$(realpath "$1")
work=$2
here=$(cd "$(dirname "$0")/../.." && pwd)
sign_script="$here/cmake/authenticode_sign.cmake"

for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (bash scripts/setup.sh installs it)"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "FAILED: $*"; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -keyout key.pem -out cert.pem \
  -subj "/CN=Morvane throw-away signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
printf 'pfx-secret' > password
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout file:password -out signer.pfx

sign() {  # sign COPY CREDENTIALS...
  local copy=$1
  shift
  cp "$program" "$copy"
  cmake -DOSSLSIGNCODE="$(command -v osslsigncode)" -DPROGRAM="$copy" \
        "-DDESCRIPTION=Morvane Tessaly Setup" -DINFO_URL=http://www.morvane.example \
        "$@" -P "$sign_script"
}

verify() {  # verify FILE: succeeds only when signature and hash are both good
  local output
  output=$(osslsigncode verify -CAfile cert.pem -in "$1" 2>&1) || { echo "$output"; return 1; }
  grep -q "Signature verification: ok" <<<"$output" || { echo "$output"; return 1; }
  local declared calculated
  declared=$(sed -n 's/^Current message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$output" | head -1)
  calculated=$(sed -n 's/^Calculated message digest *: *\([0-9A-Fa-f]*\).*/\1/p' <<<"$output" | head -1)
  [ -n "$declared" ] && [ "$declared" = "$calculated" ] || { echo "$output"; return 1; }
}

sign from_pfx.exe -DPFX=signer.pfx -DPASSWORD_FILE=password || fail "signing from the PFX file"
verify from_pfx.exe || fail "the program signed from the PFX file does not verify"
sign from_key.exe -DKEY=key.pem -DCERT=cert.pem || fail "signing from the key and certificate"
verify from_key.exe || fail "the program signed from the key and certificate does not verify"
osslsigncode verify -CAfile cert.pem -in from_key.exe | grep -q "Morvane Tessaly Setup" ||
  fail "the signature does not name the program"

cp "$program" unsigned.exe
! verify unsigned.exe >/dev/null || fail "an unsigned program verifies"

# One byte of the code changed after signing: the file's hash no longer matches.
cp from_key.exe changed.exe
python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[4096] ^= 0xff
open(sys.argv[1], "wb").write(b)' changed.exe
! verify changed.exe >/dev/null || fail "a program changed after signing verifies"

printf 'wrong' > wrong_password
! sign wrong.exe -DPFX=signer.pfx -DPASSWORD_FILE=wrong_password >/dev/null 2>&1 ||
  fail "signing with a wrong password succeeded"
[ ! -e wrong.exe ] || fail "a failed signing left the unsigned program behind"
echo "authenticode: signed and verified from a PFX file and from a key and certificate"
