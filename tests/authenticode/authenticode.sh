#!/bin/sh
# Signs a copy of a built program with the build's own signing script and a
# throwaway code-signing certificate, then checks the signature against its
# authority: it holds, it is SHA-256, one changed byte breaks it, and a key
# that is not the certificate's fails the signing and leaves no unsigned
# program behind.
#
#   authenticode.sh CMAKE OSSLSIGNCODE OPENSSL SIGN_SCRIPT PROGRAM WORK_DIR
set -eu
cmake=$1 osslsigncode=$2 openssl=$3 script=$4 program=$5 work=$6
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

# The authority, and the publisher's certificate it issues for code signing.
"$openssl" req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Throwaway code-signing authority" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
    -keyout ca.key -out ca.pem 2>openssl.log
"$openssl" req -newkey rsa:2048 -nodes -subj "/CN=Throwaway publisher" -keyout publisher.key -out publisher.csr \
    2>>openssl.log
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >publisher.ext
"$openssl" x509 -req -days 1 -in publisher.csr -CA ca.pem -CAkey ca.key -extfile publisher.ext -out publisher.pem \
    2>>openssl.log

sign() { "$cmake" -DOSSLSIGNCODE="$osslsigncode" -DCERT=publisher.pem -DKEY="$1" -DFILE="$2" -P "$script"; }
verify() { "$osslsigncode" verify -CAfile ca.pem -in "$1" >"$1.log" 2>&1; }

cp "$program" signed.exe
sign publisher.key signed.exe || fail "signing failed"
verify signed.exe || { cat signed.exe.log; fail "the signature does not hold against its authority"; }
grep -q "^Message digest algorithm *: SHA256" signed.exe.log || { cat signed.exe.log; fail "not a SHA-256 signature"; }

# One byte in the middle of the program (its code, far from the signature).
cp signed.exe changed.exe
at=$(($(wc -c <changed.exe) / 2))
byte=$(od -An -tu1 -j "$at" -N1 changed.exe)
# shellcheck disable=SC2059
printf "\\$(printf %o $((byte ^ 255)))" | dd of=changed.exe bs=1 seek="$at" conv=notrunc 2>/dev/null
cmp -s signed.exe changed.exe && fail "the byte was not changed"
verify changed.exe && fail "a changed byte still verifies"

cp "$program" wrongkey.exe
sign ca.key wrongkey.exe && fail "signing with a key that is not the certificate's succeeded"
[ ! -e wrongkey.exe ] || fail "a failed signing left the unsigned program in place"
echo "PASS: signed, verified, a changed byte and a wrong key refused"
