#!/usr/bin/env python3
"""Forged Authenticode signatures for the signature tests, made from genuine
ones (DER as `osslsigncode extract-signature` writes them):

  forge.py signer PUBLISHER.der ATTACKER.der OUT.der
      a SignedData with the attacker's signed content (an SpcIndirectData
      that holds the attacker's program's digest) beside the publisher's
      certificates and signer info, taken unchanged;
  forge.py attach SIGNATURE.der PROGRAM OUT
      PROGRAM with SIGNATURE as the one entry of its certificate table (a
      table it had is dropped).
"""
import struct
import sys


def element(data, pos):
    """(tag, contents start, contents end, element end) of the DER element at pos."""
    tag = data[pos]
    first = data[pos + 1]
    start = pos + 2
    length = first
    if first & 0x80:
        count = first & 0x7F
        length = int.from_bytes(data[start:start + count], "big")
        start += count
    return tag, start, start + length


def children(data, start, end):
    """The encodings of the elements between start and end."""
    out = []
    while start < end:
        _, contents, stop = element(data, start)
        out.append(data[start:stop])
        start = stop
    return out


def encode(tag, contents):
    n = len(contents)
    if n < 0x80:
        head = bytes([n])
    else:
        size = n.to_bytes((n.bit_length() + 7) // 8, "big")
        head = bytes([0x80 | len(size)]) + size
    return bytes([tag]) + head + contents


def signed_data(der):
    """The ContentInfo's type and the SignedData's fields, in order."""
    _, start, end = element(der, 0)
    content_type, wrapper = children(der, start, end)
    _, start, end = element(wrapper, 0)
    _, start2, end2 = element(wrapper, start)
    return content_type, children(wrapper, start2, end2)


def forge_signer(publisher, attacker, out):
    content_type, pub = signed_data(open(publisher, "rb").read())
    _, att = signed_data(open(attacker, "rb").read())
    # version, digestAlgorithms, contentInfo, [0] certificates, signerInfos
    fields = [pub[0], pub[1], att[2]] + [f for f in pub[3:] if f[0] in (0xA0, 0xA1)] + [pub[-1]]
    body = encode(0x30, b"".join(fields))
    open(out, "wb").write(encode(0x30, content_type + encode(0xA0, body)))


def attach(signature, program, out):
    image = bytearray(open(program, "rb").read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    magic = struct.unpack_from("<H", image, pe + 24)[0]
    entry = pe + 24 + (128 if magic == 0x10B else 144)
    offset, _ = struct.unpack_from("<II", image, entry)
    if offset:
        del image[offset:]
    image += b"\0" * (-len(image) % 8)
    blob = open(signature, "rb").read()
    certificate = struct.pack("<IHH", 8 + len(blob), 0x0200, 2) + blob
    certificate += b"\0" * (-len(certificate) % 8)
    struct.pack_into("<II", image, entry, len(image), len(certificate))
    open(out, "wb").write(bytes(image) + certificate)


if __name__ == "__main__":
    command, *args = sys.argv[1:]
    {"signer": forge_signer, "attach": attach}[command](*args)
