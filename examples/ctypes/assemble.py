#!/usr/bin/env python3
"""Assembles a program held in memory through liborvasm, with ctypes only.

  python3 assemble.py [LIBRARY]

LIBRARY is the path of liborvasm.so (by default the one the dynamic loader
finds). The source includes "lib.orv", which a resolver written in Python
serves from a dictionary. Prints the status, the rom bytes, the symbols and
any lines the assembler printed.
"""

import ctypes
import ctypes.util
import sys

FOUND, NOT_FOUND = 1, 0
FLAGS_POSITIONS = 0x1

FILES = {
    "main.orv": b"@main ;lib JSR2 BRK ~lib.orv",
    "lib.orv": b"@lib #2a",
}

RESOLVER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p,
                            ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(ctypes.c_size_t))


class Options(ctypes.Structure):
    _fields_ = [("source_path", ctypes.c_char_p), ("source_data", ctypes.c_void_p),
                ("source_size", ctypes.c_size_t), ("source_name", ctypes.c_char_p),
                ("resolver", RESOLVER), ("resolver_context", ctypes.c_void_p),
                ("flags", ctypes.c_uint), ("print_to", ctypes.c_void_p),
                ("rom_name", ctypes.c_char_p)]


class Position(ctypes.Structure):
    _fields_ = [("file", ctypes.c_char_p), ("line", ctypes.c_uint32),
                ("column", ctypes.c_uint32)]


class Symbol(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("address", ctypes.c_uint16),
                ("uses", ctypes.c_uint16), ("definition", Position)]


class Diagnostic(ctypes.Structure):
    _fields_ = [("severity", ctypes.c_int), ("message", ctypes.c_char_p),
                ("detail", ctypes.c_char_p), ("position", Position),
                ("notes", ctypes.c_uint32), ("text", ctypes.c_char_p),
                ("length", ctypes.c_size_t)]


def load(path):
    library = ctypes.CDLL(path or ctypes.util.find_library("orvasm"))
    declarations = {
        "orvasm_version": (ctypes.c_char_p, []),
        "orvasm_assemble": (ctypes.c_void_p, [ctypes.c_void_p, ctypes.POINTER(Options)]),
        "orvasm_result_free": (None, [ctypes.c_void_p]),
        "orvasm_result_status": (ctypes.c_int, [ctypes.c_void_p]),
        "orvasm_result_rom": (ctypes.POINTER(ctypes.c_ubyte),
                              [ctypes.c_void_p, ctypes.POINTER(ctypes.c_size_t)]),
        "orvasm_result_symbol_count": (ctypes.c_size_t, [ctypes.c_void_p]),
        "orvasm_result_symbol": (ctypes.POINTER(Symbol), [ctypes.c_void_p, ctypes.c_size_t]),
        "orvasm_result_diagnostic_count": (ctypes.c_size_t, [ctypes.c_void_p]),
        "orvasm_result_diagnostic": (ctypes.POINTER(Diagnostic),
                                     [ctypes.c_void_p, ctypes.c_size_t]),
    }
    for name, (result, arguments) in declarations.items():
        function = getattr(library, name)
        function.restype, function.argtypes = result, arguments
    return library


def main():
    orvasm = load(sys.argv[1] if len(sys.argv) > 1 else None)
    # The buffers handed to the library must outlive the call: keep them here.
    buffers = {name: ctypes.create_string_buffer(data, len(data)) for name, data in FILES.items()}

    @RESOLVER
    def resolve(_context, path, data, size):
        buffer = buffers.get(path.decode())
        if buffer is None:
            return NOT_FOUND
        data[0] = ctypes.cast(buffer, ctypes.c_void_p)
        size[0] = len(buffer.raw)
        return FOUND

    source = buffers["main.orv"]
    options = Options(source_data=ctypes.cast(source, ctypes.c_void_p),
                      source_size=len(source.raw), source_name=b"main.orv",
                      resolver=resolve, flags=FLAGS_POSITIONS, rom_name=b"main.rom")
    result = orvasm.orvasm_assemble(None, ctypes.byref(options))
    if not result:
        sys.exit("out of memory")
    try:
        size = ctypes.c_size_t()
        rom = orvasm.orvasm_result_rom(result, ctypes.byref(size))
        status = orvasm.orvasm_result_status(result)
        print("orvasm %s" % orvasm.orvasm_version().decode())
        print("status %d, %d bytes: %s" % (status, size.value,
                                          " ".join("%02x" % rom[i] for i in range(size.value))))
        for i in range(orvasm.orvasm_result_symbol_count(result)):
            symbol = orvasm.orvasm_result_symbol(result, i).contents
            print("%s %04x" % (symbol.name.decode(), symbol.address))
        for i in range(orvasm.orvasm_result_diagnostic_count(result)):
            line = orvasm.orvasm_result_diagnostic(result, i).contents
            print("printed: " + line.text.decode(errors="replace"), end="")
    finally:
        orvasm.orvasm_result_free(result)
    return 0 if status == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
