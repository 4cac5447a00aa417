#!/usr/bin/env bash
# srom-tool.exe, the Win32 window, on a station whose station.ini names the
# line's server and a pool: started under wine's null display driver in a
# new station folder, operated by window_operator.exe (its first-start boxes
# answered OK, Program pressed), it programs one unit with the pool's first
# address, logs it, and the server lists it as programmed by that station.
# SROM_TOOL_EXE and WINDOW_OPERATOR name the two programs.
# shellcheck source=line_station.sh
source "$(dirname "$0")/line_station.sh"
: "${SROM_TOOL_EXE:?}" "${WINDOW_OPERATOR:?}"

first=00A0C9000200
ledger=$(new_ledger "window_unit_$$")
make_station "$work/W1" "$ledger" Window-1 window win_cli
out=$(win_cli --dir "$work/W1" pool create window --first "$first" --last 00A0C90002FF 2>&1) ||
  fail "pool create: $out"

began=$SECONDS
out=$(timeout 300 "$WINE" "$WINDOW_OPERATOR" "$SROM_TOOL_EXE" --dir "$work/W1" --device sim \
  </dev/null 2>&1 | tr -d '\r') || fail "the window's unit: $out"
took=$((SECONDS - began))
echo "$out"
grep -qx "verdict: PASS $first" <<<"$out" || fail "not the pool's first address: $out"

[[ $(logged_macs "$work/W1") == "$first" ]] ||
  fail "logged: $(logged_macs "$work/W1" | tr '\n' ' ')"
units=$(server_units "$ledger" win_cli)
[[ $units == "Window-1 $first programmed window" ]] || fail "the server lists: $units"

echo "[ figures ] srom-tool.exe started, programmed a unit on the line and closed in ${took} s"
