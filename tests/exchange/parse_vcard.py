# Reads a vCard 3.0/4.0 file with python3-vobject and prints one JSON object
# per card, after checking the raw form: CR LF line ends, no physical line
# longer than 75 octets, every line valid UTF-8 (a fold never splits a
# character).
#   parse_vcard.py FILE
import json
import sys

import vobject

data = open(sys.argv[1], "rb").read()
assert b"\n" not in data.replace(b"\r\n", b""), "a line break without CR"
for line in data.split(b"\r\n"):
    assert len(line) <= 75, "a line of %d octets" % len(line)
    line.decode("utf-8")

cards = []
for card in vobject.readComponents(data.decode("utf-8")):
    out = {"version": card.version.value}
    for name in ("fn", "note", "uid", "kind", "x-kelvo-status", "x-kelvo-flag", "x-kelvo-depends-on"):
        if name in card.contents:
            out[name] = card.contents[name][0].value
    n = card.n.value
    out["n"] = [n.family, n.given]
    if "org" in card.contents:
        out["org"] = card.org.value
    if "adr" in card.contents:
        a = card.adr.value
        out["adr"] = [a.street, a.city, a.region, a.code, a.country]
    out["tel"] = {
        ",".join(sorted(t.lower() for t in tel.params.get("TYPE", []))): tel.value
        for tel in card.contents.get("tel", [])
    }
    out["email"] = [e.value for e in card.contents.get("email", [])]
    out["categories"] = card.categories.value if "categories" in card.contents else []
    cards.append(out)
print(json.dumps(cards, ensure_ascii=False, sort_keys=True))
