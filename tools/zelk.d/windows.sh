# The Windows programs: both mingw-w64 presets are built before any test stage, because the host build's
# tests check their executables and run the win64 programs under Wine (tests/wine/).

PACKAGES_WINDOWS=(mingw-w64 wine wine64 xvfb)

build_stage_windows() {
    ensure_packages "${PACKAGES_WINDOWS[@]}"
    local preset
    for preset in win32 win64; do
        log "building $preset"
        build_preset "$preset" >/dev/null
    done
}
register_build_stage build_stage_windows
