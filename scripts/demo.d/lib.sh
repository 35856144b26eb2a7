# Helpers the demo parts share; a part sources this file after its checks.

# A heading for the next thing the part shows.
step() { printf '\n--- %s\n' "$*"; }

# The program's files without the CRs of their CR LF line ends.
show() { tr -d '\r'; }

# Waits up to 10 s for the file $1 to appear with content (a port or an
# address a helper server writes once it listens).
wait_for() {
  for _ in $(seq 200); do
    [ -s "$1" ] && return 0
    sleep 0.05
  done
  echo "demo: $1 did not appear" >&2
  exit 1
}

# Every message the SMTP sink in folder $1 received, with its envelope;
# only the first $2 lines of each when given.
show_received() {
  local message
  for message in "$1"/*.eml; do
    echo "== $(basename "$message") (envelope: $(cat "${message%.eml}.json"))"
    show <"$message" | head -n "${2:-1000000}"
  done
}

# Ends the demo when one of the texts after the log $1 stands in that log.
refuse_in_log() {
  local log=$1
  shift
  local text
  for text in "$@"; do
    if grep -q -a -F -e "$text" "$log"; then
      echo "SECRET IN THE LOG"
      exit 1
    fi
  done
}
