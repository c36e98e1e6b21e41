# Reads an export back and prints its records as fields separated by \x1f,
# each record ended by \x1e.
#   parse_export.py csv FILE     rows of a CSV file (the csv module)
#   parse_export.py vcard FILE   per vCard 2.1 card: last, first, FN, street,
#                                city, state, ZIP (street "-" without ADR),
#                                home, work, cell and fax phone, e-mail
import csv
import quopri
import re
import sys


def lines(data):
    assert b"\n" not in data.replace(b"\r\n", b""), "a line break without CR"
    out = []
    for line in data.split(b"\r\n"):
        # "=" ends an encoded line only as a soft break ("=" itself is =3D).
        if out and out[-1].endswith(b"=") and b"QUOTED-PRINTABLE" in out[-1].split(b":")[0]:
            out[-1] = out[-1][:-1] + line
        else:
            out.append(line)
    return out


def components(head, value):
    params = head.split(b";")
    if b"ENCODING=QUOTED-PRINTABLE" in params:
        value = quopri.decodestring(value)
    text = value.decode("utf-8" if b"CHARSET=UTF-8" in params else "ascii")
    return [c.replace("\\;", ";") for c in re.split(r"(?<!\\);", text)]


def cards(path):
    with open(path, "rb") as f:
        card = None
        for line in lines(f.read()):
            head, _, value = line.partition(b":")
            name = head.split(b";CHARSET")[0].split(b";ENCODING")[0].decode()
            if line == b"BEGIN:VCARD":
                card = {}
            elif line == b"END:VCARD":
                n, adr = card.pop("N"), card.pop("ADR", ["", "", "-", "", "", ""])
                assert adr[:2] == ["", ""] and len(adr) == 6 and len(n) == 2, (n, adr)
                yield n + card.pop("FN") + adr[2:] + [
                    card.pop(k, [""])[0] for k in ("TEL;HOME", "TEL;WORK", "TEL;CELL", "TEL;FAX", "EMAIL")]
                assert card == {"VERSION": ["2.1"]}, card
                card = None
            elif card is not None:
                assert name not in card, name
                card[name] = components(head, value)
            else:
                assert line == b"", line


mode, path = sys.argv[1], sys.argv[2]
if mode == "csv":
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f, strict=True))
else:
    rows = list(cards(path))
sys.stdout.buffer.write("".join("\x1f".join(r) + "\x1e" for r in rows).encode("utf-8"))
