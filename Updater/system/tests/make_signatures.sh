#!/bin/sh
# Makes the inputs of the signature tests, fresh on every run:
#   make_signatures.sh <out folder> <program to sign> <make_signed.sh>
# Everything make_signed.sh makes (publishers 1 and 2, signed, unsigned,
# altered, NSIS and forged programs), and besides:
# - the program signed by publisher 1 with SHA-1 and SHA-512 digests
#   (signed1-sha1.exe, signed1-sha512.exe);
# - a manifest (manifest.xml) and detached signatures of it: publisher 1's
#   with signed attributes (manifest.sig) and without (manifest-noattr.sig),
#   publisher 2's (manifest-key2.sig), an ECDSA key's (manifest-ecdsa.sig),
#   publisher 1's with a SHA-1 digest (manifest-sha1.sig), without its
#   certificate (manifest-nocerts.sig) and with the manifest inside
#   (manifest-embedded.sig);
# - genuine signatures by publisher 1, signed anew, whose content-type signed
#   attribute names another type than the content they sign: the manifest's
#   claims digested data (manifest-content-type.sig), the program's a PE
#   image (signed1-content-type.exe).
set -eu
out=$1
program=$2
here=$(cd "$(dirname "$0")" && pwd)
signing=$(cd "$(dirname "$3")" && pwd)
sh "$3" "$out" "$program"
cd "$out"
rm -f ./*.sig ./*.xml
for md in sha1 sha512; do
  osslsigncode sign -h $md -certs cert1.pem -key key1.pem -in "$program" \
    -out "signed1-$md.exe" >/dev/null
done
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj "/CN=Test Publisher EC" -keyout keyec.pem -out certec.pem 2>/dev/null
printf "<update intname='pad' version='2.1'/>\r\n" > manifest.xml
sign() {  # sign <output> <certificate> <key> [openssl cms options]
  target=$1 cert=$2 key=$3
  shift 3
  openssl cms -sign -binary -md sha256 -outform DER -in manifest.xml -signer "$cert" \
    -inkey "$key" -out "$target" "$@"
}
sign manifest.sig cert1.pem key1.pem
sign manifest-noattr.sig cert1.pem key1.pem -noattr
sign manifest-key2.sig cert2.pem key2.pem
sign manifest-ecdsa.sig certec.pem keyec.pem
sign manifest-sha1.sig cert1.pem key1.pem -md sha1
sign manifest-nocerts.sig cert1.pem key1.pem -nocerts
sign manifest-embedded.sig cert1.pem key1.pem -nodetach
python3 "$here/content_type.py" manifest.sig key1.pem 1.2.840.113549.1.7.5 \
  manifest-content-type.sig
osslsigncode extract-signature -in signed1.exe -out signed1.der >/dev/null
python3 "$here/content_type.py" signed1.der key1.pem 1.3.6.1.4.1.311.2.1.15 content-type.der
python3 "$signing/forge.py" attach content-type.der signed1.exe signed1-content-type.exe
rm -f signed1.der content-type.der
