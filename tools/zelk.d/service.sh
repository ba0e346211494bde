# The protection service's command: ZELKSrv's real poller on a simulated Windows host, driven by a scenario.

SERVICE_DEFAULT_SCENARIO="$ROOT/service/scenario/scenarios/gateway-poisoning.scenario"

cmd_service() {
    ensure_packages "${PACKAGES_HOST[@]}"
    local root="" scenario="" args=()
    while [ $# -gt 0 ]; do
        case "$1" in
        --root) root=${2:-}; shift 2 || true ;;
        --scenario) scenario=${2:-}; shift 2 || true ;;
        *) args+=("$1"); shift ;;
        esac
    done
    [ -n "$scenario" ] || scenario=$SERVICE_DEFAULT_SCENARIO
    [ -n "$root" ] || root=$(build_dir service-run)
    build_preset host --target zelk_service_scenario_run >/dev/null
    "$(build_dir host)/service/scenario/zelk_service_scenario" --root "$root" --scenario "$scenario" "${args[@]}"
}
register_command service "run the service on a simulated host through a scenario (--root DIR --scenario FILE; default: a poisoned gateway)"
