#!/usr/bin/env python3
"""Makes a release zip and its Plugins Admin entry, reproducibly.

The zip holds the given files at its root, in name order, each dated at the
configured build date with fixed permissions, so that two builds of the same
commit give the same bytes. The entry beside it (a JSON object in the format
of Notepad++'s plug-in list) names the zip by its SHA-256.
"""
import argparse
import hashlib
import json
import os
import time
import zipfile


def write_zip(path, files, date):
    # Zip dates are local times without a zone and start in 1980; the UTC
    # calendar time of the build date is used as it is.
    date_time = max(time.gmtime(date)[:6], (1980, 1, 1, 0, 0, 0))
    temporary = path + ".tmp"
    with zipfile.ZipFile(temporary, "w") as archive:
        for file in sorted(files, key=os.path.basename):
            entry = zipfile.ZipInfo(os.path.basename(file), date_time)
            entry.create_system = 3  # Unix, so that the mode below is read
            entry.external_attr = 0o100644 << 16  # a regular file, rw-r--r--
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(file, "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(temporary, path)


def plugins_admin_entry(args, zip_bytes):
    zip_name = os.path.basename(args.zip)
    return {
        "folder-name": "Halvex",
        "display-name": "Brenvo Plus",
        "version": args.version,
        "id": hashlib.sha256(zip_bytes).hexdigest(),
        "repository": args.repository.replace("{version}", args.version).replace("{zip}", zip_name),
        "description": "Formats programs of a line-oriented BASIC dialect (Format, Alt+F11) "
        "and hands them to the Brenvo IDE for a variable report (Variable Report, Alt+F10).",
        "author": args.author,
        "homepage": args.homepage,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--zip", required=True)
    parser.add_argument("--json", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--date", required=True, type=int, help="seconds since 1970-01-01 UTC")
    parser.add_argument("--repository", required=True, help="zip URL; {version} and {zip} are filled in")
    parser.add_argument("--homepage", required=True)
    parser.add_argument("--author", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    write_zip(args.zip, args.files, args.date)
    with open(args.zip, "rb") as archive:
        entry = plugins_admin_entry(args, archive.read())
    with open(args.json, "w", encoding="utf-8", newline="\n") as out:
        json.dump(entry, out, indent=4, ensure_ascii=False)
        out.write("\n")


if __name__ == "__main__":
    main()
