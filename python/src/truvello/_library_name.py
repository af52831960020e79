"""The shared library's file name on each platform.

Without imports, so that setup.py can run it before the package exists.
"""


def library_file(platform: str) -> str:
    """The file the library is built as and loaded from, for a sys.platform value."""
    if platform == "win32":
        return "truvello.dll"
    if platform == "darwin":
        return "libtruvello.1.dylib"
    return "libtruvello.so.1"
