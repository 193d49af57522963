"""The names a Windows DLL exports, read from its file.

Follows the Portable Executable layout: the MS-DOS header's e_lfanew leads
to the "PE\\0\\0" signature and the COFF file header; the optional header
(PE32 or PE32+) holds the data directories, whose first entry is the export
directory; the section table maps its relative addresses to file offsets.
"""

import struct

# Where the data directories start in each kind of optional header.
_DIRECTORIES = {0x10B: 96, 0x20B: 112}  # PE32, PE32+


def _offset_of(rva, sections):
    for virtual_address, virtual_size, raw_offset, raw_size in sections:
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            return raw_offset + rva - virtual_address
    return None


def _text_at(data, offset):
    end = data.find(b"\0", offset)
    return data[offset:end if end >= 0 else len(data)].decode("latin-1")


def exported_names(path):
    """The set of exported names, or None when the file is not a PE image
    that can be read this way."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        if data[:2] != b"MZ":
            return None
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            return None
        section_count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic not in _DIRECTORIES:
            return None
        directories = optional + _DIRECTORIES[magic]
        directory_count = struct.unpack_from("<I", data, directories - 4)[0]
        if directory_count < 1:
            return set()
        export_rva = struct.unpack_from("<I", data, directories)[0]
        if export_rva == 0:
            return set()
        sections = []
        table = optional + optional_size
        for i in range(section_count):
            size, address, raw_size, raw_offset = struct.unpack_from(
                "<IIII", data, table + 40 * i + 8)
            sections.append((address, size, raw_offset, raw_size))
        export = _offset_of(export_rva, sections)
        if export is None:
            return None
        name_count, names_rva = struct.unpack_from("<I4xI", data, export + 24)
        names = _offset_of(names_rva, sections)
        if names is None:
            return None
        result = set()
        for i in range(name_count):
            name = _offset_of(struct.unpack_from("<I", data, names + 4 * i)[0], sections)
            if name is not None:
                result.add(_text_at(data, name))
        return result
    except struct.error:
        return None
