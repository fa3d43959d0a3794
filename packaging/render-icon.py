#!/usr/bin/env python3
"""Renders moting-seo.svg to the 256x256 PNG beside it, with the librsvg and cairo that the
desktop already has (no rsvg-convert needed). Run after changing the SVG; the PNG is kept in git
so that the build needs neither."""
import ctypes
import ctypes.util
import pathlib
import sys


class Rect(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double),
                ("width", ctypes.c_double), ("height", ctypes.c_double)]


def main():
    here = pathlib.Path(__file__).resolve().parent
    svg, png, size = here / "moting-seo.svg", here / "moting-seo.png", 256
    rsvg = ctypes.CDLL(ctypes.util.find_library("rsvg-2") or "librsvg-2.so.2")
    cairo = ctypes.CDLL(ctypes.util.find_library("cairo") or "libcairo.so.2")
    rsvg.rsvg_handle_new_from_file.restype = ctypes.c_void_p
    cairo.cairo_image_surface_create.restype = ctypes.c_void_p
    cairo.cairo_create.restype = ctypes.c_void_p

    handle = rsvg.rsvg_handle_new_from_file(str(svg).encode(), None)
    if not handle:
        sys.exit(f"cannot read {svg}")
    surface = cairo.cairo_image_surface_create(0, size, size)  # CAIRO_FORMAT_ARGB32
    cr = cairo.cairo_create(ctypes.c_void_p(surface))
    if not rsvg.rsvg_handle_render_document(ctypes.c_void_p(handle), ctypes.c_void_p(cr),
                                            ctypes.byref(Rect(0, 0, size, size)), None):
        sys.exit(f"cannot render {svg}")
    if cairo.cairo_surface_write_to_png(ctypes.c_void_p(surface), str(png).encode()) != 0:
        sys.exit(f"cannot write {png}")
    print(png)


if __name__ == "__main__":
    main()
