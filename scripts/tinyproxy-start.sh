#!/bin/bash
# Starts tinyproxy for the proxy tests: tinyproxy-start.sh DIR PORT.
# Listens on 127.0.0.1:PORT, serves 127.0.0.1 only, forwards straight to the
# origin (no upstream); config, log and pid file live in DIR. Fails when the
# port is taken or the proxy does not come up within ten seconds.
set -euo pipefail
dir=$1
port=$2
here=$(cd "$(dirname "$0")" && pwd)

command -v tinyproxy >/dev/null || { echo "tinyproxy is not installed (scripts/setup.sh installs it)"; exit 1; }
mkdir -p "$dir"
"$here/tinyproxy-stop.sh" "$dir"  # one left over from an interrupted run

listening() {
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null
}
if listening; then
    echo "port $port on 127.0.0.1 is already taken"
    exit 1
fi

cat >"$dir/tinyproxy.conf" <<CONF
Port $port
Listen 127.0.0.1
Allow 127.0.0.1
Timeout 30
MaxClients 16
LogLevel Info
LogFile "$dir/tinyproxy.log"
PidFile "$dir/tinyproxy.pid"
CONF
: >"$dir/tinyproxy.log"

# It detaches itself; nothing of it may hold ctest's output pipes.
tinyproxy -c "$dir/tinyproxy.conf" </dev/null >/dev/null 2>&1

for _ in $(seq 100); do
    if [ -s "$dir/tinyproxy.pid" ] && listening; then
        echo "tinyproxy $(cat "$dir/tinyproxy.pid") listening on 127.0.0.1:$port"
        exit 0
    fi
    sleep 0.1
done
echo "tinyproxy did not come up on 127.0.0.1:$port; its log:"
cat "$dir/tinyproxy.log"
"$here/tinyproxy-stop.sh" "$dir"
exit 1
