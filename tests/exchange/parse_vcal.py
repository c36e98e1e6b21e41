# Reads a vCalendar 1.0 export back, checks its structure and the grammar of
# its repeat rules, and expands every event over a window on its own (no
# code shared with the program).
#   parse_vcal.py FILE FROM TO   (FROM and TO as YYYYMMDDTHHMMSS)
# prints per event: the decoded summary, DTSTART, the rule ("-" for none) and
# the occurrences FROM <= d <= TO joined by ",", separated by \x1f, each event
# ended by \x1e.
import datetime
import quopri
import re
import sys

STAMP = r"\d{8}T\d{6}"
DAYS = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]  # datetime.weekday() order
DAY = "(" + "|".join(DAYS) + ")"
END = "(#0|" + STAMP + ")"
RULES = {
    "D": re.compile(r"D([1-9]\d*) " + END + "$"),
    "W": re.compile(r"W1 " + DAY + " " + END + "$"),
    "MD": re.compile(r"MD1 " + END + "$"),
    "MP": re.compile(r"MP1 ([1-5])\+ " + DAY + " " + END + "$"),
    "YM": re.compile(r"YM1 " + END + "$"),
}


def stamp(text):
    assert re.fullmatch(STAMP, text), text  # floating local time: no "Z", no zone
    return datetime.datetime.strptime(text, "%Y%m%dT%H%M%S")


def lines(data):
    assert b"\n" not in data.replace(b"\r\n", b""), "a line break without CR"
    assert data.endswith(b"\r\n")
    out = []
    for line in data[:-2].split(b"\r\n"):
        if out and out[-1].endswith(b"=") and b"QUOTED-PRINTABLE" in out[-1].split(b":")[0]:
            out[-1] = out[-1][:-1] + line  # a soft line break
        else:
            out.append(line)
        if b"QUOTED-PRINTABLE" in out[-1].split(b":")[0]:
            assert len(line) <= 76, line  # encoded lines are folded
    return out


def summary(head, value):
    params = head.split(b";")[1:]
    assert b"ENCODING=QUOTED-PRINTABLE" in params, head
    raw = quopri.decodestring(value)
    high = any(b > 127 for b in raw)
    assert (b"CHARSET=UTF-8" in params) == high, head
    assert set(params) <= {b"ENCODING=QUOTED-PRINTABLE", b"CHARSET=UTF-8"}, head
    return raw.decode("utf-8").replace("\\;", ";")


def months_from(start):
    y, m = start.year, start.month
    while True:
        yield y, m
        m += 1
        if m == 13:
            y, m = y + 1, 1


def nth_weekday(y, m, n, wd):
    first = datetime.date(y, m, 1)
    day = 1 + (wd - first.weekday()) % 7 + 7 * (n - 1)
    try:
        return datetime.date(y, m, day)
    except ValueError:
        return None


def candidates(start, rule):
    """Occurrences of the rule from start on, ascending, without end."""
    t = start.time()
    if rule is None:
        yield start
        return
    kind, args = rule
    if kind == "D":
        d = start
        while True:
            yield d
            d += datetime.timedelta(days=args[0])
    elif kind == "W":
        assert DAYS[start.weekday()] == args[0], (start, args)
        d = start
        while True:
            yield d
            d += datetime.timedelta(days=7)
    elif kind == "MD":
        for y, m in months_from(start):
            try:
                yield datetime.datetime.combine(datetime.date(y, m, start.day), t)
            except ValueError:
                pass  # a month without that day has no occurrence
    elif kind == "MP":
        n, wd = args
        for y, m in months_from(start):
            day = nth_weekday(y, m, n, wd)
            if day is not None and datetime.datetime.combine(day, t) >= start:
                yield datetime.datetime.combine(day, t)
    elif kind == "YM":
        y = start.year
        while True:
            try:
                yield start.replace(year=y)
            except ValueError:
                pass
            y += 1


def parse_rule(text):
    for kind, pattern in RULES.items():
        m = pattern.match(text)
        if m:
            g = m.groups()
            end = None if g[-1] == "#0" else stamp(g[-1])
            if kind == "D":
                return (kind, [int(g[0])]), end
            if kind == "W":
                return (kind, [g[0]]), end
            if kind == "MP":
                return (kind, [int(g[0]), DAYS.index(g[1])]), end
            return (kind, []), end
    raise AssertionError("not a vCalendar 1.0 rule: " + text)


def occurrences(start, rule_text, first, last):
    rule, end = (None, None) if rule_text is None else parse_rule(rule_text)
    out = []
    for d in candidates(start, rule):
        if d > last or (end is not None and d > end):
            break
        if d >= first:
            out.append(d.strftime("%Y%m%dT%H%M%S"))
    return out


def events(path, first, last):
    with open(path, "rb") as f:
        ls = lines(f.read())
    assert ls[:3] == [b"BEGIN:VCALENDAR", b"PRODID:Kelvo generated", b"VERSION:1.0"], ls[:3]
    assert ls[-1] == b"END:VCALENDAR"
    body = ls[3:-1]
    while body:
        assert body[0] == b"BEGIN:VEVENT", body[0]
        end = body.index(b"END:VEVENT")
        props = [l.partition(b":") for l in body[1:end]]
        body = body[end + 1:]
        names = [h.split(b";")[0] for h, _, _ in props]
        assert names in ([b"DTSTART", b"DTEND", b"SUMMARY", b"PRIORITY"],
                         [b"DTSTART", b"DTEND", b"RRULE", b"SUMMARY", b"PRIORITY"]), names
        values = {h.split(b";")[0]: (h, v) for h, _, v in props}
        start = values[b"DTSTART"][1].decode()
        assert values[b"DTEND"][1].decode() == start
        assert values[b"PRIORITY"][1] == b"1"
        rule = values[b"RRULE"][1].decode() if b"RRULE" in values else None
        text = summary(*values[b"SUMMARY"])
        yield [text, start, rule or "-", ",".join(occurrences(stamp(start), rule, first, last))]


path, first, last = sys.argv[1], stamp(sys.argv[2]), stamp(sys.argv[3])
rows = list(events(path, first, last))
sys.stdout.buffer.write("".join("\x1f".join(r) + "\x1e" for r in rows).encode("utf-8"))
