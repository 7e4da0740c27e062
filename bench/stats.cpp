// Turns the raw stamps of bench/run.sh into the figures of RESULTS.md (markdown rows).
//   bench_stats fx      LABEL RUNDIR...  pub.txt + trace.txt: publish -> first mixed sample, stages
//   bench_stats onsets  LABEL RUNDIR...  pub.txt + onsets.txt: publish -> sound heard on the sink
//   bench_stats music   LABEL RUNDIR...  pub.txt + trace.txt: play:room -> first sample; tick work
//   bench_stats burst   LABEL COUNT RUNDIR...  pub.txt + trace.txt: order, loss, drain, lateness
// Each figure is computed per run; the row shows the median over the runs and, in brackets,
// the smallest and largest run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Event {
  std::string stage;
  long long ns = 0;
  long long num = 0;
  std::string text;
};

std::vector<Event> readEvents(const std::string& path) {
  std::vector<Event> out;
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line)) {
    std::istringstream is(line);
    Event e;
    if (!(is >> e.stage >> e.ns)) continue;
    is >> e.num;
    std::getline(is, e.text);
    if (!e.text.empty() && e.text[0] == ' ') e.text.erase(0, 1);
    out.push_back(e);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Event& a, const Event& b) { return a.ns < b.ns; });
  return out;
}

std::vector<long long> stamps(const std::vector<Event>& ev, const std::string& stage) {
  std::vector<long long> v;
  for (const auto& e : ev)
    if (e.stage == stage) v.push_back(e.ns);
  return v;
}

double q(std::vector<double> v, double p) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  std::size_t k = static_cast<std::size_t>(p * static_cast<double>(v.size()) + 0.999999);
  k = std::clamp<std::size_t>(k, 1, v.size());
  return v[k - 1];
}
double median(const std::vector<double>& v) { return q(v, 0.5); }
double maxOf(const std::vector<double>& v) {
  return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}

// The median of the runs' figures (the mean of the middle two for an even count).
double midpoint(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Figures of several runs: name -> one value per run.
using Runs = std::map<std::string, std::vector<double>>;

std::string cell(std::vector<double> v, int digits = 2) {
  // A negative figure stands for "nothing to measure" in that run.
  std::erase_if(v, [](double x) { return x < 0; });
  if (v.empty()) return "n/a";
  if (std::all_of(v.begin(), v.end(), [](double x) { return x == static_cast<long long>(x); }))
    digits = 0;
  char b[128];
  const double lo = *std::min_element(v.begin(), v.end());
  const double hi = *std::max_element(v.begin(), v.end());
  if (v.size() == 1)
    std::snprintf(b, sizeof b, "%.*f", digits, v[0]);
  else
    std::snprintf(b, sizeof b, "%.*f [%.*f–%.*f]", digits, midpoint(v), digits, lo, digits, hi);
  return b;
}

void row(const std::string& label, const Runs& r, const std::vector<std::string>& keys,
         int digits = 2) {
  std::printf("| %s |", label.c_str());
  for (const auto& k : keys) {
    const auto it = r.find(k);
    std::printf(" %s |", it == r.end() ? "n/a" : cell(it->second, digits).c_str());
  }
  std::printf("\n");
}

constexpr double kMs = 1e6;

// The events of stage s between from (inclusive) and to (exclusive).
const Event* firstIn(const std::vector<Event>& ev, const std::string& s, long long from,
                     long long to, long long num = -1) {
  for (const auto& e : ev)
    if (e.stage == s && e.ns >= from && e.ns < to && (num < 0 || e.num == num)) return &e;
  return nullptr;
}

int fx(const std::string& label, const std::vector<std::string>& dirs) {
  Runs r;
  const char* stageNames[] = {"broker", "handover", "log",     "interp",
                              "create", "toplay",   "callback"};
  for (const auto& d : dirs) {
    const auto pubs = stamps(readEvents(d + "/pub.txt"), "pub");
    const auto ev = readEvents(d + "/trace.txt");
    std::vector<double> total;
    std::map<std::string, std::vector<double>> stage;
    int missed = 0;
    for (std::size_t i = 0; i < pubs.size(); ++i) {
      const long long from = pubs[i];
      const long long to = i + 1 < pubs.size() ? pubs[i + 1] : from + 2000000000LL;
      const Event* rc = firstIn(ev, "recv", from, to);
      const Event* gu = rc ? firstIn(ev, "gui", rc->ns, to) : nullptr;
      const Event* cm = gu ? firstIn(ev, "cmd", gu->ns, to) : nullptr;
      const Event* cr = cm ? firstIn(ev, "create", cm->ns, to) : nullptr;
      const Event* cd = cr ? firstIn(ev, "created", cr->ns, to) : nullptr;
      const Event* pl = cd ? firstIn(ev, "play", cd->ns, to, cd->num) : nullptr;
      const Event* so = pl ? firstIn(ev, "sound", pl->ns, to + 1000000000LL, pl->num) : nullptr;
      if (!so) {
        ++missed;
        continue;
      }
      total.push_back((so->ns - from) / kMs);
      const long long t[] = {from, rc->ns, gu->ns, cm->ns, cr->ns, cd->ns, pl->ns, so->ns};
      for (int k = 0; k < 7; ++k) stage[stageNames[k]].push_back((t[k + 1] - t[k]) / kMs);
    }
    r["n"].push_back(static_cast<double>(total.size()));
    r["missed"].push_back(missed);
    r["p50"].push_back(q(total, 0.5));
    r["p90"].push_back(q(total, 0.9));
    r["p99"].push_back(q(total, 0.99));
    r["max"].push_back(maxOf(total));
    for (const auto& s : stageNames) r[std::string("s_") + s].push_back(median(stage[s]));
  }
  row(label, r, {"n", "missed", "p50", "p90", "p99", "max"});
  std::printf("STAGES");
  row(label, r,
      {"s_broker", "s_handover", "s_log", "s_interp", "s_create", "s_toplay", "s_callback"}, 3);
  return 0;
}

int onsets(const std::string& label, const std::vector<std::string>& dirs) {
  Runs r;
  for (const auto& d : dirs) {
    const auto pubs = stamps(readEvents(d + "/pub.txt"), "pub");
    const auto on = stamps(readEvents(d + "/onsets.txt"), "onset");
    std::vector<double> lat;
    int missed = 0;
    for (std::size_t i = 0; i < pubs.size(); ++i) {
      const long long from = pubs[i];
      const long long to = i + 1 < pubs.size() ? pubs[i + 1] : from + 300000000LL;
      const auto it = std::lower_bound(on.begin(), on.end(), from);
      if (it == on.end() || *it >= to) {
        ++missed;
        continue;
      }
      lat.push_back((*it - from) / kMs);
    }
    r["n"].push_back(static_cast<double>(lat.size()));
    r["missed"].push_back(missed);
    r["p50"].push_back(q(lat, 0.5));
    r["p90"].push_back(q(lat, 0.9));
    r["p99"].push_back(q(lat, 0.99));
    r["max"].push_back(maxOf(lat));
  }
  row(label, r, {"n", "missed", "p50", "p90", "p99", "max"});
  // For the side-by-side ratio in run.sh.
  std::fprintf(stderr, "P50 %.3f %s\n", midpoint(r["p50"]), label.c_str());
  return 0;
}

int music(const std::string& label, const std::vector<std::string>& dirs) {
  Runs r;
  for (const auto& d : dirs) {
    const auto pubs = stamps(readEvents(d + "/pub.txt"), "pub");
    const auto ev = readEvents(d + "/trace.txt");
    std::vector<double> lat, startTicks, idleTicks;
    int missed = 0;
    for (std::size_t i = 0; i < pubs.size(); ++i) {
      const long long from = pubs[i];
      const long long to = i + 1 < pubs.size() ? pubs[i + 1] : from + 3000000000LL;
      const Event* so = firstIn(ev, "sound", from, to);
      if (!so) {
        ++missed;
        continue;
      }
      lat.push_back((so->ns - from) / kMs);
    }
    for (const auto& e : ev) {
      if (e.stage != "tick") continue;
      const bool started = firstIn(ev, "create", e.ns, e.ns + e.num) != nullptr;
      (started ? startTicks : idleTicks).push_back(e.num / kMs);
    }
    r["n"].push_back(static_cast<double>(lat.size()));
    r["missed"].push_back(missed);
    r["p50"].push_back(q(lat, 0.5));
    r["max"].push_back(maxOf(lat));
    r["tick_start_p50"].push_back(median(startTicks));
    r["tick_start_max"].push_back(maxOf(startTicks));
    r["tick_idle_p50"].push_back(median(idleTicks));
  }
  row(label, r, {"n", "missed", "p50", "max", "tick_start_p50", "tick_start_max", "tick_idle_p50"},
      3);
  return 0;
}

int burst(const std::string& label, long count, const std::vector<std::string>& dirs) {
  Runs r;
  for (const auto& d : dirs) {
    const auto pubEv = readEvents(d + "/pub.txt");
    const auto start = stamps(pubEv, "burst_start");
    const auto ev = readEvents(d + "/trace.txt");
    if (start.empty()) continue;
    long executed = 0, outOfOrder = 0, expected = 1;
    long long last = 0;
    std::vector<bool> seen(static_cast<std::size_t>(count) + 1, false);
    for (const auto& e : ev) {
      if (e.stage != "cmd" || e.ns < start[0] || e.text.rfind("volume:", 0) != 0) continue;
      const long n = std::atol(e.text.c_str() + 7);
      if (n < 1 || n > count) continue;
      ++executed;
      if (n != expected) ++outOfOrder;
      expected = n + 1;
      seen[static_cast<std::size_t>(n)] = true;
      last = e.ns;
    }
    long lost = 0;
    for (long n = 1; n <= count; ++n)
      if (!seen[static_cast<std::size_t>(n)]) ++lost;
    double late = 0;
    long long prev = 0;
    for (const auto& e : ev) {
      if (e.stage != "tick100") continue;
      if (prev != 0 && e.ns > start[0] && prev < last + 100000000LL)
        late = std::max(late, (e.ns - prev) / kMs - 100.0);
      prev = e.ns;
    }
    r["executed"].push_back(executed);
    r["lost"].push_back(lost);
    r["reordered"].push_back(outOfOrder);
    r["drain"].push_back(last ? (last - start[0]) / kMs : -1);
    r["late"].push_back(late);
  }
  row(label, r, {"executed", "lost", "reordered", "drain", "late"}, 1);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: bench_stats fx|onsets|music LABEL DIR... | burst LABEL COUNT DIR...\n");
    return 2;
  }
  const std::string mode = argv[1];
  const std::string label = argv[2];
  if (mode == "burst") {
    std::vector<std::string> dirs(argv + 4, argv + argc);
    return burst(label, std::atol(argv[3]), dirs);
  }
  std::vector<std::string> dirs(argv + 3, argv + argc);
  if (mode == "fx") return fx(label, dirs);
  if (mode == "onsets") return onsets(label, dirs);
  if (mode == "music") return music(label, dirs);
  return 2;
}
