"""Keys, certificates and pins; the manifest's detached signature and the
installer's Authenticode signature, made and checked by openssl and
osslsigncode."""
import hashlib
import os
import re
import tempfile

from .base import Refusal, check_address, need, run, tool_error

SYSTEM_CA_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"


def passin(password_file):
    return ["-passin", "file:" + password_file] if password_file else []


def cert_public_key(cert):
    """The DER SubjectPublicKeyInfo of the first certificate in a PEM file."""
    pem = need(["openssl", "x509", "-in", cert, "-pubkey", "-noout"], f"can't read certificate {cert}")
    return need(["openssl", "pkey", "-pubin", "-outform", "DER"], f"can't read the key of {cert}", pem)


def pin_of(cert):
    return hashlib.sha256(cert_public_key(cert)).hexdigest()


def check_signer(key, cert, password_file):
    """Refuses a key and certificate the Updater can't accept together; returns the pin."""
    for path in (key, cert) + ((password_file,) if password_file else ()):
        if not os.path.isfile(path):
            raise Refusal(f"no such file: {path}")
    text = need(["openssl", "x509", "-in", cert, "-noout", "-text"], f"can't read certificate {cert}")
    algorithm = re.search(rb"Public Key Algorithm: (\S+)", text)
    if not algorithm or algorithm.group(1) != b"rsaEncryption":
        found = algorithm.group(1).decode() if algorithm else "unknown"
        raise Refusal(f"{cert}: the key is {found}; only RSA keys are accepted by Windows")
    if run(["openssl", "x509", "-in", cert, "-noout", "-checkend", "0"]).returncode != 0:
        raise Refusal(f"{cert}: the certificate has expired")
    key_public = need(["openssl", "pkey", "-in", key, "-pubout", "-outform", "DER"] + passin(password_file),
                      f"can't read key {key}")
    cert_key = cert_public_key(cert)
    if key_public != cert_key:
        raise Refusal(f"key {key} does not belong to certificate {cert}")
    return hashlib.sha256(cert_key).hexdigest()


def split_pems(text):
    return re.findall(rb"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----\n?", text, re.S)


def pem_pin_and_hash(pem, scratch):
    """(pin, SHA-256 of the DER certificate) of one PEM certificate."""
    path = os.path.join(scratch, "one.pem")
    with open(path, "wb") as f:
        f.write(pem)
    der = need(["openssl", "x509", "-in", path, "-outform", "DER"], "can't read a certificate")
    return pin_of(path), hashlib.sha256(der).hexdigest()


# --- the manifest's signature ----------------------------------------------------

def sign_manifest(manifest, sig, key, cert, password_file):
    need(["openssl", "cms", "-sign", "-binary", "-md", "sha256", "-outform", "DER", "-nosmimecap",
          "-in", manifest, "-signer", cert, "-inkey", key, "-out", sig] + passin(password_file),
         "signing the manifest failed")


def manifest_signer(manifest, sig, scratch):
    """The pin of the one RSA SHA-256 signer of a detached signature over manifest's bytes."""
    signer = os.path.join(scratch, "manifest-signer.pem")
    result = run(["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", sig, "-content", manifest,
                  "-noverify", "-signer", signer, "-out", os.devnull])
    if result.returncode != 0:
        raise Refusal(f"the signature does not match the manifest ({tool_error(result)})")
    printed = need(["openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", sig], "can't read the signature")
    if not re.search(rb"eContent: <ABSENT>", printed):
        raise Refusal("the signature is not detached")
    infos = printed.split(b"signerInfos:", 1)[-1]
    if not re.search(rb"digestAlgorithm:\s*\n\s*algorithm: sha256 ", infos):
        raise Refusal("the signature's digest is not SHA-256")
    if not re.search(rb"signatureAlgorithm:\s*\n\s*algorithm: (rsaEncryption|sha256WithRSAEncryption) ", infos):
        raise Refusal("the signature is not RSA")
    with open(signer, "rb") as f:
        certs = split_pems(f.read())
    if len(certs) != 1:
        raise Refusal(f"the signature has {len(certs)} signers, not one")
    return pem_pin_and_hash(certs[0], scratch)[0]


# --- the installer's Authenticode signature ---------------------------------------

def sign_installer(installer, out, key, cert, password_file, timestamp=None, description=None, url=None):
    """Authenticode-signs installer into out (SHA-256), replacing out only when done."""
    if timestamp:
        check_address(timestamp, "timestamp server")
    out_dir = os.path.dirname(os.path.abspath(out))
    if not os.path.isdir(out_dir):
        raise Refusal(f"no such folder: {out_dir}")
    args = ["osslsigncode", "sign", "-h", "sha256", "-certs", cert, "-key", key]
    if password_file:
        args += ["-readpass", password_file]
    if description:
        args += ["-n", description]
    if url:
        args += ["-i", url]
    if timestamp:
        args += ["-ts", timestamp]
    fd, temporary = tempfile.mkstemp(prefix=".qmpublish-", dir=out_dir)
    os.close(fd)
    os.unlink(temporary)  # osslsigncode creates it
    try:
        need(args + ["-in", installer, "-out", temporary], "signing failed")
        os.replace(temporary, out)
    finally:
        if os.path.exists(temporary):
            os.unlink(temporary)


def installer_signer(installer, pins, scratch):
    """Checks the installer's Authenticode signature; returns its signer's pin when it is one
    of pins, else refuses. Without pins, returns the pin of the signer it verified."""
    sig = os.path.join(scratch, "authenticode.pem")
    if os.path.exists(sig):
        os.unlink(sig)
    result = run(["osslsigncode", "extract-signature", "-pem", "-in", installer, "-out", sig])
    if result.returncode != 0 or not os.path.isfile(sig):
        raise Refusal(f"{os.path.basename(installer)} carries no Authenticode signature")
    certs = split_pems(need(["openssl", "pkcs7", "-in", sig, "-print_certs"], "can't read the signature"))
    # The chain is not judged here (Windows does that): the certificates the
    # signature carries are trusted as far as it is concerned, the pin decides.
    anchors = os.path.join(scratch, "anchors.pem")
    with open(anchors, "wb") as f:
        f.write(b"".join(certs))
        if os.path.isfile(SYSTEM_CA_BUNDLE):
            with open(SYSTEM_CA_BUNDLE, "rb") as bundle:
                f.write(bundle.read())
    verify = ["osslsigncode", "verify", "-in", installer, "-CAfile", anchors, "-ignore-cdp"]
    result = run(verify)
    if result.returncode != 0:
        raise Refusal(f"{os.path.basename(installer)}: Authenticode signature invalid ({tool_error(result)})")
    # Each carried certificate, tried as the signer; osslsigncode says which one is.
    seen = []
    for pem in certs:
        pin, cert_hash = pem_pin_and_hash(pem, scratch)
        if run(verify + ["-require-leaf-hash", "sha256:" + cert_hash]).returncode == 0:
            if pins is None or pin in pins:
                return pin
            seen.append(pin)
    raise Refusal(f"{os.path.basename(installer)} is signed by a key that is not pinned ({', '.join(seen)})")
