#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each for SECONDS
# (default 60), starting from the committed seeds. Any crash or sanitizer report fails.
set -euo pipefail
seconds="${1:-60}"
cd "$(dirname "$0")/.."
build=build/fuzz
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANTIS_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DMORVANTIS_FUZZ=ON -DMORVANTIS_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target decoder_fuzz channel_csv_fuzz capture_reader_fuzz logic_import_fuzz receiver_fuzz
mkdir -p "$build/artifacts"
for target in decoder_fuzz channel_csv_fuzz capture_reader_fuzz logic_import_fuzz receiver_fuzz; do
  seeds="fuzz/corpus/${target%_fuzz}"
  work="$build/corpus/$target"
  log="$build/$target.log"
  mkdir -p "$work"
  echo "== $target for ${seconds}s"
  if ! "$build/$target" "$work" "$seeds" -max_total_time="$seconds" -max_len=65536 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$target found a fault; the input is in $build/artifacts/"
    exit 1
  fi
  grep -E 'stat::number_of_executed_units' "$log" || true
done
