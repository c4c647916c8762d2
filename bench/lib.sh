# Shell functions the crawl comparisons share. Sourced, not run: each sets or
# uses the variables named in its comment, `top` the top of the source tree.
# shellcheck shell=bash disable=SC2034,SC2154

# The trovewick-cli to measure, into `cli`: TROVEWICK_CLI names another build
# (no build then), so two builds can be compared; otherwise the bench preset's
# trovewick-cli, in build/bench, is built and used.
bench_cli() {
    if [ -n "${TROVEWICK_CLI:-}" ]; then
        cli=$(realpath "$TROVEWICK_CLI")
        return
    fi
    (
        cd "$top" || exit
        cmake --preset bench >/dev/null
        cmake --build --preset bench --target trovewick-cli >/dev/null
    )
    cli="$top/build/bench/src/app/trovewick-cli"
}

# A temp folder, into `tmp`, removed on exit together with the server started
# by start_nginx.
bench_tmp() {
    tmp=$(mktemp -d)
    server=
    trap '[ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null; rm -rf "$tmp"' EXIT
}

# A loopback port nobody listens on.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

# Starts Debian's nginx serving the server blocks read from standard input:
# one process, in the foreground, everything it writes kept in `tmp`, its pid
# into `server`. The access log gives "STATUS METHOD PATH" a line.
start_nginx() {
    {
        cat <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $tmp/nginx.pid;
error_log $tmp/error.log;
events { worker_connections 1024; }
http {
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    log_format pages '\$status \$request_method \$uri';
    access_log $tmp/access.log pages;
    client_body_temp_path $tmp/body;
    proxy_temp_path $tmp/proxy;
    fastcgi_temp_path $tmp/fastcgi;
    uwsgi_temp_path $tmp/uwsgi;
    scgi_temp_path $tmp/scgi;
    gzip off;
    keepalive_timeout 60s;
    keepalive_requests 100000;
EOF
        cat
        echo "}"
    } >"$tmp/nginx.conf"
    /usr/sbin/nginx -e "$tmp/error.log" -p "$tmp" -c "$tmp/nginx.conf" &
    server=$!
}

# Waits for URL to answer; further arguments go to curl (a CA, say).
wait_for() {
    local url=$1
    shift
    for _ in $(seq 50); do
        curl -sf -o /dev/null --noproxy '*' "$@" "$url" && return
        sleep 0.1
    done
    echo "$url does not answer" >&2
    cat "$tmp/error.log" >&2
    return 1
}

# Runs a command without any proxy from the environment.
noproxy=(env http_proxy= https_proxy= HTTP_PROXY= HTTPS_PROXY= all_proxy= ALL_PROXY= no_proxy=)

# measure OUT ERR COMMAND...: runs COMMAND with its standard output to the
# file OUT and its standard error added to ERR, and prints
# "wall_s cpu_s maxrss_kb exit_status" for that child alone.
measure() {
    local out=$1 err=$2
    shift 2
    python3 - "$out" "$@" <<'PY' 2>>"$err"
import os, subprocess, sys, time
with open(sys.argv[1], "wb") as out:
    start = time.perf_counter()
    child = subprocess.Popen(sys.argv[2:], stdin=subprocess.DEVNULL, stdout=out)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
print(f"{wall:.6f} {usage.ru_utime + usage.ru_stime:.6f} {usage.ru_maxrss} {os.waitstatus_to_exitcode(status)}")
PY
}
