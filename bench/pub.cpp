// Timestamping MQTT publisher for the benchmarks.
//   bench_pub PORT TOPIC trigger COUNT INTERVAL_MS PAYLOAD
//     publishes PAYLOAD COUNT times, one every INTERVAL_MS (QoS 0), and prints
//     "pub <CLOCK_MONOTONIC ns just before the publish call> <index>" for each.
//   bench_pub PORT TOPIC burst COUNT QOS PREFIX
//     publishes PREFIX1 .. PREFIX<COUNT> as fast as the library takes them, waits until
//     the library reports each one sent (QoS 0) or acknowledged (QoS 1), and prints
//     "burst_start", "burst_queued" and "burst_acked" stamps.
//   bench_pub PORT TOPIC once PAYLOAD
//     publishes PAYLOAD once at QoS 1 and prints its "pub" stamp.
#include <mosquitto.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::int64_t mono() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::atomic<bool> g_connected{false};
std::atomic<long> g_published{0};

void onConnect(mosquitto*, void*, int rc) {
  if (rc == 0) g_connected = true;
}
void onPublish(mosquitto*, void*, int) { ++g_published; }

void sleepUntil(std::int64_t ns) {
  timespec ts{};
  ts.tv_sec = ns / 1000000000;
  ts.tv_nsec = ns % 1000000000;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_pub PORT TOPIC trigger COUNT INTERVAL_MS PAYLOAD\n"
               "       bench_pub PORT TOPIC burst COUNT QOS PREFIX\n"
               "       bench_pub PORT TOPIC once PAYLOAD\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return usage();
  const int port = std::atoi(argv[1]);
  const std::string topic = argv[2];
  const std::string mode = argv[3];
  mosquitto_lib_init();
  mosquitto* m = mosquitto_new(nullptr, true, nullptr);
  if (!m) return 1;
  mosquitto_connect_callback_set(m, onConnect);
  mosquitto_publish_callback_set(m, onPublish);
  // The burst is meant to be as fast as the client can go: no in-flight cap on our side.
  mosquitto_int_option(m, MOSQ_OPT_SEND_MAXIMUM, 65535);
  if (mosquitto_connect(m, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
    std::fprintf(stderr, "bench_pub: cannot connect to 127.0.0.1:%d\n", port);
    return 1;
  }
  if (mosquitto_loop_start(m) != MOSQ_ERR_SUCCESS) return 1;
  for (int i = 0; i < 500 && !g_connected; ++i) usleep(10000);
  if (!g_connected) {
    std::fprintf(stderr, "bench_pub: no CONNACK\n");
    return 1;
  }
  int rc = 0;
  if (mode == "trigger" && argc == 7) {
    const long count = std::atol(argv[4]);
    const std::int64_t interval = std::atol(argv[5]) * 1000000LL;
    const char* payload = argv[6];
    const int len = static_cast<int>(std::strlen(payload));
    std::int64_t next = mono() + interval;
    for (long i = 0; i < count; ++i) {
      sleepUntil(next);
      const std::int64_t t = mono();
      if (mosquitto_publish(m, nullptr, topic.c_str(), len, payload, 0, false) != 0) rc = 1;
      std::printf("pub %lld %ld\n", static_cast<long long>(t), i);
      std::fflush(stdout);
      next += interval;
    }
    for (int i = 0; i < 300 && g_published < count; ++i) usleep(10000);
  } else if (mode == "burst" && argc == 7) {
    const long count = std::atol(argv[4]);
    const int qos = std::atoi(argv[5]);
    const std::string prefix = argv[6];
    std::printf("burst_start %lld\n", static_cast<long long>(mono()));
    for (long i = 1; i <= count; ++i) {
      const std::string p = prefix + std::to_string(i);
      if (mosquitto_publish(m, nullptr, topic.c_str(), static_cast<int>(p.size()), p.data(), qos,
                            false) != 0)
        rc = 1;
    }
    std::printf("burst_queued %lld\n", static_cast<long long>(mono()));
    for (int i = 0; i < 3000 && g_published < count; ++i) usleep(1000);
    std::printf("burst_acked %lld %ld\n", static_cast<long long>(mono()), g_published.load());
  } else if (mode == "once" && argc == 5) {
    const int len = static_cast<int>(std::strlen(argv[4]));
    const std::int64_t t = mono();
    if (mosquitto_publish(m, nullptr, topic.c_str(), len, argv[4], 1, false) != 0) rc = 1;
    std::printf("pub %lld 0\n", static_cast<long long>(t));
    for (int i = 0; i < 300 && g_published < 1; ++i) usleep(10000);
  } else {
    return usage();
  }
  std::fflush(stdout);
  mosquitto_disconnect(m);
  mosquitto_loop_stop(m, false);
  mosquitto_destroy(m);
  mosquitto_lib_cleanup();
  return rc;
}
