#!/usr/bin/env python3
"""Renders ktmotor.svg to the committed PNG sizes (ktmotor-N.png).

Run by hand after changing the SVG; the build only installs the PNGs, so it
needs no SVG renderer. Uses librsvg and cairo through ctypes (the libraries
of librsvg2-2 and libcairo2), so no Python module needs installing.
"""
import ctypes
import ctypes.util
import pathlib
import sys

SIZES = (16, 32, 48, 64, 128, 256)
HERE = pathlib.Path(__file__).resolve().parent


def load(name, fallback):
    found = ctypes.util.find_library(name) or fallback
    return ctypes.CDLL(found)


class RsvgRectangle(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double),
                ("width", ctypes.c_double), ("height", ctypes.c_double)]


def main():
    rsvg = load("rsvg-2", "librsvg-2.so.2")
    cairo = load("cairo", "libcairo.so.2")
    rsvg.rsvg_handle_new_from_file.restype = ctypes.c_void_p
    rsvg.rsvg_handle_new_from_file.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
    rsvg.rsvg_handle_render_document.argtypes = [
        ctypes.c_void_p, ctypes.c_void_p, ctypes.POINTER(RsvgRectangle), ctypes.c_void_p]
    cairo.cairo_image_surface_create.restype = ctypes.c_void_p
    cairo.cairo_create.restype = ctypes.c_void_p
    cairo.cairo_create.argtypes = [ctypes.c_void_p]
    cairo.cairo_surface_write_to_png.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    cairo.cairo_destroy.argtypes = [ctypes.c_void_p]
    cairo.cairo_surface_destroy.argtypes = [ctypes.c_void_p]

    svg = HERE / "ktmotor.svg"
    handle = rsvg.rsvg_handle_new_from_file(str(svg).encode(), None)
    if not handle:
        sys.exit(f"render: cannot read {svg}")
    for size in SIZES:
        surface = cairo.cairo_image_surface_create(0, size, size)  # ARGB32
        context = cairo.cairo_create(surface)
        viewport = RsvgRectangle(0, 0, size, size)
        if not rsvg.rsvg_handle_render_document(handle, context, ctypes.byref(viewport), None):
            sys.exit(f"render: cannot render {svg} at {size}")
        out = HERE / f"ktmotor-{size}.png"
        if cairo.cairo_surface_write_to_png(surface, str(out).encode()) != 0:
            sys.exit(f"render: cannot write {out}")
        cairo.cairo_destroy(context)
        cairo.cairo_surface_destroy(surface)
        print(out.name)


if __name__ == "__main__":
    main()
