# The whole system on the simulated host: ./zelk system, driven by a capture.

system_binary() { printf '%s/tools/system_run/zelk_system' "$(build_dir host)"; }

# Without a capture: the shipped attack capture on its own LAN (the tool's defaults).
cmd_system() {
    ensure_packages "${PACKAGES_HOST[@]}"
    build_preset host --target zelk_system_tool >/dev/null
    if [ $# -eq 0 ] || { [ "${1#--}" != "$1" ] && [ "$1" != "--help" ]; }; then
        set -- "$ROOT/tests/captures/arp-attack.pcap" "$@"
    fi
    # A capture or output named relative to the caller's directory still opens.
    (cd "${OLDPWD:-$ROOT}" && exec "$(system_binary)" "$@")
}
register_command system "the driver, the service and the agent together on the simulated host, driven by a capture (default: the shipped attack; --help)"
