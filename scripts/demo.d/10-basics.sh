#!/usr/bin/env bash
# The basics: the help, a run with a missing switch, and the log it wrote.
# No -e: the help ends with exit code 1 on purpose.
set -uo pipefail
: "${VELTRUM_BIN:?VELTRUM_BIN must name the program}"
: "${DEMO_DIR:?DEMO_DIR must name a scratch folder}"

install="$DEMO_DIR/10-basics"
rm -rf "$install"
mkdir -p "$install"
cp "$VELTRUM_BIN" "$install/veltrum"
cd "$install"

. "$(dirname "$0")/lib.sh"

step "The program sits in $install; its log will be veltrum.log beside it."

step "1. Asking for the help: veltrum /?"
./veltrum /?
echo "(exit code $? - the help always ends with 1)"

step "2. A run without /a: veltrum /f /tmp/job.lck /t -60"
./veltrum /f /tmp/job.lck /t -60
echo "(exit code $? - a missing switch is reported, the run still ends with 0)"

step "3. The log both runs wrote (date, time, user, [LOG] or [ERR], text):"
cat veltrum.log

step "4. Two date switches: veltrum /f /tmp/job.lck /t -60 /a quillbox /z /m"
./veltrum /f /tmp/job.lck /t -60 /a quillbox /z /m > /dev/null
echo "exit code $?; its lines in the log, up to the date mode:"
awk '/---\[Start\]---/ { n++ } n == 3' veltrum.log | sed '/Dateidatum-Modus/q'
echo "(/m came last and wins; the earlier /z is reported as overridden)"
