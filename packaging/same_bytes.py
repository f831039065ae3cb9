#!/usr/bin/env python3
"""Writes packages again so that nothing in them depends on who built them, where CPack
cannot be told so: it makes folders with the builder's umask (CMake 3.25 creates them with
mkdir, which the umask narrows, whatever CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS says),
writes the members of a .deb with the modes of that umask, and gives the members of an
archive the builder's user and group. Everything else (contents, file modes, dates) is kept.
CPack writes each package's sum after this.

Usage: same_bytes.py PACKAGE ...   (a .deb, a .tar.gz or a .zip, rewritten in place)
"""

import gzip
import io
import sys
import tarfile
import zipfile


FOLDER_MODE = 0o755


def deb(data):
    """An ar archive of the control and data tar.gz: each member's owner, group and mode as
    dpkg-deb writes them, and the tar.gz members written again."""
    out, at = bytearray(data[:8]), 8
    while at < len(data):
        header, size = data[at : at + 60], int(data[at + 48 : at + 58])
        member = data[at + 60 : at + 60 + size]
        if header.startswith(b"control.tar.gz") or header.startswith(b"data.tar.gz"):
            member = tar_gz(member)
        out += header[:28] + b"0     0     100644  " + b"%-10d" % len(member) + header[58:]
        out += member + b"\n" * (len(member) % 2)
        at += 60 + size + size % 2
    return bytes(out)


def tar_gz(data):
    out = io.BytesIO()
    with tarfile.open(fileobj=io.BytesIO(data), mode="r:gz") as source, gzip.GzipFile(
        filename="", mode="wb", fileobj=out, mtime=0, compresslevel=9
    ) as packed, tarfile.open(fileobj=packed, mode="w", format=tarfile.GNU_FORMAT) as target:
        for member in source.getmembers():
            member.uid = member.gid = 0
            member.uname = member.gname = "root"
            if member.isdir():
                member.mode = FOLDER_MODE
            target.addfile(member, source.extractfile(member) if member.isfile() else None)
    return out.getvalue()


def zip_(data):
    """The owner that CPack writes in each member's extra field is left out, with the rest of
    it: the date is the member's own (in UTC, as CPack wrote it)."""
    out = io.BytesIO()
    with zipfile.ZipFile(io.BytesIO(data)) as source, zipfile.ZipFile(out, "w") as target:
        for member in source.infolist():
            kept = zipfile.ZipInfo(member.filename, member.date_time)
            kept.create_system, kept.external_attr = member.create_system, member.external_attr
            if member.is_dir():
                kept.external_attr = (0o40000 | FOLDER_MODE) << 16 | member.external_attr & 0xFFFF
            kept.compress_type = zipfile.ZIP_STORED if member.is_dir() else zipfile.ZIP_DEFLATED
            target.writestr(kept, source.read(member), compresslevel=9)
    return out.getvalue()


for path in sys.argv[1:]:
    rewrite = deb if path.endswith(".deb") else tar_gz if path.endswith(".tar.gz") else zip_
    with open(path, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(rewrite(data))
