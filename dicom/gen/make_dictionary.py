#!/usr/bin/env python3
"""Writes dicom/DicomDictionaryTables.cpp, the element tables of the DICOM data dictionary.

Source: DCMTK's data dictionary file dicom.dic, as Debian ships it in the package libdcmtk17
(/usr/share/libdcmtk17/dicom.dic); it is a machine-readable copy of the standard's data
dictionary. Run once by hand when the tables need refreshing:

    python3 dicom/gen/make_dictionary.py [/usr/share/libdcmtk17/dicom.dic] > dicom/DicomDictionaryTables.cpp
"""
import re
import sys

# VR codes of DicomDictionary.h.
VR_CODES = {
    "AE": 1, "AS": 2, "AT": 3, "CS": 4, "DA": 5, "DS": 6, "DT": 7, "FL": 8, "FD": 9, "IS": 10,
    "LO": 11, "LT": 12, "OB": 13, "OF": 14, "OW": 16, "PN": 17, "SH": 18, "SL": 19, "SQ": 20,
    "SS": 21, "ST": 22, "TM": 23, "UI": 24, "UL": 25, "UN": 26, "US": 27, "UT": 28,
}
VR_PIXEL, VR_NOT_GIVEN, VR_EITHER, VR_ITEM = 15, 29, 30, 31
# Newer VRs and the source's pseudo-VRs, mapped to the closest code the table knows: long
# texts to UT, long binary words to OW/OF/UN, choices of two VRs to "either".
VR_MAPPED = {
    "UC": VR_CODES["UT"], "UR": VR_CODES["UT"], "OD": VR_CODES["OF"], "OL": VR_CODES["OW"],
    "OV": VR_CODES["UN"], "SV": VR_CODES["UN"], "UV": VR_CODES["UN"],
    "xs": VR_EITHER, "ox": VR_EITHER, "lt": VR_EITHER, "up": VR_CODES["UL"],
    "px": VR_PIXEL, "na": VR_ITEM,
}

# Group index, in order: group, name, element-name prefix (None = no prefix), group length row.
INDEXED = [
    (0x0000, "Command", "CMD", True),
    (0x0002, "File Meta", "META", True),
    (0x0004, "Basic Directory Information", "DIR", False),
    (0x0008, "Identifying", "ID", True),
    (0x0010, "Patient Information", "PAT", True),
    (0x0018, "Acquisition", "ACQ", True),
    (0x0020, "Relationship", "REL", True),
    (0x0028, "Image", "IMG", True),
    (0x0032, "Study", "SDY", True),
    (0x0038, "Visit", "VIS", True),
    (0x003A, "Waveform", "WAV", True),
    (0x0040, "Procedure Step", "PRC", True),
    (0x0050, "Device", "DEV", False),
    (0x0054, "NM Image", "NMI", True),
    (0x0070, "Graphics", None, True),
    (0x0088, "Media", "MED", True),
    (0x2000, "Basic Film Session", "BFS", True),
    (0x2010, "Basic Film Box", "BFB", True),
    (0x2020, "Basic Image Box", "BIB", True),
    (0x2030, "Basic Annotation Box", "BAB", True),
    (0x2040, "Basic Image Overlay Box", "IOB", True),
    (0x2050, "Presentation", None, False),
    (0x2100, "Print Job", "PJ", True),
    (0x2110, "Printer", "PRINTER", True),
    (0x3002, "RT", "RT", True),
    (0x3004, "Dose Volume Histogram", "DVH", True),
    (0x3006, "Structure Set", "SSET", True),
    (0x300A, "RT PLANNING 2", "     ", True),
    (0x300C, "RT PLANNING 3", "     ", True),
    (0x300E, "RT PLANNING 4", "     ", True),
    (0x4008, "Results", "RES", True),
    (0x5000, "Curve", "CRV", True),
    (0x6000, "Overlay", "OLY", True),
    (0x6002, "Overlay", "OLY", True),
    (0x6004, "Overlay", "OLY", True),
    (0x6006, "Overlay", "OLY", True),
    (0x7FE0, "Pixel", "PXL", True),
]
# Tables that are built but not reachable through the index.
UNINDEXED = [
    (0x0100, "AUTHO"), (0x0400, "SIG"), (0x4FFE, "SIG2"), (0xFFFA, "SIG3"), (0xFFFC, None),
    (0xFFFE, "DELIMITER"),
]
FIXED_NAMES = {0xFFFCFFFC: "Pad item"}

LINE = re.compile(r"^\(([0-9A-Fa-f]{4})(?:-([ou]-)?([0-9A-Fa-f]{4}))?,([0-9A-Fa-f]{4})\)\s+(\S+)\s+(\S+)\s+\S+\s+(\S+)")


def words(keyword):
    retired = keyword.startswith("RETIRED_")
    if retired:
        keyword = keyword[len("RETIRED_"):]
    text = re.sub(r"(?<=[a-z0-9])(?=[A-Z])|(?<=[A-Z])(?=[A-Z][a-z])|(?<=[A-Za-z])(?=[0-9])", " ", keyword)
    return text + (" (RET)" if retired else "")


def read_source(path):
    entries = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            m = LINE.match(line)
            if not m:
                continue
            g_lo, parity, g_hi, elem, vr, keyword, version = m.groups()
            if version not in ("DICOM", "DICOM/retired"):
                continue
            lo = int(g_lo, 16)
            hi = int(g_hi, 16) if g_hi else lo
            step = 1 if parity == "u-" else 2
            e = int(elem, 16)
            for g in range(lo, hi + 1, step if lo != hi else 1):
                key = (g << 16) | e
                if key not in entries:
                    entries[key] = (vr, keyword)
    return entries


def vr_code(vr):
    if vr in VR_CODES:
        return VR_CODES[vr]
    if vr in VR_MAPPED:
        return VR_MAPPED[vr]
    return VR_NOT_GIVEN


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def element_name(prefix, text):
    if prefix is None:
        return text
    if prefix.strip() == "":
        return prefix + text
    return prefix + " " + text


def table_rows(entries, group, prefix, group_length):
    rows = []
    if group_length:
        rows.append(((group << 16), VR_CODES["UL"], element_name(prefix, "Group Length")))
    for key in sorted(k for k in entries if k >> 16 == group):
        if key & 0xFFFF == 0 and group_length:
            continue
        vr, keyword = entries[key]
        name = FIXED_NAMES.get(key) or element_name(prefix, words(keyword))
        rows.append((key, vr_code(vr), name))
    return rows


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/libdcmtk17/dicom.dic"
    entries = read_source(source)
    out = []
    w = out.append
    w("// Element tables of the DICOM data dictionary.")
    w("// Generated by dicom/gen/make_dictionary.py from DCMTK's dicom.dic (Debian package")
    w("// libdcmtk17, /usr/share/libdcmtk17/dicom.dic), a machine-readable copy of the standard's")
    w("// data dictionary. Do not edit by hand; run the script again instead.")
    w('#include "dicom/DicomDictionary.h"')
    w("")
    w("namespace {")
    w("")
    tables = [(g, p, gl) for g, _, p, gl in INDEXED] + [(g, p, False) for g, p in UNINDEXED]
    for group, prefix, group_length in tables:
        rows = table_rows(entries, group, prefix, group_length)
        w(f"const DicomDictionaryEntry Group{group:04X}[] = {{")
        for key, code, name in rows:
            w(f"    {{0x{key:08X}, {code}, {c_string(name)}}},")
        w('    {0, 0, ""},')
        w("};")
        w("")
    w("}  // namespace")
    w("")
    w("const DicomDictionaryGroup DicomGroupTable[] = {")
    for group, name, _, _ in INDEXED:
        w(f"    {{0x{group:04X}, {c_string(name)}, Group{group:04X}}},")
    w('    {0xFFFF, "", nullptr},')
    w("};")
    w("")
    w("// Tables outside the index: built with the rest, never reached by a lookup.")
    w("const DicomDictionaryEntry* const DicomUnindexedTables[] = {")
    for group, _ in UNINDEXED:
        w(f"    Group{group:04X},")
    w("    nullptr,")
    w("};")
    print("\n".join(out))


if __name__ == "__main__":
    main()
