#!/usr/bin/env bash
# A mixed line on one pool: two Windows stations (srom-cli.exe under wine)
# and a Linux one (the Linux build's srom-cli) program units at once, each
# from its own station folder, all taking their MAC addresses from the same
# line pool on the same server. Not one address may reach two units, and
# the server's record must be exactly what the stations logged.
#
# SROM_LINUX_CLI names the Linux srom-cli; without one the test is skipped
# (exit 77).
if [[ -z ${SROM_LINUX_CLI:-} ]]; then
  echo "no Linux srom-cli given (SROM_LINUX_CLI): skipped"
  exit 77
fi
# shellcheck source=line_station.sh
source "$(dirname "$0")/line_station.sh"
[[ -x $SROM_LINUX_CLI ]] || fail "SROM_LINUX_CLI=$SROM_LINUX_CLI is no program"

linux_cli() {
  timeout 120 "$SROM_LINUX_CLI" "$@" </dev/null
}

units=20
first=00A0C9000100
last=00A0C90001FF
ledger=$(new_ledger "mixed_line_$$")
stations=(W1 W2 L1)
declare -A cli_of=([W1]=win_cli [W2]=win_cli [L1]=linux_cli)
for name in "${stations[@]}"; do
  make_station "$work/$name" "$ledger" "$name" line1 "${cli_of[$name]}"
done
out=$(win_cli --dir "$work/W1" pool create line1 --first "$first" --last "$last" 2>&1) ||
  fail "pool create: $out"

# One unit after another on every station, all three at once; each run's
# exit code kept, and what it said when it failed.
program_units() {
  local name=$1 i code
  for ((i = 1; i <= units; i++)); do
    code=0
    "${cli_of[$name]}" --dir "$work/$name" -y program >"$work/$name.err" 2>&1 ||
      code=$?
    [[ $code -eq 0 ]] || { echo "run $i: exit $code"; cat "$work/$name.err"; } >>"$work/$name.failed"
  done
}
began=$SECONDS
for name in "${stations[@]}"; do program_units "$name" & done
wait
took=$((SECONDS - began))
for name in "${stations[@]}"; do
  [[ ! -f $work/$name.failed ]] || fail "station $name: $(cat "$work/$name.failed")"
done

# Every station logged its units; no address twice across the line.
for name in "${stations[@]}"; do
  logged_macs "$work/$name" | sed "s/^/$name /"
done | sort >"$work/logged"
for name in "${stations[@]}"; do
  count=$(grep -c "^$name " "$work/logged" || true)
  [[ $count -eq $units ]] || fail "station $name logged $count units, not $units"
done
twice=$(cut -d' ' -f2 "$work/logged" | sort | uniq -d)
[[ -z $twice ]] || fail "logged twice: $twice"

# The server, read by the Linux side: each address held by one unit only,
# every one from the pool, and its programmed units exactly those logged,
# by the stations that logged them.
server_units "$ledger" linux_cli >"$work/server"
twice=$(awk '$3 != "released" { print $2 }' "$work/server" | sort | uniq -d)
[[ -z $twice ]] || fail "held twice on the server: $twice"
outside=$(awk -v first="$first" -v last="$last" \
  '$4 != "line1" || $2 < first || $2 > last' "$work/server")
[[ -z $outside ]] || fail "units outside the pool: $outside"
awk '$3 == "programmed" { print $1, $2 }' "$work/server" | sort >"$work/programmed"
diff -u "$work/logged" "$work/programmed" >&2 ||
  fail "the server's programmed units differ from the logs (- logged, + server)"

# The stations took the pool's addresses in turns, not one after another:
# their runs did overlap.
switches=$(sort -k2 "$work/server" | awk '$1 != last { n++; last = $1 } END { print n - 1 }')
[[ $switches -gt 2 ]] || fail "the stations' units came one station after another"

# And each station's own check of the server against its log agrees.
for name in "${stations[@]}"; do
  out=$("${cli_of[$name]}" --dir "$work/$name" ledger --check 2>&1 >/dev/null) ||
    fail "ledger --check on $name: $out"
done

echo "[ figures ] $((units * ${#stations[@]})) units on 2 wine stations and 1 Linux station at once in ${took} s; the pool changed hands $switches times"
