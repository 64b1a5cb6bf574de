#!/usr/bin/env python3
"""Makes loopsmith.html, one self-contained file: the page, its style, the
WebAssembly module (embedded by emscripten) and the page's JavaScript
modules, each copied in as it is, less the import and export lines that only
join them.

    python3 web/build_page.py MODULE.js OUT.html VERSION FFLATE.js
"""
import os
import re
import sys

PAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "page")
# Each after the modules it uses.
MODULES = ["module.js", "jobs.js", "waveform.js", "player.js", "zip.js", "save.js", "folder.js",
           "card.js", "restore.js", "adapt.js", "loader.js", "panel.js", "app.js"]


def read(name):
    with open(os.path.join(PAGE, name), encoding="utf-8") as f:
        return f.read()


def main():
    module_js, out, version, fflate_js = sys.argv[1:5]
    with open(module_js, encoding="utf-8") as f:
        core = f.read()
    # The zip writer, as the npm registry gave it (MIT licence).
    with open(fflate_js, encoding="utf-8") as f:
        fflate = "// fflate, (c) 2023 Arjun Barrett, MIT licence\n" + f.read()
    script = []
    for name in MODULES:
        text = read(name)
        text = re.sub(r"^import .*? from '\./[a-z]+\.js';\n", "", text, flags=re.M)
        text = re.sub(r"^export ", "", text, flags=re.M)
        script.append("// " + name + "\n" + text)
    html = read("loopsmith.html")
    # Inside a script element only "</script" could end it early.
    for part in [core, fflate] + script:
        assert "</script" not in part.lower()
    html = html.replace("/*STYLE*/", read("style.css").strip())
    html = html.replace("@VERSION@", version)
    html = html.replace("/*FFLATE*/", fflate.strip())
    html = html.replace("/*MODULE*/", core.strip())
    html = html.replace("/*SCRIPT*/", "\n".join(script).strip())
    with open(out, "w", encoding="utf-8") as f:
        f.write(html)
    print("wrote %s (%d bytes)" % (out, os.path.getsize(out)))


if __name__ == "__main__":
    main()
