# The guard core's commands: the demo and the benchmarks.

# Without arguments: the shipped capture of a real poisoning attack, with its host's address and
# trusted gateway; with arguments, whatever ./zelk replay is given.
cmd_demo() {
    if [ $# -eq 0 ]; then
        printf '%s\n' "Replaying tests/captures/arp-attack.pcap, recorded on the protected host 10.250.7.100:" \
            "arpspoof on 10.250.7.66 (02:5a:00:00:07:42) tells it that the gateway 10.250.7.1, trusted" \
            "at 02:5a:00:00:07:01, is at the attacker's MAC. Dropped frames, the findings, a summary:" ""
        set -- "$ROOT/tests/captures/arp-attack.pcap" --host-mac "$REPLAY_CAPTURE_HOST_MAC" \
            --binding "$REPLAY_CAPTURE_BINDING"
    fi
    cmd_replay "$@"
}
register_command demo "replay a real ARP poisoning capture through the guard: the drops and the findings logged"

cmd_bench() {
    ensure_packages "${PACKAGES_HOST[@]}"
    build_preset host --target zelk_guard_bench zelk_packet_path_bench >/dev/null
    "$(build_dir host)/bench/zelk_guard_bench" "$@"
    "$(build_dir host)/bench/zelk_packet_path_bench" "$@"
}
register_command bench "build and run the guard benchmarks, flat frames and packets (Google Benchmark flags pass through)"
