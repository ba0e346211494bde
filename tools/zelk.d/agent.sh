# The tray agent's commands: the agent's view of an event file, on the host.

cmd_events() {
    ensure_packages "${PACKAGES_HOST[@]}"
    build_preset host --target zelk_events >/dev/null
    # ./zelk runs from the repository root; a file named relative to the caller's directory still opens.
    (cd "${OLDPWD:-$ROOT}" && exec "$(build_dir host)/tools/event_view/zelk_events" "$@")
}
register_command events "the rows the agent would list for an event file (ZELKSrv.evt), newest first (--json)"
