#!/usr/bin/python3
"""Writes a folder tree as a disc image: ISO 9660 with a UDF 2.60 bridge, the
way the tests give the command line a disc image without mounting anything.

usage: make_udf_image.py FOLDER IMAGE
"""
import os
import sys

import pycdlib


def main():
    folder, image = sys.argv[1], sys.argv[2]
    iso = pycdlib.PyCdlib()
    iso.new(interchange_level=4, udf='2.60', vol_ident='VANTREL_TEST')
    for root, dirs, files in os.walk(folder):
        rel = os.path.relpath(root, folder)
        inner = '' if rel == '.' else '/' + rel.replace(os.sep, '/')
        for d in sorted(dirs):
            path = inner + '/' + d
            iso.add_directory(path.upper(), udf_path=path)
        for f in sorted(files):
            path = inner + '/' + f
            iso.add_file(os.path.join(root, f), path.upper() + ';1', udf_path=path)
    iso.write(image)
    iso.close()


if __name__ == '__main__':
    main()
