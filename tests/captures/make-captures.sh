#!/usr/bin/env bash
# Records the small captures in this folder from real tools on a LAN of Linux network namespaces:
#
#   gateway (10.250.7.1, 02:5a:00:00:07:01) --+
#   host    (10.250.7.100, 02:5a:00:00:07:64) -+-- bridge br0, in a namespace of its own
#   attacker(10.250.7.66, 02:5a:00:00:07:42) --+
#
# The captures are taken on the protected host's side. Nothing leaves the namespaces: they have no
# link to the outside and no route anywhere else. Every tool runs under a timeout and with a count.
# Run as root: tests/captures/make-captures.sh [OUTPUT_DIR] (default: this folder).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
OUT="$(realpath -m "${1:-$HERE}")"
mkdir -p "$OUT"

[ "$(id -u)" -eq 0 ] || {
    echo "make-captures: must run as root (network namespaces)" >&2
    exit 1
}
for tool in ip tcpdump arpspoof arp-scan arping timeout; do
    command -v "$tool" >/dev/null || {
        echo "make-captures: '$tool' is missing (Debian packages: iproute2 tcpdump dsniff arp-scan arping)" >&2
        exit 1
    }
done

PREFIX="zelkcap-$$"
LAN="$PREFIX-lan"
GATEWAY="$PREFIX-gw"
HOST="$PREFIX-host"
ATTACKER="$PREFIX-atk"
NET=10.250.7
GATEWAY_IP=$NET.1
HOST_IP=$NET.100
ATTACKER_IP=$NET.66
GATEWAY_MAC=02:5a:00:00:07:01
HOST_MAC=02:5a:00:00:07:64
ATTACKER_MAC=02:5a:00:00:07:42
WORK="$(mktemp -d /tmp/zelkcap.XXXXXX)"
CAPTURE_PID=

cleanup() {
    set +e
    [ -n "$CAPTURE_PID" ] && kill -INT "$CAPTURE_PID" 2>/dev/null && wait
    for ns in "$GATEWAY" "$HOST" "$ATTACKER" "$LAN"; do
        # Anything still running inside a namespace goes with it.
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill -KILL "$pid" 2>/dev/null
        done
        ip netns delete "$ns" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

in_ns() {
    local ns=$1
    shift
    ip netns exec "$ns" "$@"
}

quiet_ipv6() { in_ns "$1" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1; }

build_lan() {
    ip netns add "$LAN"
    quiet_ipv6 "$LAN"
    in_ns "$LAN" ip link add br0 type bridge stp_state 0 forward_delay 0
    in_ns "$LAN" ip link set br0 up
    local ns mac ip port
    for node in "$GATEWAY $GATEWAY_MAC $GATEWAY_IP gw" "$HOST $HOST_MAC $HOST_IP host" \
        "$ATTACKER $ATTACKER_MAC $ATTACKER_IP atk"; do
        read -r ns mac ip port <<<"$node"
        ip netns add "$ns"
        quiet_ipv6 "$ns"
        in_ns "$LAN" ip link add "$port" type veth peer name eth0 netns "$ns"
        in_ns "$LAN" ip link set "$port" master br0 up
        in_ns "$ns" ip link set eth0 address "$mac"
        in_ns "$ns" ip addr add "$ip/24" dev eth0
        in_ns "$ns" ip link set eth0 up
        in_ns "$ns" ip link set lo up
    done
    in_ns "$HOST" ip route add default via "$GATEWAY_IP"
}

# start_capture FILE [tcpdump args...]: records on the protected host until stop_capture, at most 60 s
# and 2000 frames.
start_capture() {
    local file=$1
    shift
    : >"$WORK/tcpdump.err"
    rm -f "$WORK/tcpdump.pid"
    # `ip netns exec` does not pass signals on, so the capture's own pid is taken from inside.
    in_ns "$HOST" sh -c 'echo $$ >"$0"; exec timeout -s INT 60 "$@"' "$WORK/tcpdump.pid" \
        tcpdump -n -U -s 128 -c 2000 -w "$WORK/$file" "$@" 2>"$WORK/tcpdump.err" &
    local tries
    for tries in $(seq 50); do
        [ -s "$WORK/tcpdump.pid" ] && break
        sleep 0.1
    done
    CAPTURE_PID=$(cat "$WORK/tcpdump.pid")
    for tries in $(seq 50); do
        grep -q 'listening on' "$WORK/tcpdump.err" && return 0
        sleep 0.1
    done
    echo "make-captures: tcpdump did not start: $(cat "$WORK/tcpdump.err")" >&2
    return 1
}

stop_capture() {
    local file=$1
    sleep 0.5
    kill -INT "$CAPTURE_PID"
    wait || true
    CAPTURE_PID=
    cp "$WORK/$file" "$OUT/$file"
    echo "make-captures: $file: $(tcpdump -nr "$OUT/$file" 2>/dev/null | wc -l) frames, $(stat -c %s "$OUT/$file") bytes" >&2
}

forget_neighbours() {
    local ns
    for ns in "$GATEWAY" "$HOST" "$ATTACKER"; do
        in_ns "$ns" ip neigh flush dev eth0
    done
}

# The true gateway announces itself, the host resolves it, then the attacker tells the host that the
# gateway's address is at the attacker's MAC (a reply every 2 s) until stopped, when it re-announces
# the true binding; the gateway announces itself once more.
capture_arp_attack() {
    forget_neighbours
    start_capture arp-attack.pcap -i any
    in_ns "$GATEWAY" timeout 10 arping -q -U -c 2 -W 0.3 -i eth0 -S "$GATEWAY_IP" "$GATEWAY_IP" || true
    in_ns "$HOST" timeout 5 arping -q -c 1 -w 2 -i eth0 "$GATEWAY_IP"
    in_ns "$ATTACKER" timeout -s INT -k 20 5 arpspoof -i eth0 -t "$HOST_IP" "$GATEWAY_IP" 2>/dev/null || true
    in_ns "$GATEWAY" timeout 10 arping -q -U -c 1 -i eth0 -S "$GATEWAY_IP" "$GATEWAY_IP" || true
    stop_capture arp-attack.pcap
}

# The attacker sweeps the whole /24 with one request per address, a millisecond apart.
capture_network_scan() {
    forget_neighbours
    start_capture network-scan.pcap -i eth0 arp
    in_ns "$ATTACKER" timeout 20 arp-scan -q -x -I eth0 --retry=1 --interval=1000u "$NET.0/24" >/dev/null
    stop_capture network-scan.pcap
}

# The protected host sweeps the /24 itself; a cooked capture marks its own requests as sent.
capture_host_scan() {
    forget_neighbours
    start_capture host-scan.pcap -i any -y LINUX_SLL arp
    in_ns "$HOST" timeout 20 arp-scan -q -x -I eth0 --retry=1 --interval=1000u "$NET.0/24" >/dev/null
    stop_capture host-scan.pcap
}

# A program on the protected host tells the attacker that the gateway's address is at the host's MAC,
# then, when stopped, re-announces the gateway's true MAC from the host's own Ethernet address.
capture_host_spoof() {
    forget_neighbours
    start_capture host-spoof.pcap -i any arp
    in_ns "$HOST" timeout 5 arping -q -c 1 -w 2 -i eth0 "$GATEWAY_IP"
    in_ns "$HOST" timeout -s INT -k 20 3 arpspoof -i eth0 -t "$ATTACKER_IP" "$GATEWAY_IP" 2>/dev/null || true
    stop_capture host-spoof.pcap
}

# The network scan must put at least 128 distinct targets within 2 seconds, or the capture does not
# show what it is for.
check_scan_rate() {
    local file=$1 sender_ip=$2
    local targets
    targets=$(tcpdump -tt -nr "$OUT/$file" 'arp[6:2] = 1' 2>/dev/null |
        awk -v sender="$sender_ip," '$(NF-2) == sender {
                 if (!first) first = $1
                 if ($1 - first <= 2.0) seen[$(NF-4)] = 1
             }
             END { print length(seen) }')
    if [ "$targets" -lt 128 ]; then
        echo "make-captures: $file has only $targets distinct targets within 2 s" >&2
        return 1
    fi
    echo "make-captures: $file: $targets distinct targets within 2 s" >&2
}

build_lan
capture_arp_attack
capture_network_scan
capture_host_scan
capture_host_spoof
check_scan_rate network-scan.pcap "$ATTACKER_IP"
check_scan_rate host-scan.pcap "$HOST_IP"
