#!/bin/sh
# Installs what is needed, builds the Linux and the Windows program and runs
# every test, among them those of the two packages, which CTest first makes
# with CPack from the same build; then the native tests under the sanitizers,
# the fuzzers and clang-tidy. Safe to run again;
# stops at the first failure.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh all

for preset in native windows-i686; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

# The native program and its tests again, under AddressSanitizer and
# UndefinedBehaviorSanitizer.
cmake --preset native-asan
cmake --build --preset native-asan
ctest --preset native-asan

# Each fuzz target for a bounded time: the command-line tail, the replies of
# the time daemons and the process list; a finding fails the run. New inputs
# are kept in build/fuzz/corpus/<name>, the seeds in fuzz/corpus/<name> stay.
cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
cmake --build build/fuzz
ctest --test-dir build/fuzz --output-on-failure
for target in command_tail chrony_reply ntp_reply process_stat; do
    mkdir -p "build/fuzz/corpus/$target"
    "build/fuzz/fuzz_$target" -max_total_time=20 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/$target-" "build/fuzz/corpus/$target" "fuzz/corpus/$target"
done

# clang-tidy on the program's sources, each with its platform's compile
# commands: the sanitizer build's and those of a Windows configuration; and
# on the Linux service library.
cmake --preset windows-i686 -B build/tidy-windows -DBUILD_TESTING=OFF \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
clang-tidy --quiet -p build/native-asan $(ls src/*.cpp | grep -v _win32) svc/linux/*.cpp
clang-tidy --quiet -p build/tidy-windows $(ls src/*.cpp | grep -v _posix)
