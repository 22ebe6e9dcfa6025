#!/bin/sh
# Makes the signed installers of the signature tests, fresh on every run:
#   make_signed.sh <out folder> <program to sign>
# Two throw-away publishers (key<n>.pem, cert<n>.pem) and each one's pin
# (pin<n>.txt: SHA-256 of the DER SubjectPublicKeyInfo, as a publisher
# computes it); the program signed by each (signed1.exe, signed2.exe),
# unsigned (unsigned.exe) and changed after signing (altered.exe); and a real
# NSIS installer, silent, signed by publisher 1 (nsis.exe), which writes
# nsis.txt into the folder named by QM_INSTALL_DIR. And two forgeries of
# publisher 1's signature on another program (the program with one byte
# changed): its own signed content, signed by publisher 2, beside publisher
# 1's signer info (forged-signer.exe), and publisher 1's signature of a
# script (forged-script.exe).
set -eu
out=$1
program=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
cd "$out"
rm -f ./*.pem ./*.txt ./*.exe ./*.der ./*.ps1
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
cp "$program" other.exe
size=$(stat -c %s other.exe)
printf 'Q' | dd of=other.exe bs=1 seek=$((size / 3)) conv=notrunc 2>/dev/null
osslsigncode sign -certs cert2.pem -key key2.pem -in other.exe -out other-signed2.exe >/dev/null
osslsigncode extract-signature -in signed1.exe -out publisher.der >/dev/null
osslsigncode extract-signature -in other-signed2.exe -out attacker.der >/dev/null
python3 "$here/forge.py" signer publisher.der attacker.der forged-signer.der
python3 "$here/forge.py" attach forged-signer.der other.exe forged-signer.exe
printf 'Write-Output "signed"\r\n' > script.ps1
osslsigncode sign -certs cert1.pem -key key1.pem -in script.ps1 -out signed-script.ps1 >/dev/null
osslsigncode extract-signature -in signed-script.ps1 -out script.der >/dev/null
python3 "$here/forge.py" attach script.der other.exe forged-script.exe
rm -f other.exe other-signed2.exe ./*.der ./*.ps1
makensis -V1 -DOUT="$out/nsis-unsigned.exe" "$here/installer.nsi" >/dev/null
osslsigncode sign -certs cert1.pem -key key1.pem -in nsis-unsigned.exe -out nsis.exe >/dev/null
rm -f nsis-unsigned.exe
