#!/usr/bin/env bash
# Compares the two candidate HTTP libraries of the web remote, libmicrohttpd and cpp-httplib
# (Debian bookworm's packages), on armhf: the same small server (GET /api/record answering a
# record-sized JSON text, GET /api/events streaming it as Server-Sent Events, one thread per
# connection) is cross-built against each, and the script prints
#   - the stripped size of the program and of each library it loads beyond libc/libstdc++
#     (the closure of DT_NEEDED in the sysroot), and their sum;
#   - the resident memory under qemu-arm, idle and with 32 event streams open, minus that of
#     a program that only sleeps (same emulator, same C++ runtime): what the server adds;
#   - the same resident-memory figures natively on this machine (amd64), which are exact.
# Usage: bench/web_library_compare.sh [SYSROOT]   (default build-armhf-sysroot/, from
# scripts/armhf-sysroot.sh). cpp-httplib's armhf packages are unpacked into a scratch copy.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
sysroot=${1:-$repo/build-armhf-sysroot}
[ -d "$sysroot/usr/lib/arm-linux-gnueabihf" ] || { echo "no sysroot $sysroot (scripts/armhf-sysroot.sh)" >&2; exit 2; }
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# cpp-httplib for armhf with what it links (OpenSSL, Brotli, zlib), beside the sysroot.
overlay=$work/overlay
mkdir -p "$overlay" "$work/debs"
(cd "$work/debs" && apt-get download -qq -o APT::Sandbox::User=root \
    libcpp-httplib-dev:armhf libcpp-httplib0.11:armhf libssl3:armhf libbrotli1:armhf zlib1g:armhf >/dev/null)
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$overlay"; done
cp -a "$sysroot/." "$work/root" 2>/dev/null || true
cp -a "$overlay/." "$work/root"
root=$work/root

cat >"$work/mhd.cpp" <<'CPP'
#include <microhttpd.h>
#include <unistd.h>
#include <cstring>
#include <string>
static std::string g_record(1500, 'r');
static ssize_t Stream(void*, uint64_t, char* buf, size_t max) {
    sleep(1);
    std::string e = "data: " + g_record + "\n\n";
    size_t n = e.size() < max ? e.size() : max;
    memcpy(buf, e.data(), n);
    return (ssize_t)n;
}
static MHD_Result On(void*, MHD_Connection* c, const char* url, const char*, const char*, const char*,
                     size_t*, void**) {
    MHD_Response* r = strcmp(url, "/api/events") == 0
        ? MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, Stream, nullptr, nullptr)
        : MHD_create_response_from_buffer(g_record.size(), (void*)g_record.data(), MHD_RESPMEM_PERSISTENT);
    MHD_Result ret = MHD_queue_response(c, 200, r);
    MHD_destroy_response(r);
    return ret;
}
int main(int, char** argv) {
    MHD_Daemon* d = MHD_start_daemon(MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL,
                                     (uint16_t)atoi(argv[1]), nullptr, nullptr, On, nullptr,
                                     MHD_OPTION_THREAD_STACK_SIZE, (size_t)(256 * 1024), MHD_OPTION_END);
    if (!d) return 1;
    pause();
}
CPP
cat >"$work/httplib.cpp" <<'CPP'
#include <httplib.h>
#include <unistd.h>
int main(int, char** argv) {
    static std::string record(1500, 'r');
    httplib::Server s;
    s.new_task_queue = [] { return new httplib::ThreadPool(40); };
    s.Get("/api/record", [](const httplib::Request&, httplib::Response& r) { r.set_content(record, "application/json"); });
    s.Get("/api/events", [](const httplib::Request&, httplib::Response& r) {
        r.set_chunked_content_provider("text/event-stream", [](size_t, httplib::DataSink& sink) {
            sleep(1);
            std::string e = "data: " + record + "\n\n";
            return sink.write(e.data(), e.size());
        });
    });
    s.listen("127.0.0.1", atoi(argv[1]));
}
CPP
cat >"$work/idle.cpp" <<'CPP'
#include <unistd.h>
#include <string>
int main() { std::string s(100, 'x'); pause(); return (int)s.size(); }
CPP

libdirs=("$root/lib/arm-linux-gnueabihf" "$root/usr/lib/arm-linux-gnueabihf")
cross() {  # OUT SRC LIBS...
    local out=$1 src=$2
    shift 2
    arm-linux-gnueabihf-g++ -O2 -std=c++17 --sysroot="$root" -idirafter "$root/usr/include" -Wno-psabi \
        -o "$out" "$src" "${libdirs[@]/#/-L}" "${libdirs[@]/#/-Wl,-rpath-link,}" "$@" -lpthread
    arm-linux-gnueabihf-strip "$out"
}
cross "$work/mhd.arm" "$work/mhd.cpp" -lmicrohttpd
cross "$work/httplib.arm" "$work/httplib.cpp" -lcpp-httplib
cross "$work/idle.arm" "$work/idle.cpp"
g++ -O2 -std=c++17 -o "$work/mhd.x86" "$work/mhd.cpp" -lmicrohttpd -lpthread
g++ -O2 -std=c++17 -o "$work/httplib.x86" "$work/httplib.cpp" -lcpp-httplib -lpthread
g++ -O2 -std=c++17 -o "$work/idle.x86" "$work/idle.cpp"

# The libraries a program loads beyond the C and C++ runtime, found in the sysroot.
closure() {
    local -A seen=()
    local queue=("$1") f lib path
    while [ ${#queue[@]} -gt 0 ]; do
        f=${queue[0]}
        queue=("${queue[@]:1}")
        for lib in $(arm-linux-gnueabihf-readelf -d "$f" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'); do
            case $lib in libc.so* | libstdc++* | libgcc_s* | libm.so* | libpthread* | ld-linux*) continue ;; esac
            [ -z "${seen[$lib]:-}" ] || continue
            for d in "${libdirs[@]}"; do [ -e "$d/$lib" ] && path=$(readlink -f "$d/$lib") && break; done
            seen[$lib]=$path
            queue+=("$path")
        done
    done
    for lib in "${!seen[@]}"; do echo "$lib ${seen[$lib]}"; done | sort
}
stripped() { arm-linux-gnueabihf-strip -o "$work/s" "$1" && stat -c %s "$work/s"; }

rss() { awk '/VmRSS/ { print $2 }' "/proc/$1/status"; }  # KiB
# RSS of a server idle and with 32 streams, less that of the idle program; under RUNNER.
measure() {  # LABEL PROGRAM BASELINE PORT RUNNER...
    local label=$1 prog=$2 base=$3 port=$4
    shift 4
    "$@" "$base" &
    local bpid=$!
    "$@" "$prog" "$port" &
    local pid=$!
    sleep 3
    local b idle streams
    b=$(rss $bpid)
    idle=$(rss $pid)
    for i in $(seq 32); do curl -sN --max-time 6 "http://127.0.0.1:$port/api/events" >/dev/null & done
    sleep 4
    streams=$(rss $pid)
    printf '  %-22s idle %+6d KiB   32 streams %+6d KiB   (baseline %d KiB)\n' "$label" $((idle - b)) \
        $((streams - b)) "$b"
    wait $(jobs -p | grep -v -e "^$pid\$" -e "^$bpid\$") 2>/dev/null || true
    kill $pid $bpid
    wait $pid $bpid 2>/dev/null || true
}

echo "== stripped armhf sizes (bytes)"
for lib in mhd httplib; do
    total=$(stat -c %s "$work/$lib.arm")
    printf '  %-34s %9d\n' "$lib server program" "$total"
    while read -r name path; do
        size=$(stripped "$path")
        total=$((total + size))
        printf '    %-32s %9d\n' "$name" "$size"
    done < <(closure "$work/$lib.arm")
    printf '  %-34s %9d\n' "$lib total" "$total"
done
echo "== resident memory added (VmRSS less an idle C++ program's)"
qemu=(qemu-arm -L "$root")
measure "libmicrohttpd, armhf" "$work/mhd.arm" "$work/idle.arm" 18701 "${qemu[@]}"
measure "cpp-httplib, armhf" "$work/httplib.arm" "$work/idle.arm" 18702 "${qemu[@]}"
measure "libmicrohttpd, amd64" "$work/mhd.x86" "$work/idle.x86" 18703 env
measure "cpp-httplib, amd64" "$work/httplib.x86" "$work/idle.x86" 18704 env
