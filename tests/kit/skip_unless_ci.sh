# The shell form of SkipUnlessCi.h, for test scripts and ./run: under_ci
# holds when the environment variable CI is set (not to "", 0 or false), as
# .ci/run sets it; there every test must run. `skip_unless_ci REASON` exits
# 77 (ctest: skipped) on a developer's machine and 1 under CI.
under_ci() {
    case "${CI:-}" in
        "" | 0 | false) return 1 ;;
        *) return 0 ;;
    esac
}
skip_unless_ci() {
    if under_ci; then
        echo "$1 (under CI every test must run)" >&2
        exit 1
    fi
    echo "$1: skipped"
    exit 77
}
