# Runs inside the private network namespace: brings up loopback, starts the
# services the tests need, runs CTest and stops everything it started.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/test-env.sh"
build="$1"
shift  # the rest goes to CTest, e.g. -R VoiceAudio

prepare_test_environment
start_keyring
start_pulseaudio

ctest --test-dir "$build" --output-on-failure -j2 "$@"
