#!/usr/bin/env python3
"""Makes loopsmith.html, one self-contained file: the page, its style, the
WebAssembly module (its .wasm file deflated, in base64: the page inflates it
with fflate, which it carries for zip files anyway) and the page's JavaScript
modules, each copied in less the import and export lines that only join
them, and less their comment lines and indentation, which the page does not
need (the sources keep them; no string of the page spans lines).

    python3 web/build_page.py MODULE.js OUT.html VERSION FFLATE.js
"""
import base64
import os
import re
import sys
import zlib

PAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "page")
# Every module of the page, app.js last: it starts the page, once every
# other module's names are defined (they share one script's scope).
MODULES = sorted(n for n in os.listdir(PAGE) if n.endswith(".js") and n != "app.js") + ["app.js"]


def read(name):
    with open(os.path.join(PAGE, name), encoding="utf-8") as f:
        return f.read()


def main():
    module_js, out, version, fflate_js = sys.argv[1:5]
    with open(module_js, encoding="utf-8") as f:
        core = f.read()
    with open(os.path.splitext(module_js)[0] + ".wasm", "rb") as f:
        packed = base64.b64encode(zlib.compress(f.read(), 9)).decode()
    core = "globalThis.loopsmithWasm = '%s';\n%s" % (packed, core)
    # The zip writer, as the npm registry gave it (MIT licence).
    with open(fflate_js, encoding="utf-8") as f:
        fflate = "// fflate, (c) 2023 Arjun Barrett, MIT licence\n" + f.read()
    script = []
    for name in MODULES:
        text = read(name)
        text = re.sub(r"^import .*? from '\./[a-z_]+\.js';\n", "", text, flags=re.M)
        text = re.sub(r"^export ", "", text, flags=re.M)
        # An import the line above did not take would stop the page, and a
        # string that spans lines would lose its indentation.
        assert not re.search(r"^(import|export) ", text, flags=re.M), name
        assert all(line.count("`") % 2 == 0 for line in text.split("\n")), name
        text = "\n".join(line.strip() for line in text.split("\n")
                          if line.strip() and not line.strip().startswith("//"))
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
