#!/usr/bin/env bash
# Runs every benchmark of the performance table in one go and prints the
# table: Kelvo beside SQLite doing the same work in the same run, at 10,000,
# 100,000 and 300,000 records (persons for the item operations; persons,
# schedule items and log entries in equal parts for the loads).
#
#   bench/run.sh [--quick] [--build DIR]
#
# --quick runs one size, 30,000 records, and of the LAN cases those of two
# copies and the five-copy cases. The benchmarks are built in DIR (.build/bench by
# default, a release build with -DKELVO_BENCH=ON) when they are missing.
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD=.build/bench
SIZES=(10000 100000 300000)
QUICK=0
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) QUICK=1; SIZES=(30000) ;;
    --build) BUILD="$2"; shift ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

BIN=$BUILD/bench
if [ ! -x "$BIN/load_bench" ] || [ ! -x "$BIN/items_bench" ] || [ ! -x "$BIN/lan_bench" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVO_BENCH=ON >/dev/null
  ninja -C "$BUILD" -j2 load_bench items_bench lan_bench
fi

OUT=$(mktemp -d /tmp/kelvo-run-XXXXXX)
trap 'rm -rf "$OUT"' EXIT
json() { echo "--benchmark_out=$OUT/$1.json --benchmark_out_format=json"; }
START=$(date +%s)

for N in "${SIZES[@]}"; do
  THIRD=$((N / 3))
  echo "== load, $N records" >&2
  # shellcheck disable=SC2046
  "$BIN/load_bench" --persons "$THIRD" --schedule "$THIRD" --log "$THIRD" $(json "load_$N") >"$OUT/load_$N.txt"
  echo "== item operations, $N persons" >&2
  # shellcheck disable=SC2046
  ITEMS_BENCH_ITER=${ITEMS_BENCH_ITER:-20} "$BIN/items_bench" --persons "$N" $(json "items_$N") >"$OUT/items_$N.txt"
done
echo "== LAN, two and five copies" >&2
LAN_FILTER=.
[ "$QUICK" = 1 ] && LAN_FILTER='ChangeVisible/2|LockRoundTrip/2|FiveCopies|Propagation'
# shellcheck disable=SC2046
"$BIN/lan_bench" --benchmark_filter="$LAN_FILTER" $(json lan) >"$OUT/lan.txt"
SECONDS_TAKEN=$(( $(date +%s) - START ))

CPU=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
/usr/bin/python3 - "$OUT" "$SECONDS_TAKEN" "$(nproc)" "$CPU" "${SIZES[@]}" <<'EOF'
import json, os, sys

out, taken, cores, cpu = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
sizes = [int(n) for n in sys.argv[5:]]

def cases(name):
    path = os.path.join(out, name + ".json")
    if not os.path.exists(path):
        return {}
    return {b["name"]: b for b in json.load(open(path))["benchmarks"] if "error_occurred" not in b}

def ms(b, counter="median_ms"):
    if b is None:
        return None
    if counter in b:
        return b[counter]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    return b["real_time"] * scale

def fmt(v):
    if v is None:
        return "—"
    return f"{v:.0f} ms" if v >= 100 else f"{v:.1f} ms" if v >= 1 else f"{v * 1000:.0f} µs"

def find(bs, *parts):
    for name, b in bs.items():
        if all(p in name for p in parts):
            return b
    return None

rows = []  # (work, beside it, {size: (kelvo, beside)}, goal)
load = {n: cases(f"load_{n}") for n in sizes}
items = {n: cases(f"items_{n}") for n in sizes}

def row(work, beside, fn, goal):
    cells = {}
    for n in sizes:
        cells[n] = fn(n)
    rows.append((work, beside, cells, goal))

def ratio_cell(kelvo, base, other=None):
    if kelvo is None:
        return "—"
    s = fmt(kelvo)
    if base:
        s += f" ({kelvo / base:.1f}× pread {fmt(base)}"
        if other:
            s += f"; SQLite {fmt(other)}"
        s += ")"
    return s

row("open, fresh process", "one pread of the file; SQLite selecting the same rows into the same items",
    lambda n: ratio_cell(ms(find(load[n], "fresh")), ms(find(load[n], "pread")), ms(find(load[n], "SQLite"))),
    "≤ 400 ms and ≤ 2.5× the pread")
row("open, warm (median of 5)", "the same",
    lambda n: ratio_cell(ms(find(load[n], "warm")), ms(find(load[n], "pread")), ms(find(load[n], "SQLite"))),
    "≤ 150 ms and ≤ 1.5× the pread")

def pair(n, kelvo, sqlite):
    k, s = ms(find(items[n], kelvo)), ms(find(items[n], sqlite))
    if k is None:
        return "—"
    return f"{fmt(k)} · SQLite {fmt(s)}" + (f" ({k / s:.1f}×)" if s else "")

for users, sync, label in (("single_user", "sqlite_sync_OFF", "single user; SQLite synchronous=OFF autocommit"),
                           ("two_users_on_line", "sqlite_sync_FULL", "two users on line (verified writes); SQLite synchronous=FULL")):
    for op, sq, goal in (("add_person_end", "insert_row", "≤ SQLite"),
                         ("add_person_middle", "insert_row", "≤ 15 ms"),
                         ("edit_person", "update_row", "—"),
                         ("delete_person_middle", "delete_row", "≤ 15 ms")):
        row(op.replace("_", " ") + f", {users.replace('_', ' ')}", label,
            lambda n, op=op, sq=sq, users=users, sync=sync: pair(n, f"{users}/{op}", f"{sync}/{sq}"), goal)

lan = cases("lan")
def lan_cell(b, key):
    if b is None:
        return "—"
    med, p99 = b.get(key + "median_us"), b.get(key + "p99_us")
    if med is None:
        return fmt(ms(b))
    return f"{fmt(med / 1000)} median, {fmt(p99 / 1000)} p99"

wal = {n: find(items[n], "sqlite_wal") for n in sizes}
single = [("a change visible in the other copy, 2 copies", lan_cell(find(lan, "ChangeVisible/2"), ""), "≤ 250 ms"),
          ("a change visible in all 4 other copies, 5 copies", lan_cell(find(lan, "ChangeVisible/5"), "all_"), "≤ 250 ms median"),
          ("lock request to grant, non-manager", lan_cell(find(lan, "LockRoundTrip/2"), ""), "≤ 1 ms")]
five = [b for name, b in lan.items() if "FiveCopies" in name or "Throughput" in name]
wal_rate = [f"{wal[n]['ops_per_s']:.0f}/s at {n:,}" for n in sizes if wal[n]]
five_cell = ", ".join(f"{b['name']}: {b['ops_per_s']:.0f}/s" if "ops_per_s" in b else f"{b['name']}: {fmt(ms(b))}"
                      for b in five) or "no five-copy case in lan_bench"

print(f"\nKelvo beside SQLite, one run of bench/run.sh{' --quick' if len(sizes) == 1 else ''} "
      f"({taken} s); {cores} cores, {cpu}\n")
print("| work | " + " | ".join(f"{n:,} records" for n in sizes) + " | goal |")
print("|---|" + "---|" * len(sizes) + "---|")
for work, beside, cells, goal in rows:
    print(f"| {work} | " + " | ".join(cells[n] for n in sizes) + f" | {goal} |")
def single_row(work, cell, goal):
    print(" | ".join([f"| {work}", cell] + [""] * (len(sizes) - 1) + [f"{goal} |"]))
for work, cell, goal in single:
    single_row(work, cell, goal)
single_row("5 copies each editing at once", f"{five_cell}; five SQLite processes in WAL mode, "
           f"synchronous=FULL: {', '.join(wal_rate) or '—'}", "≥ 50/s and ≥ half of SQLite's")
print("\nItem operations: Kelvo · SQLite; loads: Kelvo (its ratio to one pread of the file; SQLite).")
EOF
