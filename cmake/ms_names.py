#!/usr/bin/env python3
"""Microsoft-decorated names for the DLL's free functions.

    ms_names.py CLANG ARCH DLL_DEF IMPORT_DEF INCLUDE_DIR...

Callers built with Microsoft's compiler import the free functions by
Microsoft's decorated names (?tqAsnEncodeObj@@YAHAAUtq_asn_buffer_t@@...),
while the DLL is built with GCC and exports them by GCC's names. The record
structures lay out the same in both ABIs and the free functions use the same
calling convention, so the same code is exported a second time under the
Microsoft name.

Which functions: every function declared OXSERUTL_API in the headers that a
caller of any compiler includes (<oxserutl/record_functions.h>, which brings
the buffer and the status codes, <oxserutl/asnscan.h>, <oxserutl/explain.h>
and <oxserutl/version.h>). They declare
only C structures and functions on C types or references to them, and they
compile with nothing but the compiler's own <stdint.h>; a class could not
even be named there. The names are the compiler's own: clang reads the
headers once for the MinGW target (GCC's names) and once for the Microsoft
target, and the two lists pair up declaration by declaration.

Writes DLL_DEF, the module-definition lines that put each Microsoft name on
the address of its GCC twin (for the DLL's link), and IMPORT_DEF, every
name a Microsoft-built caller imports: the Microsoft names and the extern "C"
functions, which have one name in both ABIs (for the import library
oxserutl.lib).
"""
import json
import subprocess
import sys

HEADERS = ("oxserutl/record_functions.h", "oxserutl/asnscan.h", "oxserutl/explain.h", "oxserutl/version.h")
TRIPLES = {"i686": ("i686-w64-mingw32", "i686-pc-windows-msvc"),
           "x86_64": ("x86_64-w64-mingw32", "x86_64-pc-windows-msvc")}


def exported_functions(clang, triple, include_dirs):
    """(name, symbol) of every dllimport function declaration, in order."""
    source = "".join(f"#include <{h}>\n" for h in HEADERS)
    ast = subprocess.run(
        [clang, f"--target={triple}", "-std=c++17", "-ffreestanding", "-nostdlibinc", "-fsyntax-only",
         *(f"-I{d}" for d in include_dirs), "-x", "c++", "-", "-Xclang", "-ast-dump=json"],
        input=source, capture_output=True, text=True, check=True).stdout
    found = []

    def walk(node):
        if node.get("kind") == "FunctionDecl":
            attrs = {a.get("kind") for a in node.get("inner", [])}
            if "DLLImportAttr" in attrs:
                found.append((node["name"], node["mangledName"]))
            return
        for child in node.get("inner", []):
            walk(child)

    walk(json.loads(ast))
    return found


def symbol_name(symbol):
    """The name in the export table: x86 symbols carry one more underscore."""
    return symbol[1:] if symbol.startswith("__Z") else symbol


def main():
    clang, arch, dll_def, import_def, *include_dirs = sys.argv[1:]
    gnu_triple, ms_triple = TRIPLES[arch]
    gnu = exported_functions(clang, gnu_triple, include_dirs)
    ms = exported_functions(clang, ms_triple, include_dirs)
    if len(gnu) != len(ms) or any(g[0] != m[0] for g, m in zip(gnu, ms)):
        sys.exit("ms_names: the two readings of the headers declare different functions")
    if not gnu:
        sys.exit("ms_names: no exported functions found")
    aliases, imports = [], []
    for (name, gnu_symbol), (_, ms_symbol) in zip(gnu, ms):
        if ms_symbol.startswith("?"):
            aliases.append(f'  "{ms_symbol}" = {symbol_name(gnu_symbol)}')
            imports.append(f'  "{ms_symbol}"')
        else:  # extern "C": one name for both
            imports.append(f"  {name}")
    with open(dll_def, "w") as out:
        out.write("EXPORTS\n" + "\n".join(aliases) + "\n")
    with open(import_def, "w") as out:
        out.write("LIBRARY oxserutl.dll\nEXPORTS\n" + "\n".join(imports) + "\n")


if __name__ == "__main__":
    main()
