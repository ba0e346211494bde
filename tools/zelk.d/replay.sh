# The capture replay tool: ./zelk replay, the demo over the shipped attack capture, and the test stage
# that records fresh captures on a namespace LAN and fuzzes the frame analysis and the capture reading.

# The LAN of tests/captures/make-captures.sh.
REPLAY_CAPTURE_HOST_MAC=02:5a:00:00:07:64
REPLAY_CAPTURE_BINDING=10.250.7.1=02:5a:00:00:07:01
# Tools that record the captures; the fuzzers need clang's runtime.
PACKAGES_CAPTURES=(iproute2 tcpdump dsniff arp-scan arping)
PACKAGES_FUZZ=(clang libclang-rt-14-dev)
REPLAY_FUZZ_SECONDS=${REPLAY_FUZZ_SECONDS:-30}

replay_binary() { printf '%s/tools/replay/zelk_replay' "$(build_dir host)"; }

cmd_replay() {
    ensure_packages "${PACKAGES_HOST[@]}"
    build_preset host --target zelk_replay_tool >/dev/null
    # ./zelk runs from the repository root; a capture named relative to the caller's directory still opens.
    (cd "${OLDPWD:-$ROOT}" && exec "$(replay_binary)" "$@")
}
register_command replay "run a capture (pcap, pcapng) through the guard: drops, events, summary (--help)"

# Records fresh captures where network namespaces can be made, and checks the rules on them.
test_stage_replay_captures() {
    local probe="zelkcap-probe-$$"
    if [ "$(id -u)" -ne 0 ]; then
        log "replay: fresh captures need root; skipped, the committed ones are tested"
        return 0
    fi
    ensure_packages "${PACKAGES_CAPTURES[@]}"
    if ! ip netns add "$probe" 2>/dev/null; then
        log "replay: no network namespaces here; fresh captures skipped, the committed ones are tested"
        return 0
    fi
    ip netns delete "$probe"
    local captures
    captures="$(mktemp -d /tmp/zelk-captures.XXXXXX)"
    log "replay: recording fresh captures"
    if ! tests/captures/make-captures.sh "$captures" || ! ZELK_CAPTURE_DIR="$captures" \
        "$(build_dir host)/tests/tools/replay/zelk_replay_captures_tests" \
        --gtest_filter='ReplayCapturesTest.*' --gtest_brief=1; then
        rm -rf "$captures"
        return 1
    fi
    rm -rf "$captures"
}
register_test_stage test_stage_replay_captures

# A short bounded run of each fuzzer; a crash, a sanitizer finding or a leak fails it.
test_stage_replay_fuzz() {
    ensure_packages "${PACKAGES_FUZZ[@]}"
    log "building fuzz"
    build_preset fuzz --target zelk_fuzz_replay_frames zelk_fuzz_capture_reader >/dev/null
    local fuzzer work status
    for fuzzer in zelk_fuzz_replay_frames zelk_fuzz_capture_reader; do
        work="$(mktemp -d /tmp/zelk-fuzz.XXXXXX)"
        mkdir "$work/corpus"
        cp tests/captures/*.pcap "$work/corpus/"
        log "fuzzing $fuzzer for ${REPLAY_FUZZ_SECONDS} s"
        status=0
        "$(build_dir fuzz)/tests/tools/replay/$fuzzer" -max_total_time="$REPLAY_FUZZ_SECONDS" -timeout=10 \
            -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$(build_dir fuzz)/$fuzzer-" \
            "$work/corpus" >"$work/log" 2>&1 || status=$?
        if [ "$status" -ne 0 ]; then
            tail -n 40 "$work/log" >&2
            log "$fuzzer failed; the input that broke it is kept as $(build_dir fuzz)/$fuzzer-*"
            rm -rf "$work"
            return 1
        fi
        grep -E '^stat::number_of_executed_units' "$work/log" >&2 || true
        rm -rf "$work"
    done
}
register_test_stage test_stage_replay_fuzz
