#!/usr/bin/env bash
# Builds the station and runs every test: the normal build (with the layer
# and format checks among its tests, then clang-tidy on the core), then the
# core again under AddressSanitizer with UndefinedBehaviorSanitizer, and its
# threaded suites under ThreadSanitizer; last the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-dependencies.sh test
jobs=$(nproc)
# Many tests spend their time waiting for a server, a child process or a
# time-out: one test more than there are cores keeps the cores busy.
test_jobs=$((jobs + 1))

echo "== Build and tests"
tools/configure-build.sh build
cmake --build build -j "$jobs"
(cd build && ctest -j "$test_jobs" --output-on-failure)
tools/run-clang-tidy.sh build

# The sanitizer builds leave the benchmarks out: the normal build keeps them compiling.
echo "== Core under address and undefined-behaviour sanitizers"
tools/configure-build.sh build-asan -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_BUILD_BENCHMARKS=OFF \
  -DTAVRIN_SANITIZE=address,undefined
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest -j "$test_jobs" --output-on-failure)

# The thread sanitizer finds races between threads, so it runs the suites
# whose tests start threads, in the test program or in the tavrin-cli it runs:
# task threads and their progress (TaskThread), the queue runner (QueueRunner),
# the message queue (MessageQueue), settings shared between threads
# (SharedSettings), the catalogue used from several threads and processes
# (CatalogueConcurrency, StationLock), the worker pools of the colour table,
# the master writer and the resampler (ColorTableGeneratorThreads, ProofImage,
# MasterResamplerTest), the imaging tasks, the tile cutter and the one-pass
# pyramid (MasteringTask, InkCoverageTask, ProofTasks, TilePyramidTest,
# OnePassPyramid, SharedStrips), the delivery tasks in plain and in TLS
# (TransferTask, DeleteTask, NotifyTask, VsftpdUpload, VsftpdTLS) and the
# commands that run tasks (TaskMasterCommand,
# TaskFailureCommands, DeliveryCommands, NotifyCommands, RepliesCommand). The other suites run
# on one thread; the two builds above cover them.
threaded_suites=(
  TaskThread QueueRunner MessageQueue SharedSettings
  CatalogueConcurrency StationLock
  ColorTableGeneratorThreads ProofImage MasterResamplerTest
  MasteringTask InkCoverageTask ProofTasks TilePyramidTest OnePassPyramid SharedStrips
  TransferTask DeleteTask NotifyTask VsftpdUpload VsftpdTLS
  TaskMasterCommand TaskFailureCommands DeliveryCommands NotifyCommands RepliesCommand Reminders
)
echo "== Threaded suites under the thread sanitizer"
tools/configure-build.sh build-tsan -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_BUILD_BENCHMARKS=OFF -DTAVRIN_SANITIZE=thread
cmake --build build-tsan -j "$jobs"
# A renamed suite must not drop out of the run unnoticed.
for suite in "${threaded_suites[@]}"; do
  (cd build-tsan && ctest -N -R "^$suite\." | grep -q "Total Tests: [1-9]") ||
    { echo "run-tests.sh names the suite $suite, which has no tests" >&2; exit 1; }
done
(cd build-tsan && ctest -j "$test_jobs" --output-on-failure -R "^($(IFS='|'; echo "${threaded_suites[*]}"))\.")

echo "== Fuzz targets, 30 seconds each"
fuzz/run-fuzzers.sh 30
