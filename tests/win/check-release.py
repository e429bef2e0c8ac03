#!/usr/bin/env python3
"""Checks a release zip and its Plugins Admin entry as the plug-in list's
validator and Plugins Admin read them.

usage: check-release.py ZIP JSON ARCH BUILD_DATE   (ARCH: x64 or x86)
"""
import hashlib
import json
import os
import struct
import sys
import time
import zipfile

MACHINE = {"x64": 0x8664, "x86": 0x014C}
FIELDS = ["folder-name", "display-name", "version", "id", "repository", "description", "author", "homepage"]


def pe_machine(dll):
    header = struct.unpack_from("<I", dll, 0x3C)[0]
    assert dll[header:header + 4] == b"PE\0\0", "Halvex.dll is not a PE file"
    return struct.unpack_from("<H", dll, header + 4)[0]


def file_version(dll):
    # VS_FIXEDFILEINFO starts with its signature; FileVersionMS and
    # FileVersionLS follow the signature and the structure version.
    at = dll.find(struct.pack("<I", 0xFEEF04BD))
    assert at >= 0, "Halvex.dll has no version resource"
    ms, ls = struct.unpack_from("<II", dll, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def check(zip_path, json_path, arch, build_date):
    with zipfile.ZipFile(zip_path) as archive:
        entries = archive.infolist()
        names = [entry.filename for entry in entries]
        assert names == ["Halvex.dll", "Halvex.inf"], f"zip holds {names}"
        for entry in entries:
            assert entry.date_time == time.gmtime(build_date)[:6], f"{entry.filename} dated {entry.date_time}"
            assert entry.create_system == 3 and entry.external_attr >> 16 == 0o100644, \
                f"{entry.filename} mode {entry.external_attr >> 16:o}"
        dll = archive.read("Halvex.dll")
    assert pe_machine(dll) == MACHINE[arch], f"Halvex.dll is for machine {pe_machine(dll):#x}, not {arch}"

    with open(json_path, encoding="utf-8") as source:
        entry = json.load(source)
    assert list(entry) == FIELDS, f"fields {list(entry)}"
    assert entry["folder-name"] == "Halvex" and entry["display-name"] == "Brenvo Plus", entry
    assert entry["version"] == file_version(dll), f"version {entry['version']}, DLL {file_version(dll)}"
    with open(zip_path, "rb") as archive:
        assert entry["id"] == hashlib.sha256(archive.read()).hexdigest(), f"id {entry['id']} is not the zip's"
    assert entry["repository"].startswith("https://"), entry["repository"]
    assert entry["repository"].endswith("/" + os.path.basename(zip_path)), entry["repository"]
    assert all(entry[field] for field in ("description", "author", "homepage")), entry
    print(f"{zip_path}: {names}, {arch}, version {entry['version']}, id {entry['id']}")


if __name__ == "__main__":
    try:
        check(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]))
    except AssertionError as failure:
        sys.exit(f"check-release: {failure}")
