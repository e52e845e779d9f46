#!/bin/bash
# A mosquitto of the tests' own on free loopback ports, apart from any
# system broker.
#   tools/mqtt-broker.sh start DIR   # prints NW_TEST_MQTT_DIR=DIR
#   tools/mqtt-broker.sh stop DIR
# DIR gets the configuration, a password file, a self-signed certificate for
# "localhost" made now, the log, and broker.ini, which the tests read:
#   [broker] plain=PORT (anonymous)  auth=PORT (user and password only)
#            tls=PORT (anonymous, TLS)  user=  password=  pin= (SHA-256 of
#            the certificate's DER bytes, hex)
# A program under Wine cannot start or stop a Linux process, so a small
# watcher does it for the tests: a test creates DIR/request-stop or
# DIR/request-start and waits for the file to go; the broker then has
# stopped, or listens again on the same ports.
set -eu
verb=${1:?usage: mqtt-broker.sh start|stop DIR}
dir=${2:?usage: mqtt-broker.sh start|stop DIR}

stop_all() {
    for f in watcher.pid broker.pid; do
        if [ -f "$dir/$f" ]; then
            kill "$(cat "$dir/$f")" 2>/dev/null || true
            rm -f "$dir/$f"
        fi
    done
}

case $verb in
    stop) [ -d "$dir" ] && stop_all; exit 0 ;;
    start) ;;
    *) echo "usage: mqtt-broker.sh start|stop DIR" >&2; exit 2 ;;
esac

for tool in mosquitto mosquitto_passwd openssl python3; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || {
        echo "mqtt-broker.sh: $tool is missing (tools/install-deps.sh installs it)" >&2; exit 1; }
done
broker=$(command -v mosquitto || echo /usr/sbin/mosquitto)
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
stop_all
rm -f "$dir"/request-* "$dir/mosquitto.log"

read -r plain auth tls < <(python3 -c '
import socket
s = [socket.socket() for _ in range(3)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')

openssl req -x509 -newkey rsa:2048 -nodes -days 3 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost -keyout "$dir/server.key" -out "$dir/server.crt" 2>/dev/null
pin=$(openssl x509 -in "$dir/server.crt" -outform DER | sha256sum | cut -d' ' -f1)
password=pw-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')
rm -f "$dir/passwd"
touch "$dir/passwd"
mosquitto_passwd -b "$dir/passwd" nwtest "$password"
chmod 644 "$dir/server.key" "$dir/passwd"

cat >"$dir/mosquitto.conf" <<EOF
# Made by tools/mqtt-broker.sh for the tests.
per_listener_settings true
persistence false
log_dest file $dir/mosquitto.log
log_type error
log_type warning
log_type notice
log_type information
log_type debug
connection_messages true
user $(id -un)
listener $plain 127.0.0.1
allow_anonymous true
listener $auth 127.0.0.1
allow_anonymous false
password_file $dir/passwd
listener $tls 127.0.0.1
allow_anonymous true
certfile $dir/server.crt
keyfile $dir/server.key
EOF
cat >"$dir/broker.ini" <<EOF
[broker]
plain=$plain
auth=$auth
tls=$tls
user=nwtest
password=$password
pin=$pin
EOF

start_broker() {
    setsid "$broker" -c "$dir/mosquitto.conf" >>"$dir/broker.out" 2>&1 </dev/null &
    echo $! >"$dir/broker.pid"
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$plain") 2>/dev/null && (exec 3<>"/dev/tcp/127.0.0.1/$tls") 2>/dev/null && return 0
        sleep 0.05
    done
    echo "mqtt-broker.sh: mosquitto did not start (see $dir/broker.out, $dir/mosquitto.log)" >&2
    return 1
}
start_broker

# The watcher: ends by itself when DIR goes.
setsid bash -c '
dir=$1; broker=$2; plain=$3
while [ -f "$dir/broker.ini" ]; do
    if [ -f "$dir/request-stop" ]; then
        pid=$(cat "$dir/broker.pid" 2>/dev/null || true)
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            while kill -0 "$pid" 2>/dev/null; do sleep 0.02; done
        fi
        rm -f "$dir/broker.pid" "$dir/request-stop"
    fi
    if [ -f "$dir/request-start" ]; then
        setsid "$broker" -c "$dir/mosquitto.conf" >>"$dir/broker.out" 2>&1 </dev/null &
        echo $! >"$dir/broker.pid"
        for _ in $(seq 100); do
            (exec 3<>"/dev/tcp/127.0.0.1/$plain") 2>/dev/null && break
            sleep 0.05
        done
        rm -f "$dir/request-start"
    fi
    sleep 0.05
done' watcher "$dir" "$broker" "$plain" >/dev/null 2>&1 </dev/null &
echo $! >"$dir/watcher.pid"
echo "NW_TEST_MQTT_DIR=$dir"
