# The guard core's commands: the demo and the benchmarks.

# Without arguments: the whole system (driver, service, agent) on the simulated host over the shipped capture
# of a real poisoning attack, with its host's and gateway's addresses; with arguments, as ./zelk system.
cmd_demo() {
    if [ $# -eq 0 ]; then
        printf '%s\n' "Running tests/captures/arp-attack.pcap through the driver, the service and the agent on the" \
            "simulated host 10.250.7.100 (02:5a:00:00:07:64) under a virtual clock: arpspoof on 10.250.7.66" \
            "(02:5a:00:00:07:42) tells it that its gateway 10.250.7.1 (02:5a:00:00:07:01) is at the attacker's MAC." ""
    fi
    cmd_system "$@"
}
register_command demo "a real ARP poisoning capture through the whole system on the simulated host: log, agent's list, summary"

cmd_bench() {
    ensure_packages "${PACKAGES_HOST[@]}"
    build_preset host --target zelk_guard_bench zelk_packet_path_bench >/dev/null
    "$(build_dir host)/bench/zelk_guard_bench" "$@"
    "$(build_dir host)/bench/zelk_packet_path_bench" "$@"
}
register_command bench "build and run the guard benchmarks, flat frames and packets (Google Benchmark flags pass through)"
