#!/usr/bin/python3
"""Compiles the launcher's resource script into a tiny 32-bit Windows
executable with the mingw binutils, then reads the executable back with
pefile and checks the icon group, the version block and the application
manifest. With --exe it reads
a real build of the launcher instead, and also checks that it is a GUI
program of the given machine type (no console window).

Exit status: 0 all checks passed, 1 a check failed, 77 a tool is missing
(CTest reports the test as skipped).
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

SKIP = 77

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED_OS = {  # Windows 7, 8, 8.1, 10 and 11
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
# Qt sets the DPI awareness itself; the program needs no side-by-side DLL.
UNWANTED_MANIFEST_ELEMENTS = ("dpiAware", "dpiAwareness", "dependency")

SUBSYSTEM_WINDOWS_GUI = 2
# machine type, optional header magic, what it is called
MACHINES = {
    "i386": (0x14C, 0x10B, "32-bit x86 (PE32)"),
    "amd64": (0x8664, 0x20B, "x86-64 (PE32+)"),
}

ICON_SIZES = [256, 128, 96, 72, 64, 48, 32, 24, 16]
VERSION = "8.9.1.0"
PRODUCT = "OrvalinPDF\u8f6c\u6362\u5668"  # OrvalinPDF转换器
EXPECTED_STRINGS = {
    "FileDescription": PRODUCT,
    "FileVersion": VERSION,
    "OriginalFilename": "orvalinpdfLaunch.exe",
    "ProductName": PRODUCT,
    "ProductVersion": VERSION,
}
# Chosen by us, so only their presence and agreement are fixed.
COMPANY_KEYS = ("CompanyName", "LegalCopyright")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def skip(message):
    print("SKIPPED: " + message)
    sys.exit(SKIP)


def run(cmd):
    print("+ " + " ".join(cmd))
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.stdout:
        print(result.stdout.rstrip())
    if result.returncode != 0:
        print("FAIL: %s exited with %d" % (cmd[0], result.returncode))
        sys.exit(1)


def build(args):
    os.makedirs(args.work, exist_ok=True)
    entry_s = os.path.join(args.work, "entry.s")
    entry_o = os.path.join(args.work, "entry.o")
    res_o = os.path.join(args.work, "resources.o")
    exe = os.path.join(args.work, "orvalinpdfLaunch.exe")
    for stale in (entry_o, res_o, exe):
        if os.path.exists(stale):
            os.remove(stale)
    with open(entry_s, "w") as f:
        f.write("\t.text\n\t.globl _start\n_start:\n\txorl %eax, %eax\n\tret\n")
    run([args.windres, "--preprocessor=" + args.cpp, "--preprocessor-arg=-xc",
         "--preprocessor-arg=-DRC_INVOKED", "-O", "coff", "-i", args.rc, "-o", res_o])
    run([args.as_, "-o", entry_o, entry_s])
    run([args.ld, "-m", "i386pe", "--subsystem", "windows", "-e", "_start", "-o", exe, entry_o, res_o])
    return exe


def resource_dir(pe, type_id):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == type_id:
            return entry.directory
    return None


def data_of(pe, entry):
    """The bytes of the first language entry below a named/numbered resource."""
    lang = entry.directory.entries[0]
    return pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)


def check_resource_types(pe):
    types = sorted(e.id for e in pe.DIRECTORY_ENTRY_RESOURCE.entries)
    check(types == sorted([RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST]),
          "resource types are %s, expected only icons, the icon group, the version block and the manifest" % types)


def check_icon_group(pe):
    groups = resource_dir(pe, RT_GROUP_ICON)
    if not check(groups is not None, "no icon group"):
        return
    names = [str(e.name) if e.name is not None else e.id for e in groups.entries]
    if not check(names == ["IDI_ICON1"], "icon groups are %s, expected the one named IDI_ICON1" % names):
        return
    group = data_of(pe, groups.entries[0])
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    check(reserved == 0 and kind == 1, "icon group header is not an icon header (%d, %d)" % (reserved, kind))
    if not check(count == len(ICON_SIZES), "icon group holds %d images, expected %d" % (count, len(ICON_SIZES))):
        return

    icons = {e.id: e for e in resource_dir(pe, RT_ICON).entries}
    for index, size in enumerate(ICON_SIZES):
        (width, height, colors, _reserved, planes, bpp, length, icon_id) = struct.unpack_from(
            "<BBBBHHIH", group, 6 + 14 * index)
        where = "icon group entry %d" % (index + 1)
        stored = size % 256  # 256 is written as 0
        check((width, height) == (stored, stored), "%s is %dx%d, expected %d" % (where, width, height, size))
        check(colors == 0 and planes == 1 and bpp == 32,
              "%s: colours %d, planes %d, %d bits per pixel; expected 0, 1, 32" % (where, colors, planes, bpp))
        check(icon_id == index + 1, "%s has image id %d, expected %d" % (where, icon_id, index + 1))
        if not check(icon_id in icons, "%s names image %d, which is not there" % (where, icon_id)):
            continue
        data = data_of(pe, icons[icon_id])
        check(len(data) == length, "%s: group says %d bytes, image has %d" % (where, length, len(data)))
        if not check(not data.startswith(b"\x89PNG"), "%s (%d px) is stored as PNG" % (where, size)):
            continue
        check_bitmap(data, size, where)


def check_bitmap(data, size, where):
    (header, width, height, planes, bpp, compression) = struct.unpack_from("<IiiHHI", data, 0)
    if not check(header == 40, "%s: no BITMAPINFOHEADER (header size %d)" % (where, header)):
        return
    # Icon bitmaps are twice as high: colour rows, then the AND mask.
    check((width, height) == (size, 2 * size), "%s: bitmap is %dx%d, expected %dx%d" % (
        where, width, height, size, 2 * size))
    check(planes == 1 and bpp == 32 and compression == 0,
          "%s: planes %d, %d bpp, compression %d; expected 1, 32, 0 (BI_RGB)" % (where, planes, bpp, compression))
    if bpp != 32 or width != size:
        return
    pixels = data[40:40 + size * size * 4]
    if not check(len(pixels) == size * size * 4, "%s: pixel data cut short" % where):
        return

    def bgra(x, y):  # rows are stored bottom-up
        offset = ((size - 1 - y) * size + x) * 4
        return struct.unpack_from("<BBBB", pixels, offset)

    # The logo: a white rounded tile (transparent corners) with a blue P.
    check(bgra(0, 0)[3] == 0, "%s: the tile's corner is not transparent" % where)
    # Below the bowl of the P, right of its stem.
    beside = bgra(int(size * 0.72), int(size * 0.8))
    check(beside[3] == 255 and min(beside[:3]) >= 230,
          "%s: the tile is not white beside the letter (%s)" % (where, beside))
    blue = 0
    for y in range(size):
        for x in range(size):
            b, g, r, a = bgra(x, y)
            if a == 255 and b > 150 and b > r + 80:
                blue += 1
    check(blue >= size * size // 10, "%s: too little blue for the letter P (%d pixels)" % (where, blue))


def check_manifest(pe):
    manifests = resource_dir(pe, RT_MANIFEST)
    ids = [e.id for e in manifests.entries] if manifests else []
    if not check(ids == [CREATEPROCESS_MANIFEST_RESOURCE_ID],
                 "manifest resources are %s, expected exactly one, id 1" % ids):
        return
    languages = manifests.entries[0].directory.entries
    if not check(len(languages) == 1, "the manifest is there in %d languages, expected one" % len(languages)):
        return
    try:
        root = ElementTree.fromstring(data_of(pe, manifests.entries[0]))
    except ElementTree.ParseError as error:
        check(False, "the manifest is not well-formed XML (Windows would not start the program): %s" % error)
        return
    check(root.tag == ASM_V1 + "assembly", "the manifest's root is %s" % root.tag)
    levels = root.findall("%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel" % ((ASM_V3,) * 4))
    check([(e.get("level"), e.get("uiAccess")) for e in levels] == [("asInvoker", "false")],
          "requested execution levels are %s, expected asInvoker without uiAccess" % [e.attrib for e in levels])
    ids = [e.get("Id") for e in root.findall("%scompatibility/%sapplication/%ssupportedOS" % ((COMPATIBILITY,) * 3))]
    check(sorted(ids) == sorted(SUPPORTED_OS), "supportedOS entries are %s, expected %s" % (ids, sorted(SUPPORTED_OS)))
    unwanted = sorted({e.tag.split("}")[-1] for e in root.iter()} & set(UNWANTED_MANIFEST_ELEMENTS))
    check(not unwanted, "the manifest has %s" % unwanted)


def check_version(pe, raw_version):
    if not check(hasattr(pe, "VS_FIXEDFILEINFO"), "no version block"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    check(fixed.Signature == 0xFEEF04BD, "fixed part signature is 0x%x" % fixed.Signature)

    def version(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    got = version(fixed.FileVersionMS, fixed.FileVersionLS)
    check(got == VERSION, "file version is %s" % got)
    got = version(fixed.ProductVersionMS, fixed.ProductVersionLS)
    check(got == VERSION, "product version is %s" % got)
    for field, expected in (("FileFlagsMask", 0x3F), ("FileFlags", 0), ("FileOS", 4), ("FileType", 2),
                            ("FileSubtype", 0), ("FileDateMS", 0), ("FileDateLS", 0)):
        value = getattr(fixed, field)
        check(value == expected, "%s is 0x%x, expected 0x%x" % (field, value, expected))

    tables = {}
    translations = []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode()] = {k.decode("utf-8"): v.decode("utf-8")
                                                 for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                translations.extend(var.entry.items())
    if check(list(tables) == ["000404b0"], "string tables are %s, expected only 000404b0" % list(tables)):
        strings = tables["000404b0"]
        expected_keys = sorted(list(EXPECTED_STRINGS) + list(COMPANY_KEYS))
        check(sorted(strings) == expected_keys, "strings are %s, expected %s" % (sorted(strings), expected_keys))
        for key, value in EXPECTED_STRINGS.items():
            check(strings.get(key) == value, "%s is %r, expected %r" % (key, strings.get(key), value))
        company = strings.get("CompanyName", "")
        check(company.strip() != "", "CompanyName is empty")
        check(strings.get("LegalCopyright") == company,
              "LegalCopyright %r differs from CompanyName %r" % (strings.get("LegalCopyright"), company))
    check(translations == [(b"Translation", "0x0004 0x04b0")],
          "translation entries are %s, expected language 0x0004 with code page 1200" % translations)

    # The Chinese text as Windows reads it: UTF-16LE, NUL-terminated, right
    # behind its key. A script read with the wrong code page would differ.
    for key in ("FileDescription", "ProductName"):
        needle = (key + "\0").encode("utf-16-le")
        at = raw_version.find(needle)
        if not check(at >= 0, "%s key not found in the version block" % key):
            continue
        value_at = at + len(needle)
        value_at += (4 - value_at % 4) % 4  # values are DWORD-aligned
        expected = (PRODUCT + "\0").encode("utf-16-le")
        got = raw_version[value_at:value_at + len(expected)]
        check(got == expected, "%s is stored as %r, expected %r" % (key, got, expected))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--windres", default="")
    parser.add_argument("--as", dest="as_", default="")
    parser.add_argument("--ld", default="")
    parser.add_argument("--cpp", default="")
    parser.add_argument("--rc")
    parser.add_argument("--work")
    parser.add_argument("--exe", help="check this executable instead of building one from --rc")
    parser.add_argument("--machine", choices=sorted(MACHINES), default="i386")
    args = parser.parse_args()

    if not args.exe:
        if not args.rc or not args.work:
            parser.error("--rc and --work are needed without --exe")
        for name in ("windres", "as_", "ld", "cpp"):
            tool = getattr(args, name)
            if not tool or shutil.which(tool) is None:
                skip("%s not available (%r)" % (name.rstrip("_"), tool))
    try:
        import pefile
    except ImportError:
        skip("python3-pefile is not installed")

    exe = args.exe or build(args)
    print("reading " + exe)
    pe = pefile.PE(exe)
    machine, magic, kind = MACHINES[args.machine]
    check(pe.FILE_HEADER.Machine == machine, "not built for %s (machine 0x%x)" % (kind, pe.FILE_HEADER.Machine))
    check(pe.OPTIONAL_HEADER.Magic == magic, "optional header magic is 0x%x, expected 0x%x" % (
        pe.OPTIONAL_HEADER.Magic, magic))
    if args.exe:
        check(pe.OPTIONAL_HEADER.Subsystem == SUBSYSTEM_WINDOWS_GUI,
              "subsystem %d, expected the GUI subsystem (2): a console window would open" % pe.OPTIONAL_HEADER.Subsystem)
    if not check(hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"), "the executable has no resources"):
        return report()
    check_resource_types(pe)
    check_icon_group(pe)
    versions = resource_dir(pe, RT_VERSION)
    if check(versions is not None and len(versions.entries) == 1, "expected exactly one version block"):
        check_version(pe, data_of(pe, versions.entries[0]))
    check_manifest(pe)
    return report()


def report():
    for failure in failures:
        print("FAIL: " + failure)
    if failures:
        return 1
    print("PASS: icon group, version block and manifest as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
