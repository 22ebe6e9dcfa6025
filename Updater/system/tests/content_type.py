#!/usr/bin/env python3
"""A genuine signature whose content-type signed attribute names another type:

  content_type.py SIGNATURE.der KEY.pem OID OUT.der

SIGNATURE is a DER SignedData of one signer with signed attributes (as
`openssl cms -sign -outform DER` or `osslsigncode extract-signature` write
it). OUT is the same signature with the value of its content-type attribute
replaced by OID, which must encode to as many bytes as the value it replaces,
and the signed attributes signed anew with KEY, the signer's own key: the
signature over them stays valid, only the type they claim is another one.
"""
import subprocess
import sys

CONTENT_TYPE = bytes.fromhex("06092a864886f70d010903")  # 1.2.840.113549.1.9.3
DIGESTS = {
    bytes.fromhex("06052b0e03021a"): "sha1",
    bytes.fromhex("0609608648016503040201"): "sha256",
    bytes.fromhex("0609608648016503040202"): "sha384",
    bytes.fromhex("0609608648016503040203"): "sha512",
}


def element(data, pos):
    """(tag, contents start, element end) of the DER element at pos."""
    tag = data[pos]
    first = data[pos + 1]
    start = pos + 2
    length = first
    if first & 0x80:
        count = first & 0x7F
        length = int.from_bytes(data[start:start + count], "big")
        start += count
    return tag, start, start + length


def children(data, pos):
    """(tag, start, end) of each element inside the constructed element at pos."""
    _, start, end = element(data, pos)
    out = []
    while start < end:
        tag, _, stop = element(data, start)
        out.append((tag, start, stop))
        start = stop
    return out


def oid_bytes(text):
    arcs = [int(a) for a in text.split(".")]
    body = bytearray()
    for arc in [40 * arcs[0] + arcs[1]] + arcs[2:]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.insert(0, 0x80 | (arc & 0x7F))
            arc >>= 7
        body += bytes(chunk)
    return bytes([0x06, len(body)]) + bytes(body)


def main(signature, key, oid, out):
    der = bytearray(open(signature, "rb").read())
    _, wrapper = children(der, 0)
    signed_data = children(der, wrapper[1])[0]
    signer_infos = children(der, signed_data[1])[-1]
    signer = children(der, signer_infos[1])[0]
    fields = children(der, signer[1])
    attributes = next(f for f in fields if f[0] == 0xA0)
    algorithm = children(der, fields[2][1])[0]
    digest = DIGESTS[bytes(der[algorithm[1]:algorithm[2]])]
    value = None
    for _, attribute, _ in children(der, attributes[1]):
        kind, values = children(der, attribute)
        if der[kind[1]:kind[2]] == CONTENT_TYPE:
            value = children(der, values[1])[0]
    new = oid_bytes(oid)
    if value is None or value[2] - value[1] != len(new):
        sys.exit("no content-type attribute of that length")
    der[value[1]:value[2]] = new
    # The signature covers the attributes encoded as a SET, not as [0].
    signed = b"\x31" + bytes(der[attributes[1] + 1:attributes[2]])
    signature_value = next(f for f in fields if f[0] == 0x04)
    _, start, end = element(der, signature_value[1])
    result = subprocess.run(["openssl", "dgst", "-" + digest, "-sign", key], input=signed,
                            stdout=subprocess.PIPE, check=True).stdout
    if len(result) != end - start:
        sys.exit("the key is not the signer's")
    der[start:end] = result
    open(out, "wb").write(bytes(der))


if __name__ == "__main__":
    main(*sys.argv[1:])
