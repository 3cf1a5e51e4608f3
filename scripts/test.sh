#!/bin/sh
# Installs what is needed, builds the Linux and the Windows program and runs
# every test, among them those of the two packages, which CTest first makes
# with CPack from the same build; then the native tests under the sanitizers,
# the fuzzer of the command-line tail and clang-tidy. Safe to run again;
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

# The command-line tail fuzzed for a bounded time; a finding fails the run.
# New inputs are kept in build/fuzz/corpus, the seeds in fuzz/corpus stay.
cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++
cmake --build build/fuzz
ctest --test-dir build/fuzz --output-on-failure
mkdir -p build/fuzz/corpus
build/fuzz/fuzz_command_tail -max_total_time=30 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/ build/fuzz/corpus fuzz/corpus

# clang-tidy on the program's sources, each with its platform's compile
# commands: the sanitizer build's and those of a Windows configuration.
cmake --preset windows-i686 -B build/tidy-windows -DBUILD_TESTING=OFF \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
clang-tidy --quiet -p build/native-asan $(ls src/*.cpp | grep -v _win32)
clang-tidy --quiet -p build/tidy-windows $(ls src/*.cpp | grep -v _posix)
