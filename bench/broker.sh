# Sourced by the benchmarks that run their own mosquitto on 127.0.0.1. The caller defines
# MOSQUITTO (the broker's path), log, and broker_started PID (how it keeps track of its
# processes: a list to kill at the end, a file per run; its second argument is DIR).

# A port nobody listens on now.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_broker DIR PORT [CONFIG_LINE...]: a broker with its configuration, log and errors in
# DIR, listening on 127.0.0.1:PORT; sets BROKER_PID once it accepts connections. A broker
# that dies at once (the port taken meanwhile) is started again, up to ten times.
start_broker() {
  local dir=$1 port=$2 attempt
  shift 2
  printf '%s\n' "listener $port 127.0.0.1" "allow_anonymous true" "persistence false" \
    "log_dest file $dir/broker.log" "log_type subscribe" "log_type error" "$@" "user root" \
    >"$dir/broker.conf"
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    "$MOSQUITTO" -c "$dir/broker.conf" 2>>"$dir/broker.err" &
    BROKER_PID=$!
    broker_started "$BROKER_PID" "$dir"
    for _ in $(seq 1 200); do
      if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
      kill -0 "$BROKER_PID" 2>/dev/null || break
      sleep 0.01
    done
    kill "$BROKER_PID" 2>/dev/null || true
    wait "$BROKER_PID" 2>/dev/null || true
    sleep 0.2
  done
  log "broker on port $port did not start"
  return 1
}
