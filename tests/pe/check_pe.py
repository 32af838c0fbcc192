#!/usr/bin/env python3
"""Checks the shipped Windows files as built, on the build machine.

  check_pe.py imports --objdump OBJDUMP --allow LIST FILE...
      Every function FILE imports is in the allow-list LIST (functions that
      Windows XP SP3's system DLLs export, each with its documented minimum
      client, none newer than XP SP3); no secure-CRT (*_s) function of
      msvcrt.dll; the PE header asks for OS and subsystem 5.1 or older.

  check_pe.py program --objdump OBJDUMP --dlls DLL... --exe EXE
      EXE imports from exactly the DLLs listed (no user32.dll or gdi32.dll
      creeping in through a helper library: a console program that loads
      them is no longer sent the logoff and shutdown events), and its PE
      header marks it aware of Terminal Services
      (IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE) and of large
      addresses (IMAGE_FILE_LARGE_ADDRESS_AWARE).

  check_pe.py resources --version X.Y.Z --exe EXE --dll DLL
      Both files carry a version resource with the product name, the file
      description, the file and product version X.Y.Z and their own original
      file name; EXE carries an application manifest (resource type 24, id 1)
      that asks for asInvoker and lists Vista to Windows 10/11 as supported.

Exit status 0 when every check passes, 1 otherwise (each problem printed).
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

# The minimum-client texts that an allow-list entry may carry: Windows XP SP3
# or older.
XP_OR_OLDER = {
    "Windows 2000 Professional",
    "Windows XP",
    "Windows XP SP1",
    "Windows XP SP2",
    "Windows XP SP3",
    "Windows XP (msvcrt.dll 7.0)",
}

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}

IMAGE_FILE_LARGE_ADDRESS_AWARE = 0x0020
IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE = 0x8000

RT_VERSION = 16
RT_MANIFEST = 24


class Bad(Exception):
    pass


# --- imports and header, through objdump ---------------------------------

def read_allow_list(path):
    allowed = {}
    problems = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            text = line.strip()
            if not text or text.startswith("#"):
                continue
            parts = text.split(None, 2)
            if len(parts) < 3:
                problems.append(f"{path}:{number}: no documented minimum client: {line.rstrip()}")
                continue
            dll, name, minimum = parts
            if minimum not in XP_OR_OLDER:
                problems.append(f"{path}:{number}: {dll} {name}: minimum client "
                                f"'{minimum}' is not Windows XP SP3 or older")
                continue
            allowed[(dll.lower(), name)] = minimum
    return allowed, problems


def objdump_private_headers(objdump, path):
    return subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                          text=True).stdout


def parse_imports(dump):
    """(dll, function) pairs from objdump -p's import tables; an import by
    ordinal shows as '#<ordinal>'."""
    imports = set()
    dll = None
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1)
            continue
        if dll is None:
            continue
        if not line.strip():
            dll = None
            continue
        if "Hint/Ord" in line or "vma:" in line:
            continue
        fields = line.split()
        # "<vma> <hint> <name>" for a name import, "<vma> <ordinal>" for an
        # ordinal one.
        if len(fields) >= 3 and re.fullmatch(r"[0-9a-fA-F]+", fields[0]):
            imports.add((dll, fields[2]))
        elif len(fields) == 2 and re.fullmatch(r"[0-9a-fA-F]+", fields[0]):
            imports.add((dll, "#" + fields[1]))
    return imports


def header_value(dump, field):
    m = re.search(r"^" + field + r"\s+(\S+)", dump, re.M)
    if not m:
        raise Bad(f"objdump shows no {field}")
    return int(m.group(1), 16) if m.group(1).startswith("0x") else int(m.group(1))


def check_imports(args):
    allowed, problems = read_allow_list(args.allow)
    for path in args.files:
        name = os.path.basename(path)
        dump = objdump_private_headers(args.objdump, path)
        imports = parse_imports(dump)
        if not imports:
            problems.append(f"{name}: no imports found (objdump output not understood?)")
        for dll, function in sorted(imports):
            if dll.lower() == "msvcrt.dll" and function.endswith("_s"):
                problems.append(f"{name}: imports {dll} {function}, a secure-CRT "
                                "function that Windows XP's msvcrt.dll lacks")
            elif (dll.lower(), function) not in allowed:
                problems.append(f"{name}: imports {dll} {function}, which is not in "
                                f"{os.path.basename(args.allow)}: check its minimum "
                                "supported client and add it if Windows XP SP3 has it")
        for major, minor, what in (("MajorOSystemVersion", "MinorOSystemVersion", "OS"),
                                   ("MajorSubsystemVersion", "MinorSubsystemVersion",
                                    "subsystem")):
            version = (header_value(dump, major), header_value(dump, minor))
            if version > (5, 1):
                problems.append(f"{name}: PE header asks for {what} version "
                                f"{version[0]}.{version[1]}, newer than Windows XP's 5.1")
        print(f"{name}: {len(imports)} imports checked")
    return problems


def check_program(args):
    problems = []
    name = os.path.basename(args.exe)
    imported = {dll.lower() for dll, _ in parse_imports(objdump_private_headers(args.objdump,
                                                                                 args.exe))}
    wanted = {dll.lower() for dll in args.dlls}
    for dll in sorted(imported - wanted):
        problems.append(f"{name}: imports from {dll}, which is not one of {', '.join(args.dlls)}")
    for dll in sorted(wanted - imported):
        problems.append(f"{name}: imports nothing from {dll} (objdump output not understood?)")
    try:
        image = PeImage(args.exe)
        if not image.characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE:
            problems.append(f"{name}: not marked large-address aware "
                            f"(Characteristics {image.characteristics:#06x})")
        if not image.dll_characteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE:
            problems.append(f"{name}: not marked Terminal Services aware "
                            f"(DllCharacteristics {image.dll_characteristics:#06x})")
    except Bad as error:
        problems.append(f"{name}: {error}")
    print(f"{name}: imports from {', '.join(sorted(imported))}; header flags checked")
    return problems


# --- resources, read from the file's resource section --------------------

class PeImage:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        self.path = path
        if self.u16(0) != 0x5A4D:
            raise Bad("no MZ header")
        pe = self.u32(0x3C)
        if self.bytes(pe, 4) != b"PE\0\0":
            raise Bad("no PE signature")
        sections = self.u16(pe + 6)
        optional_size = self.u16(pe + 20)
        self.characteristics = self.u16(pe + 22)
        optional = pe + 24
        magic = self.u16(optional)
        # DllCharacteristics: at 70 in both the PE32 and the PE32+ header.
        self.dll_characteristics = self.u16(optional + 70)
        directories = optional + (96 if magic == 0x10B else 112)
        directory_count = self.u32(directories - 4)
        if directory_count <= 2:
            raise Bad("no resource directory entry")
        self.resource_rva = self.u32(directories + 2 * 8)
        self.resource_size = self.u32(directories + 2 * 8 + 4)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            at = table + 40 * i
            virtual_size, rva, raw_size, raw_at = struct.unpack_from("<IIII", self.bytes(at + 8, 16))
            self.sections.append((rva, max(virtual_size, raw_size), raw_at, raw_size))

    def bytes(self, at, n):
        if at < 0 or n < 0 or n > len(self.data) or at > len(self.data) - n:
            raise Bad(f"read of {n} bytes at {at} outside the file")
        return self.data[at:at + n]

    def u16(self, at):
        return struct.unpack("<H", self.bytes(at, 2))[0]

    def u32(self, at):
        return struct.unpack("<I", self.bytes(at, 4))[0]

    def offset_of(self, rva, n):
        for start, size, raw_at, raw_size in self.sections:
            if start <= rva and rva - start <= raw_size - n and n <= raw_size:
                return raw_at + (rva - start)
        raise Bad(f"RVA {rva:#x} (+{n}) lies in no section's file data")

    def resources(self):
        """{(type, name): data} over the resource tree (type, name, language);
        numeric ids only, the first language of each."""
        if not self.resource_rva or not self.resource_size:
            return {}
        base = self.offset_of(self.resource_rva, self.resource_size)

        def entries(directory_offset):
            named, numbered = struct.unpack_from("<HH", self.bytes(base + directory_offset + 12, 4))
            for i in range(named + numbered):
                ident, target = struct.unpack_from(
                    "<II", self.bytes(base + directory_offset + 16 + 8 * i, 8))
                yield (None if ident & 0x80000000 else ident), target

        found = {}
        for rtype, type_target in entries(0):
            if not type_target & 0x80000000:
                raise Bad("resource type entry is not a directory")
            for rname, name_target in entries(type_target & 0x7FFFFFFF):
                if not name_target & 0x80000000:
                    raise Bad("resource name entry is not a directory")
                for _, leaf in entries(name_target & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise Bad("resource language entry is not a leaf")
                    rva, size = struct.unpack_from("<II", self.bytes(base + leaf, 8))
                    found.setdefault((rtype, rname), self.bytes(self.offset_of(rva, size), size))
        return found


def version_strings(blob):
    """The fixed file info's (file MS, file LS, product MS, product LS) and
    the StringFileInfo texts of a VS_VERSIONINFO resource."""

    def node(at, end):
        length, value_length, value_type = struct.unpack_from("<HHH", blob, at)
        if length < 6 or at + length > end:
            raise Bad("malformed version block")
        key_end = at + 6
        while blob[key_end:key_end + 2] != b"\0\0":
            key_end += 2
            if key_end >= at + length:
                raise Bad("version block key without terminator")
        key = blob[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if value_type == 1 else value_length
        value = blob[value_at:value_at + value_bytes]
        children = []
        child = (value_at + value_bytes + 3) & ~3
        while child < at + length:
            children.append(node(child, at + length))
            child = (child + children[-1][3] + 3) & ~3
        return key, value_type, value, length, children

    key, _, fixed, _, children = node(0, len(blob))
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        raise Bad("no VS_VERSION_INFO with fixed file info")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        raise Bad("fixed file info signature missing")
    texts = {}
    for child_key, _, _, _, tables in children:
        if child_key != "StringFileInfo":
            continue
        for _, _, _, _, strings in tables:
            for name, _, value, _, _ in strings:
                texts[name] = value.decode("utf-16-le").rstrip("\0")
    return (file_ms, file_ls, product_ms, product_ls), texts


def check_version_resource(path, resources, version):
    problems = []
    name = os.path.basename(path)
    blobs = [data for (rtype, _), data in resources.items() if rtype == RT_VERSION]
    if not blobs:
        return [f"{name}: no version resource"]
    numbers, texts = version_strings(blobs[0])
    major, minor, patch = (int(x) for x in version.split("."))
    want = ((major << 16) | minor, patch << 16)
    if numbers[0:2] != want or numbers[2:4] != want:
        problems.append(f"{name}: fixed version numbers {numbers} are not {version}.0")
    expected = {
        "ProductName": "ZQCindervane",
        "FileVersion": version,
        "ProductVersion": version,
        "OriginalFilename": name,
    }
    for key, value in expected.items():
        if texts.get(key) != value:
            problems.append(f"{name}: version text {key} is {texts.get(key)!r}, not {value!r}")
    if not texts.get("FileDescription"):
        problems.append(f"{name}: version resource has no FileDescription")
    return problems


def check_manifest(path, resources):
    name = os.path.basename(path)
    data = resources.get((RT_MANIFEST, 1))
    if data is None:
        return [f"{name}: no application manifest (resource type 24, id 1)"]
    try:
        root = ET.fromstring(data)
    except ET.ParseError as error:
        return [f"{name}: manifest is not well-formed XML: {error}"]
    problems = []
    levels = [e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        problems.append(f"{name}: manifest's requestedExecutionLevel is {levels}, not asInvoker")
    listed = {e.get("Id", "").lower() for e in root.iter() if e.tag.endswith("}supportedOS")}
    for guid, system in SUPPORTED_OS.items():
        if guid not in listed:
            problems.append(f"{name}: manifest does not list {system} ({guid}) as supported")
    # Windows XP rejects, or with some service packs crashes on, a trustInfo
    # element that declares its namespace twice.
    if re.search(rb"<[^>]*trustInfo[^>]*xmlns[^>]*xmlns[^>]*>", data):
        problems.append(f"{name}: trustInfo declares more than one namespace")
    return problems


def check_resources(args):
    problems = []
    for path, manifest in ((args.exe, True), (args.dll, False)):
        try:
            resources = PeImage(path).resources()
            problems += check_version_resource(path, resources, args.version)
            if manifest:
                problems += check_manifest(path, resources)
        except Bad as error:
            problems.append(f"{os.path.basename(path)}: {error}")
        print(f"{os.path.basename(path)}: resources checked")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    imports = sub.add_parser("imports")
    imports.add_argument("--objdump", required=True)
    imports.add_argument("--allow", required=True)
    imports.add_argument("files", nargs="+")
    program = sub.add_parser("program")
    program.add_argument("--objdump", required=True)
    program.add_argument("--dlls", required=True, nargs="+")
    program.add_argument("--exe", required=True)
    resources = sub.add_parser("resources")
    resources.add_argument("--version", required=True)
    resources.add_argument("--exe", required=True)
    resources.add_argument("--dll", required=True)
    args = parser.parse_args()
    check = {"imports": check_imports, "program": check_program,
             "resources": check_resources}[args.command]
    problems = check(args)
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
