# Sourced by the tests of scripts/local-postgres.sh: the srom-cli to use (the
# test's one argument), the script, a fresh work folder whose server is
# stopped and removed at the end whatever happens, and a port of its own.
[[ $# -eq 1 ]] || { echo "usage: $0 CLI" >&2; exit 2; }
cli=$1
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
script=$repo/scripts/local-postgres.sh

work=$(mktemp -d /tmp/srom-local-pg.XXXXXX)
chmod 755 "$work"
server=$work/server
trap 'timeout 60 "$script" stop "$server" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
export SROM_PG_PORT=$((20000 + RANDOM % 20000))

fail() { echo "$*" >&2; exit 1; }
