#!/usr/bin/env bash
# A Windows station (srom-cli.exe under wine) whose line server hangs: every
# process of the server stopped with SIGSTOP, its port still taking
# connections. The unit ends within a call's time, as "ledger unreachable"
# (exit 12), and no MAC address is logged; once the server goes on, the
# next unit programs. The server is this test's own (ctest's fixture), so
# that no other test meets it stopped.
# shellcheck source=line_station.sh
source "$(dirname "$0")/line_station.sh"

server_script="$(dirname "$0")/../support/pg_tcp_server.sh"
# A failed test never leaves the server stopped.
trap 'bash "$server_script" thaw "$SERVER_FILES" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

# A call's time (5 s) and wine's start, with room for a loaded machine.
bound_ms=20000
unreachable=12

program() {
  win_cli --dir "$work/W1" -y program >/dev/null 2>"$work/run.err"
}

ledger="$server dbname=srom"
make_station "$work/W1" "$ledger" W1 "" win_cli
program || fail "the first unit: $(cat "$work/run.err")"

bash "$server_script" freeze "$SERVER_FILES"
began=$(date +%s%N)
code=0
program || code=$?
took_ms=$((($(date +%s%N) - began) / 1000000))
bash "$server_script" thaw "$SERVER_FILES"

[[ $code -eq $unreachable ]] || fail "exit $code, not $unreachable: $(cat "$work/run.err")"
grep -q '^FAIL: ledger unreachable' <(tr -d '\r' <"$work/run.err") ||
  fail "no verdict line: $(cat "$work/run.err")"
[[ $took_ms -lt $bound_ms ]] || fail "the unit took $took_ms ms on a hung server"
mapfile -t logged < <(logged_macs "$work/W1")
[[ ${#logged[@]} -eq 1 ]] || fail "${#logged[@]} units logged after the hung one, not 1"

# The server goes on: the next unit programs, with the next address, and
# the server holds both units as programmed.
program || fail "the unit after the server went on: $(cat "$work/run.err")"
mapfile -t logged < <(logged_macs "$work/W1")
[[ ${#logged[@]} -eq 2 && ${logged[0]} != "${logged[1]}" ]] ||
  fail "logged after the server went on: ${logged[*]}"
programmed=$(server_units "$ledger" win_cli | awk '$1 == "W1" && $3 == "programmed" { print $2 }' | sort)
[[ $programmed == "$(printf '%s\n' "${logged[@]}" | sort)" ]] ||
  fail "the server's programmed units: $programmed; logged: ${logged[*]}"

echo "[ figures ] srom-cli.exe program on a hung server ended in $took_ms ms"
