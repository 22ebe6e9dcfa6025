#!/usr/bin/env python3
"""Checks that every function a program loads on first use can be reached.

A function of a DLL loaded on first use is called through a pointer that
starts out at a small stub; the stub loads the DLL and sets the pointer.
Where the linker dropped the stub, the pointer starts out as 0 and the first
call jumps to address 0. This reads the programs' delay-import descriptors
(attributes 1, then the RVAs of the DLL's name, its module handle, the
pointers and the names) and fails for a pointer that is 0, and for a program
in which it finds no such descriptor at all.

usage: check_delay_imports.py PROGRAM...
"""
import re
import struct
import sys


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('not a PE image')
        count, = struct.unpack_from('<H', data, pe + 6)
        optional_size, = struct.unpack_from('<H', data, pe + 20)
        magic, = struct.unpack_from('<H', data, pe + 24)
        self.pointer = 4 if magic == 0x10B else 8
        table = pe + 24 + optional_size
        self.sections = [struct.unpack_from('<8xIIII', data, table + 40 * i) for i in range(count)]

    def read(self, rva, size):
        """size bytes at rva; None where rva lies in no section."""
        for virtual_size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                offset = rva - address
                if offset >= raw_size:
                    return b'\0' * size
                return self.data[raw + offset:raw + offset + size].ljust(size, b'\0')
        return None

    def word(self, rva):
        raw = self.read(rva, self.pointer)
        return None if raw is None else int.from_bytes(raw, 'little')


def delay_imports(image):
    """(dll, function, pointer's initial value) for each delay-loaded function."""
    found = []
    for match in re.finditer(rb'\x01\0\0\0', image.data):
        if match.start() % 4 or match.start() + 32 > len(image.data):
            continue
        _, name, _, pointers, names = struct.unpack_from('<5I', image.data, match.start())
        dll = image.read(name, 64) if name else None
        if not dll or not re.match(rb'[\w.-]+\.dll\0', dll, re.I):
            continue
        if image.word(pointers) is None or image.word(names) is None:
            continue
        dll = dll.split(b'\0')[0].decode()
        ordinal_flag = 1 << (image.pointer * 8 - 1)
        for i in range(4096):
            entry = image.word(names + i * image.pointer)
            if not entry:
                break
            if entry & ordinal_flag:
                function = '#%d' % (entry & 0xFFFF)
            else:
                function = (image.read(entry + 2, 256) or b'?').split(b'\0')[0].decode()
            found.append((dll, function, image.word(pointers + i * image.pointer)))
    return found


def main(paths):
    status = 0
    for path in paths:
        with open(path, 'rb') as f:
            imports = delay_imports(Image(f.read()))
        if not imports:
            print('%s: no function is loaded on first use' % path)
            status = 1
        for dll, function, initial in imports:
            if not initial:
                print('%s: %s!%s has no stub: its first call jumps to 0' % (path, dll, function))
                status = 1
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
