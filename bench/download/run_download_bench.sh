#!/usr/bin/env bash
# Download throughput: HttpFileDownload (through download_driver) against `curl -o`, from nginx
# on 127.0.0.1 over HTTP and HTTPS (self-signed), into a file on disk and into /dev/shm.
# nginx runs on one core and the client on the other; the engine and curl alternate.
#
# Usage: run_download_bench.sh BUILD_DIR [sweep]
#   sweep: also time the engine over HTTP into /dev/shm for several CURLOPT_BUFFERSIZE and
#          staging capacities.
# Environment: DOWNLOAD_BENCH_RUNS (runs per case, default 5), DOWNLOAD_BENCH_SIZE_MB (default
#              1024), DOWNLOAD_BENCH_DISK_DIR (folder on disk, default BUILD_DIR/bench/download).
set -euo pipefail

build=${1:?usage: run_download_bench.sh BUILD_DIR [sweep]}
mode=${2:-}
driver="$build/bench/download/download_driver"
runs=${DOWNLOAD_BENCH_RUNS:-5}
size_mb=${DOWNLOAD_BENCH_SIZE_MB:-1024}
nginx=/usr/sbin/nginx

for tool in "$driver" "$nginx" /usr/bin/time curl openssl taskset; do
  command -v "$tool" >/dev/null || { echo "download bench: $tool not found" >&2; exit 1; }
done
cpus=$(nproc)
if ((cpus >= 2)); then
  server_cpu=0 client_cpu=1
else
  server_cpu=0 client_cpu=0
  echo "download bench: one core only, server and client share it" >&2
fi

work=$(mktemp -d /dev/shm/sucaigang-download-bench.XXXXXX)
disk_dir=${DOWNLOAD_BENCH_DISK_DIR:-$build/bench/download}
mkdir -p "$disk_dir"
disk_dir=$(cd "$disk_dir" && pwd)
disk_target="$disk_dir/download-bench-target.bin"
nginx_pid=
cleanup() {
  [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
  rm -f "$disk_target"
}
trap cleanup EXIT

echo "making the ${size_mb} MiB and 10 MiB files in $work"
mkdir -p "$work/www" "$work/tmp"
head -c $((size_mb * 1024 * 1024)) /dev/urandom >"$work/www/big.bin"
head -c $((10 * 1024 * 1024)) /dev/urandom >"$work/www/small.bin"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start_nginx() {
  local attempt
  for attempt in $(seq 1 20); do
    http_port=$((20000 + RANDOM % 30000))
    https_port=$((http_port + 1))
    port_free "$http_port" && port_free "$https_port" || continue
    cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$http_port;
    listen 127.0.0.1:$https_port ssl;
    ssl_certificate $work/cert.pem;
    ssl_certificate_key $work/key.pem;
    root $work/www;
  }
}
CONF
    taskset -c "$server_cpu" "$nginx" -p "$work" -c "$work/nginx.conf" &
    nginx_pid=$!
    local i
    for i in $(seq 1 100); do
      if curl -sf -o /dev/null "http://127.0.0.1:$http_port/small.bin"; then return 0; fi
      kill -0 "$nginx_pid" 2>/dev/null || break
      sleep 0.05
    done
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=
  done
  echo "download bench: nginx did not start (see $work/error.log)" >&2
  cat "$work/error.log" >&2 || true
  exit 1
}
start_nginx
echo "nginx on 127.0.0.1:$http_port (HTTP) and :$https_port (HTTPS), core $server_cpu; client on core $client_cpu"

url() { # scheme file
  if [[ $1 == https ]]; then echo "https://127.0.0.1:$https_port/$2"; else echo "http://127.0.0.1:$http_port/$2"; fi
}

# Runs one download pinned to the client core; prints "seconds peak_rss_kib cpu_seconds".
timed() { # kind scheme file target [driver options...]
  local kind=$1 scheme=$2 file=$3 target=$4
  shift 4
  local address
  address=$(url "$scheme" "$file")
  # Never remove a device such as /dev/null: only a regular file left by an earlier run.
  [[ -f $target ]] && rm -f "$target"
  local cmd
  if [[ $kind == engine ]]; then
    cmd=("$driver" --quiet --ca "$work/cert.pem" "$@" "$address" "$target")
  else
    cmd=(curl -sS --fail --cacert "$work/cert.pem" -o "$target" "$address")
  fi
  local start=$EPOCHREALTIME
  /usr/bin/time -v -o "$work/time.txt" taskset -c "$client_cpu" "${cmd[@]}" >/dev/null
  local end=$EPOCHREALTIME
  if [[ $target != /dev/null ]] && (($(stat -c %s "$target") != $(stat -c %s "$work/www/$file"))); then
    echo "download bench: $kind $scheme $file gave a file of the wrong size" >&2
    exit 1
  fi
  local rss cpu
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  cpu=$(awk -F': ' '/(User|System) time \(seconds\)/ {s += $2} END {printf "%.2f", s}' "$work/time.txt")
  [[ -f $target ]] && rm -f "$target"
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f", b - a}') $rss $cpu"
}

median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }


size_bytes=$(stat -c %s "$work/www/big.bin")
mb() { awk -v s="$1" -v b="$size_bytes" 'BEGIN {printf "%.0f", b / s / 1e6}'; }

echo "warming up"
timed curl http big.bin /dev/null >/dev/null
timed engine http big.bin "$work/warm.bin" >/dev/null

echo "timing $runs runs each, the engine and curl alternating"
cases=("http shm" "http disk" "https shm" "https disk")
for c in "${cases[@]}"; do
  read -r scheme dest <<<"$c"
  target="$work/target.bin"
  [[ $dest == disk ]] && target=$disk_target
  for kind in engine curl; do : >"$work/$kind-$scheme-$dest.times" >"$work/$kind-$scheme-$dest.cpu"; done
  for ((r = 0; r < runs; r++)); do
    for kind in engine curl; do
      timed "$kind" "$scheme" big.bin "$target" >"$work/one.txt"
      cut -d' ' -f1 <"$work/one.txt" >>"$work/$kind-$scheme-$dest.times"
      cut -d' ' -f3 <"$work/one.txt" >>"$work/$kind-$scheme-$dest.cpu"
    done
  done
done
for scheme in http https; do
  : >"$work/limit-$scheme.times"
  for ((r = 0; r < runs; r++)); do
    timed curl "$scheme" big.bin /dev/null | cut -d' ' -f1 >>"$work/limit-$scheme.times"
  done
done

echo
echo "medians of $runs runs, ${size_mb} MiB file:"
for c in "${cases[@]}"; do
  read -r scheme dest <<<"$c"
  e=$(median <"$work/engine-$scheme-$dest.times")
  k=$(median <"$work/curl-$scheme-$dest.times")
  ec=$(median <"$work/engine-$scheme-$dest.cpu")
  kc=$(median <"$work/curl-$scheme-$dest.cpu")
  printf '%-6s to %-5s engine %7.3f s (%5s MB/s, cpu %5.2f s)   curl -o %7.3f s (%5s MB/s, cpu %5.2f s)   engine/curl %.2f\n' \
    "$scheme" "$dest" "$e" "$(mb "$e")" "$ec" "$k" "$(mb "$k")" "$kc" "$(awk -v a="$e" -v b="$k" 'BEGIN {print a / b}')"
done
for scheme in http https; do
  l=$(median <"$work/limit-$scheme.times")
  e=$(median <"$work/engine-$scheme-shm.times")
  printf '%-6s loopback limit (curl -o /dev/null) %7.3f s (%5s MB/s)   engine to shm at %.0f%% of it\n' \
    "$scheme" "$l" "$(mb "$l")" "$(awk -v a="$e" -v b="$l" 'BEGIN {print 100 * b / a}')"
done

echo
echo "peak resident memory (/usr/bin/time -v), HTTP into /dev/shm:"
for file in small.bin big.bin; do
  e=$(timed engine http "$file" "$work/target.bin" | cut -d' ' -f2)
  k=$(timed curl http "$file" "$work/target.bin" | cut -d' ' -f2)
  printf '%-9s engine %6d KiB   curl -o %6d KiB   difference %+6d KiB\n' "$file" "$e" "$k" $((e - k))
done

if [[ $mode == sweep ]]; then
  # SWEEP_SCHEME (http or https) and SWEEP_TARGET (shm or disk) choose the case swept.
  sweep_scheme=${SWEEP_SCHEME:-http}
  sweep_target="$work/target.bin"
  [[ ${SWEEP_TARGET:-shm} == disk ]] && sweep_target=$disk_target
  echo
  echo "engine over $sweep_scheme into ${SWEEP_TARGET:-shm} by CURLOPT_BUFFERSIZE and staging capacity (median of $runs):"
  for buffer in ${SWEEP_BUFFERS:-16384 131072 524288 2097152}; do
    for staging in ${SWEEP_STAGINGS:-10240 1048576 4194304}; do
      : >"$work/sweep.times" >"$work/sweep.cpu"
      for ((r = 0; r < runs; r++)); do
        timed engine "$sweep_scheme" big.bin "$sweep_target" --buffer "$buffer" --staging "$staging" >"$work/one.txt"
        cut -d' ' -f1 <"$work/one.txt" >>"$work/sweep.times"
        cut -d' ' -f3 <"$work/one.txt" >>"$work/sweep.cpu"
      done
      s=$(median <"$work/sweep.times")
      c=$(median <"$work/sweep.cpu")
      printf 'buffer %8d  staging %8d  %7.3f s  %5s MB/s  cpu %5.2f s\n' "$buffer" "$staging" "$s" "$(mb "$s")" "$c"
    done
  done
fi
