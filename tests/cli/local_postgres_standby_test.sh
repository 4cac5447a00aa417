#!/usr/bin/env bash
# scripts/local-postgres.sh start --standby starts a primary with a
# synchronous standby and prints one address for both; a station programs
# through it, and after `failover` (the primary stopped at once, the standby
# promoted) the same address reaches the new primary, which holds the unit
# programmed before. status says which is the primary; a retired primary is
# never started again.
#
#   local_postgres_standby_test.sh CLI
set -euo pipefail

source "$(dirname "$0")/local_postgres_test_setup.sh"

said=$(timeout 120 "$script" start --standby "$server")
address=$(sed -n 's/^  ledger=//p' <<<"$said")
[[ $address == *target_session_attrs=read-write* && $address == *",$server"* ]] ||
  fail "no address for both servers in: $said"
state=$(timeout 30 "$script" status "$server")
[[ $state == *"$server/data (port $SROM_PG_PORT): primary, runs"* &&
   $state == *"standby, runs"* && $state == *synchronously* ]] ||
  fail "status does not show a primary with a synchronous standby: $state"

mkdir -p "$work/station"
program() {
  (cd "$work/station" && timeout 60 "$cli" --ledger "$address" program 2>&1 >/dev/null | tail -n 1)
}
ledger() {
  (cd "$work/station" && timeout 60 "$cli" --ledger "$address" ledger 2>&1)
}
[[ $(program) == PASS ]] || fail "the station could not program: $(program)"

said=$(timeout 120 "$script" failover "$server")
[[ $said == *"is the primary now"* && $(sed -n 's/^  ledger=//p' <<<"$said") == "$address" ]] ||
  fail "failover said: $said"
state=$(timeout 30 "$script" status "$server")
[[ $state == *"$server/data (port $SROM_PG_PORT): retired, stopped"* &&
   $state == *"$server/standby (port $((SROM_PG_PORT + 1))): primary, runs"* ]] ||
  fail "status after the failover: $state"
[[ $(program) == PASS ]] || fail "no unit after the failover: $(program)"
units=$(ledger)
[[ $(grep -c ' programmed ' <<<"$units") -eq 2 ]] ||
  fail "the new primary does not hold both units: $units"

# Stopped and started again: the new primary only, the same address.
timeout 60 "$script" stop "$server" >/dev/null
again=$(timeout 60 "$script" start "$server")
[[ $(sed -n 's/^  ledger=//p' <<<"$again") == "$address" ]] || fail "the address changed: $again"
state=$(timeout 30 "$script" status "$server")
[[ $state == *"$server/data (port $SROM_PG_PORT): retired, stopped"* ]] ||
  fail "the retired primary was started again: $state"
[[ $(program) == PASS ]] || fail "no unit after the restart"
code=0
timeout 60 "$script" failover "$server" >/dev/null 2>&1 || code=$?
[[ $code -eq 2 ]] || fail "a second failover without a standby: exit $code, not 2"
echo "passed"
