"""The product version an installer (a PE image) states in its version
resource, read without any library: the resource directory's RT_VERSION
entry, its VS_FIXEDFILEINFO and its StringFileInfo strings."""
import mmap
import re
import struct

from .base import Refusal

RT_VERSION = 16
FIXED_SIGNATURE = 0xFEEF04BD


class _Malformed(Exception):
    pass


class _Reader:
    def __init__(self, data):
        self.data = data

    def bytes(self, offset, size):
        if offset < 0 or size < 0 or offset + size > len(self.data):
            raise _Malformed()
        return self.data[offset:offset + size]

    def u16(self, offset):
        return struct.unpack("<H", self.bytes(offset, 2))[0]

    def u32(self, offset):
        return struct.unpack("<I", self.bytes(offset, 4))[0]


def _sections(r):
    """(e_lfanew, [(virtual address, virtual size, raw size, raw offset)], resource RVA, size)."""
    if r.bytes(0, 2) != b"MZ":
        raise _Malformed()
    pe = r.u32(0x3C)
    if r.bytes(pe, 4) != b"PE\0\0":
        raise _Malformed()
    coff = pe + 4
    count, optional_size = r.u16(coff + 2), r.u16(coff + 16)
    optional = coff + 20
    magic = r.u16(optional)
    if magic == 0x10B:
        directories = optional + 96
    elif magic == 0x20B:
        directories = optional + 112
    else:
        raise _Malformed()
    directory_count = r.u32(directories - 4)
    resource = (r.u32(directories + 16), r.u32(directories + 20)) if directory_count > 2 else (0, 0)
    table = optional + optional_size
    sections = [(r.u32(table + 40 * i + 12), r.u32(table + 40 * i + 8), r.u32(table + 40 * i + 16),
                 r.u32(table + 40 * i + 20)) for i in range(count)]
    return sections, resource


def _offset(sections, rva, size):
    for address, _, raw, pointer in sections:
        if address <= rva and rva + size <= address + raw:
            return pointer + rva - address
    raise _Malformed()


def _entries(r, directory):
    named, ids = r.u16(directory + 12), r.u16(directory + 14)
    return [(r.u32(directory + 16 + 8 * i), r.u32(directory + 20 + 8 * i)) for i in range(named + ids)]


def _version_blob(r):
    sections, (rva, size) = _sections(r)
    if not rva or not size:
        return None
    root = _offset(sections, rva, 16)
    node = None
    for name, target in _entries(r, root):
        if name == RT_VERSION:
            node = target
    # Type, then name, then language: the first of each below RT_VERSION.
    for _ in range(2):
        if node is None or not node & 0x80000000:
            return None
        entries = _entries(r, root + (node & 0x7FFFFFFF))
        node = entries[0][1] if entries else None
    if node is None or node & 0x80000000:
        return None
    data_rva, data_size = r.u32(root + node), r.u32(root + node + 4)
    return r.bytes(_offset(sections, data_rva, data_size), data_size)


def _align(n):
    return (n + 3) & ~3


def _block(blob, offset):
    """(key, value offset, value length in bytes, text?, children offset, end) of one block."""
    length, value_length, kind = struct.unpack_from("<HHH", blob, offset)
    end = offset + length
    if length < 6 or end > len(blob):
        raise _Malformed()
    key_end = offset + 6
    while key_end + 1 < end and blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[offset + 6:key_end].decode("utf-16-le", "replace")
    value = _align(key_end + 2)
    value_size = value_length * 2 if kind == 1 else value_length
    return key, value, value_size, kind == 1, _align(value + value_size), end


def _children(blob, start, end):
    while start + 6 <= end:
        child = _block(blob, start)
        yield child
        start = _align(child[5])


def _text(blob, start, end):
    text = blob[start:end].decode("utf-16-le", "replace")
    return text.split("\0", 1)[0].strip()


def _versions(blob):
    """(fixed product version or None, ProductVersion string or None)."""
    key, value, value_size, _, children, end = _block(blob, 0)
    if key != "VS_VERSION_INFO":
        raise _Malformed()
    fixed = None
    if value_size >= 52 and struct.unpack_from("<I", blob, value)[0] == FIXED_SIGNATURE:
        ms, ls = struct.unpack_from("<II", blob, value + 16)
        fields = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        if any(fields):
            fixed = ".".join(str(f) for f in fields)
    string = None
    for info in _children(blob, children, end):
        if info[0] != "StringFileInfo":
            continue
        for table in _children(blob, info[4], info[5]):
            for entry in _children(blob, table[4], table[5]):
                if entry[0] == "ProductVersion" and string is None:
                    string = _text(blob, entry[1], entry[5])
    return fixed, string


def product_version(path):
    """(version, where it was read) of the installer at path, or (None, None)
    when it states none that is dotted numbers. Refuses a file that is no PE
    image: the Updater runs nothing else."""
    with open(path, "rb") as f:
        try:
            data = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
        except ValueError:  # an empty file
            data = b""
        try:
            r = _Reader(data)
            try:
                _sections(r)
            except (_Malformed, struct.error):
                raise Refusal(f"{path} is not a Windows program (PE image); the Updater runs nothing else")
            try:
                blob = _version_blob(r)
                fixed, string = _versions(blob) if blob else (None, None)
            except (_Malformed, struct.error):
                return None, None
        finally:
            if isinstance(data, mmap.mmap):
                data.close()
    if fixed:
        return fixed, "the fixed ProductVersion of its version resource"
    if string:
        # Resource compilers often write "2, 1, 0, 15".
        text = re.sub(r"\s*,\s*", ".", string)
        if re.fullmatch(r"[0-9]+(\.[0-9]+)*", text):
            return text, "the ProductVersion string of its version resource"
    return None, None
