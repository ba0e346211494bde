# The guard core's commands: the demo and the benchmarks.

cmd_demo() {
    ensure_packages "${PACKAGES_HOST[@]}"
    build_preset host --target zelk_guard_demo >/dev/null
    "$(build_dir host)/tools/guard_demo/zelk_guard_demo" "$@"
}
register_command demo "run the guard over a short built-in exchange and print each verdict and the findings"

cmd_bench() {
    ensure_packages "${PACKAGES_HOST[@]}"
    build_preset host --target zelk_guard_bench >/dev/null
    "$(build_dir host)/bench/zelk_guard_bench" "$@"
}
register_command bench "build and run the guard benchmarks (Google Benchmark flags pass through)"
