# Reads an iCalendar file with python3-icalendar and expands every rule with
# python3-dateutil over a window (no code shared with the program).
#   read_ics.py FILE FROM TO   (FROM and TO as YYYYMMDDTHHMMSS, local wall time)
# prints per component: kind, UID, SUMMARY, DESCRIPTION, CATEGORIES, DTSTART
# (wall time), RRULE, alarm hours before ("-" for none) and the occurrences
# FROM <= d <= TO as wall times joined by ",", separated by \x1f, each ended
# by \x1e. A rule's UTC UNTIL is turned into the start's wall time first, so
# the expansion runs on wall times as the program's does.
import datetime
import sys

import pytz
from dateutil.rrule import rrulestr
from icalendar import Calendar

STAMP = "%Y%m%dT%H%M%S"


def wall(dt, zone):
    if zone and dt.tzinfo:
        dt = dt.astimezone(zone)
    return dt.replace(tzinfo=None)


cal = Calendar.from_ical(open(sys.argv[1], "rb").read())
lo, hi = (datetime.datetime.strptime(a, STAMP) for a in sys.argv[2:4])
out = []
for c in cal.walk():
    if c.name not in ("VEVENT", "VTODO"):
        continue
    cats = c.get("CATEGORIES")
    cats = [] if cats is None else cats.cats
    f = [c.name, str(c.get("UID", "")), str(c.get("SUMMARY", "")), str(c.get("DESCRIPTION", "")), ",".join(cats)]
    start = c.decoded("DTSTART") if "DTSTART" in c else None
    zone = pytz.timezone(start.tzinfo.zone) if start is not None and getattr(start.tzinfo, "zone", None) else None
    f.append(wall(start, zone).strftime(STAMP) if start is not None else "-")
    rule = c["RRULE"].to_ical().decode() if "RRULE" in c else ""
    f.append(rule or "-")
    alarms = [s for s in c.subcomponents if s.name == "VALARM"]
    f.append(str(int(-alarms[0].decoded("TRIGGER").total_seconds() // 3600)) if alarms else "-")
    dates = []
    if start is not None:
        if rule:
            parts = []
            for p in rule.split(";"):
                if p.startswith("UNTIL=") and p.endswith("Z"):
                    until = pytz.utc.localize(datetime.datetime.strptime(p[6:-1], STAMP))
                    p = "UNTIL=" + wall(until, zone).strftime(STAMP)
                parts.append(p)
            dates = rrulestr(";".join(parts), dtstart=wall(start, zone)).between(lo, hi, inc=True)
        elif lo <= wall(start, zone) <= hi:
            dates = [wall(start, zone)]
    f.append(",".join(d.strftime(STAMP) for d in dates))
    out.append("\x1f".join(f) + "\x1e")
sys.stdout.write("".join(out))
