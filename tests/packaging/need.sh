# Sourced by the packaging checks: `need TOOL PACKAGE` ends the check as skipped
# (exit 77) when a Debian tool it runs is not installed; scripts/deps installs
# them all.
need() {
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "SKIP: $1 is not installed (Debian package $2; scripts/deps installs it)"
        exit 77
    fi
}
