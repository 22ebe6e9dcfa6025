#!/bin/sh
# Makes the signed installers of the signature tests, fresh on every run:
#   make_signed.sh <out folder> <program to sign>
# Two throw-away publishers (key<n>.pem, cert<n>.pem) and each one's pin
# (pin<n>.txt: SHA-256 of the DER SubjectPublicKeyInfo, as a publisher
# computes it); the program signed by each (signed1.exe, signed2.exe),
# unsigned (unsigned.exe) and changed after signing (altered.exe); and a real
# NSIS installer, silent, signed by publisher 1 (nsis.exe), which writes
# nsis.txt into the folder named by QM_INSTALL_DIR.
set -eu
out=$1
program=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
cd "$out"
rm -f ./*.pem ./*.txt ./*.exe
for n in 1 2; do
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Test Publisher $n" \
    -keyout "key$n.pem" -out "cert$n.pem" 2>/dev/null
  openssl x509 -in "cert$n.pem" -pubkey -noout | openssl pkey -pubin -outform DER |
    openssl dgst -sha256 -r | cut -c1-64 > "pin$n.txt"
  osslsigncode sign -certs "cert$n.pem" -key "key$n.pem" -in "$program" -out "signed$n.exe" >/dev/null
done
cp "$program" unsigned.exe
# One byte inside the signed image changed: the signature no longer matches.
cp signed1.exe altered.exe
size=$(stat -c %s altered.exe)
printf 'Q' | dd of=altered.exe bs=1 seek=$((size / 3)) conv=notrunc 2>/dev/null
makensis -V1 -DOUT="$out/nsis-unsigned.exe" "$here/installer.nsi" >/dev/null
osslsigncode sign -certs cert1.pem -key key1.pem -in nsis-unsigned.exe -out nsis.exe >/dev/null
rm -f nsis-unsigned.exe
