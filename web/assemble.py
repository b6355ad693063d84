"""Puts the web page together: web/page.html with its style, its scripts and
lz16pack's WebAssembly module (a JavaScript file with the WebAssembly inside)
in place of the markers, into one file that needs nothing else.

    python3 web/assemble.py MODULE.js WEB_DIR OUT.html
"""
import sys
from pathlib import Path


def main() -> None:
    module, web, out = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    page = (web / "page.html").read_text()
    # The worker's source: the module, then the worker's own script; the page makes a Worker of it from a Blob.
    worker = module.read_text() + "\n" + (web / "worker.js").read_text()
    parts = {
        "/*STYLE*/": (web / "page.css").read_text(),
        "/*WORKER*/": worker.replace("</script", "<\\/script"),
        "/*PAGE*/": (web / "page.js").read_text(),
    }
    for marker, text in parts.items():
        if page.count(marker) != 1:
            sys.exit(f"assemble: {marker} is not in page.html once")
        page = page.replace(marker, text)
    out.write_text(page)


if __name__ == "__main__":
    main()
