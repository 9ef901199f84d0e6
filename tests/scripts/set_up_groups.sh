#!/bin/sh
# The set-up of the two README commands: scripts/run.sh installs only what building and playing
# need, scripts/test.sh the test tool chain as well, and the program and the sample game
# configure without the test libraries; the default build generates the sample game.
#
# Usage: set_up_groups.sh <source folder> <scratch folder>.
set -u
SOURCE=$1
SCRATCH=$2/set_up_groups
fail() {
    echo "set_up_groups: $*"
    exit 1
}

run=$(sh "$SOURCE/scripts/install-deps.sh" list run) || fail "no package list for run"
test=$(sh "$SOURCE/scripts/install-deps.sh" list test) || fail "no package list for test"
for package in clang libgtest-dev libbenchmark-dev xvfb xdotool imagemagick; do
    echo "$run" | grep -qx "$package" && fail "playing installs the test tool $package"
    echo "$test" | grep -qx "$package" || fail "testing does not install $package"
done
for package in $run; do
    echo "$test" | grep -qx "$package" || fail "testing does not install $package, which building needs"
done
for script in run test; do
    grep -q "install-deps.sh $script\$" "$SOURCE/scripts/$script.sh" || fail "scripts/$script.sh does not install its group"
done

# Configured as scripts/run.sh does, with GoogleTest and Benchmark out of reach.
rm -rf "$SCRATCH"
cmake -S "$SOURCE" -B "$SCRATCH" -DTESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$SCRATCH.log" 2>&1 || fail "configuring without the test libraries failed: $(tail -5 "$SCRATCH.log")"
targets=$(cmake --build "$SCRATCH" --target help)
for target in velkora sample_game; do
    echo "$targets" | grep -q "\.\.\. $target\$" || fail "no $target target without the tests"
done
# A build by hand (no --target) generates the sample game that the tests, the benchmarks and
# scripts/measure-idle.sh play. Read from the Makefiles' own list of what "all" builds.
if [ -f "$SCRATCH/CMakeFiles/Makefile2" ]; then
    grep -q "^tools/all: tools/CMakeFiles/sample_game.dir/all\$" "$SCRATCH/CMakeFiles/Makefile2" ||
        fail "the default build does not generate the sample game"
fi
rm -rf "$SCRATCH" "$SCRATCH.log"
echo "set_up_groups: the play and test groups and the build without tests are as expected"
