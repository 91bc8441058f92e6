# The independent programs the oracle checks compare against (sourced by the checks).
# missing_oracle TOOL HOW-TO-INSTALL says which oracle is missing and exits 77, which ctest
# counts as skipped; with TRACORA_REQUIRE_ORACLES set (scripts/test.sh sets it) it exits 1, a
# failure, so that a test run never passes by skipping its comparisons.
missing_oracle() {
    echo "oracle $1 is missing (install $2; scripts/install-deps.sh installs every oracle)" >&2
    case "${TRACORA_REQUIRE_ORACLES:-}" in
    '' | 0) exit 77 ;;
    *) exit 1 ;;
    esac
}

# require_programs NAME HOW-TO-INSTALL [NAME HOW-TO-INSTALL...]
require_programs() {
    while (($# >= 2)); do
        command -v "$1" >/dev/null || missing_oracle "$1" "$2"
        shift 2
    done
}
