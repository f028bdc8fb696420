#!/usr/bin/env bash
# Kill soak of the run history: a task list runs a program that exits with a
# random status, 1,000 runs in all, four at a time, while the scheduler is
# killed (SIGKILL) at random moments and started again. Afterwards the
# database must be intact, every run the programs report must be recorded
# exactly once, with its own exit status or, for a run the kill cut off, as
# "unknown", and the last scheduler, which lets its runs end, must leave no
# zombie. With LOCK=1 another program also holds the database now and then,
# so that records wait in memory (and on disk, in their output files) when a
# kill comes. Prints one summary line. Not part of the test suite.
#   [LOCK=1] scripts/soak-history.sh [runs]      default 1000
set -euo pipefail
cd "$(dirname "$0")/.."

RUNS=${1:-1000}
scripts/setup-deps.sh
LAUNCHER=()
if command -v ccache >/dev/null; then
    LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -DQMTS_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LAUNCHER[@]}" >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target history_runner >/dev/null
RUNNER=$PWD/build/tests/settings/history_runner

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=$work/history
mkdir -p "$folder"
cat > "$work/job.sh" <<JOB
#!/bin/sh
status=\$(( \$(od -An -N1 -tu1 /dev/urandom) % 5 ))
line="run \$\$-\$(date +%s%N) status \$status"
echo "\$line" >> "$work/ledger"
echo "\$line"
exit \$status
JOB
chmod +x "$work/job.sh"

started=$(date +%s)
kills=0
locker=
if [ "${LOCK:-0}" = 1 ]; then
    python3 - "$folder/qmtaskscheduler2-history.sqlite" <<'PY' &
import random, sqlite3, sys, time
while True:
    try:
        db = sqlite3.connect(sys.argv[1], timeout=0, isolation_level=None)
        db.execute('BEGIN EXCLUSIVE')
        time.sleep(random.uniform(0.1, 0.8))
        db.close()
    except sqlite3.Error:
        pass
    time.sleep(random.uniform(0.1, 0.8))
PY
    locker=$!
fi
while :; do
    "$RUNNER" "$folder" "$work/job.sh" "$RUNS" > "$work/last.out" 2>&1 &
    pid=$!
    # A random moment within about half a second.
    sleep "0.$(printf '%03d' $((RANDOM % 500)))"
    if kill -0 "$pid" 2>/dev/null && [ $kills -lt 200 ]; then
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        kills=$((kills + 1))
        continue
    fi
    wait "$pid"
    break
done
if [ -n "$locker" ]; then kill "$locker"; wait "$locker" 2>/dev/null || true; fi
# Programs cut off from their scheduler may still be finishing.
sleep 1

"$RUNNER" "$folder" check > "$work/check.out"
intact=$(sed -n 's/^intact //p' "$work/check.out")
unreaped=$(sed -n 's/^unreaped //p' "$work/last.out")
python3 - "$work/ledger" "$work/check.out" "$RUNS" "$kills" "$intact" "$unreaped" \
    "$(($(date +%s) - started))" <<'PY'
import re, sys
ledger, check, runs, kills, intact, unreaped, seconds = sys.argv[1:]
reported = [l.strip() for l in open(ledger) if l.strip()]
records = open(check).read().split('\n')[1:]
text = '\n'.join(records)
exact = unknown = twice = missing = wrong = 0
for line in reported:
    status = line.rsplit(' ', 1)[1]
    found = [m for m in re.finditer(r'(exit status \d+|unknown|[^|\n]*)\|' + re.escape(line), text)]
    if len(found) == 0:
        missing += 1
    elif len(found) > 1:
        twice += 1
    elif found[0].group(1) == 'unknown':
        unknown += 1
    elif found[0].group(1) == 'exit status ' + status:
        exact += 1
    else:
        wrong += 1
# A run cut off before its program wrote its output (it started late, or the
# broken pipe ended it) is recorded as unknown without output: it cannot be
# told apart, only counted.
silent = sum(1 for r in records if r.startswith('unknown|') and not r.startswith('unknown|run '))
print(f"soak-history: {len(reported)} runs reported, {kills} kills; database intact: "
      f"{'yes' if intact == '1' else 'NO'}; recorded with their status {exact}, as unknown "
      f"{unknown} (and {silent} unknown before any output), twice {twice}, wrong {wrong}, "
      f"not found {missing}, so lost {max(0, missing - silent)}; unreaped children of the last "
      f"scheduler: {unreaped}; {seconds} s")
sys.exit(0 if intact == '1' and twice == 0 and wrong == 0 and missing <= silent and unreaped == '0' else 1)
PY
