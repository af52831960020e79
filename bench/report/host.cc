#include "host.h"

#include <fcntl.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "machine/machine_text.h"
#include "process_threads.h"

namespace truvello::report {
namespace {

std::optional<std::string> lscpu_model() {
  std::FILE* pipe = popen("lscpu 2>/dev/null", "r");
  if (pipe == nullptr) return std::nullopt;
  std::optional<std::string> found;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    const std::string text = line;
    if (!found && text.rfind("Model name:", 0) == 0) {
      found = "Model name: " + std::string(cli::trim(std::string_view(text).substr(11)));
    }
  }
  pclose(pipe);
  return found;
}

// Reads a small /proc file into `buffer` with plain system calls.
std::optional<std::size_t> read_small_file(const char* path, char* buffer, std::size_t size) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const ssize_t n = read(fd, buffer, size - 1);
  close(fd);
  if (n <= 0) return std::nullopt;
  buffer[n] = '\0';
  return static_cast<std::size_t>(n);
}

// Adds one thread's /proc schedstat ("<on cpu ns> <waiting ns> <slices>").
bool add_schedstat(const char* path, ThreadTimes& times) {
  char buffer[128];
  if (!read_small_file(path, buffer, sizeof buffer)) return false;
  unsigned long long on_cpu = 0, waiting = 0;
  if (std::sscanf(buffer, "%llu %llu", &on_cpu, &waiting) != 2) return false;
  times.on_cpu_seconds += static_cast<double>(on_cpu) / 1e9;
  times.waiting_seconds += static_cast<double>(waiting) / 1e9;
  ++times.threads;
  return true;
}

// The "processor" field (the 39th) of a thread's /proc stat line.
std::optional<int> last_cpu_of(const char* stat_path) {
  char buffer[1024];
  if (!read_small_file(stat_path, buffer, sizeof buffer)) return std::nullopt;
  const char* p = std::strrchr(buffer, ')');  // the name may hold spaces
  if (p == nullptr) return std::nullopt;
  constexpr int kFieldsAfterName = 37;  // fields 3 to 39
  int field = 2;
  for (++p; *p != '\0' && field < kFieldsAfterName + 2; ++p) {
    if (*p == ' ') ++field;
  }
  int cpu = -1;
  if (field != kFieldsAfterName + 2 || std::sscanf(p, "%d", &cpu) != 1) return std::nullopt;
  return cpu;
}

}  // namespace

std::string cpu_model_line() {
  if (auto model = lscpu_model()) return *model;
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::ostringstream text;
  text << cpuinfo.rdbuf();
  return "Model name: " + cli::cpu_model(text.str()).value_or("unknown");
}

unsigned online_cpus() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<unsigned>(n) : 1u;
}

std::optional<cli::LoadAverage> load_average() {
  char buffer[128];
  if (!read_small_file("/proc/loadavg", buffer, sizeof buffer)) return std::nullopt;
  return cli::parse_loadavg(buffer);
}

std::string load_average_text() {
  const auto load = load_average();
  if (!load) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load->one, load->five, load->fifteen);
  return text;
}

std::optional<double> load_average_one_minute() {
  if (const auto load = load_average()) return load->one;
  return std::nullopt;
}

std::optional<long long> anonymous_resident_bytes() {
  char buffer[4096];
  if (!read_small_file("/proc/self/status", buffer, sizeof buffer)) return std::nullopt;
  const char* line = std::strstr(buffer, "\nRssAnon:");
  long long kib = 0;
  if (line == nullptr || std::sscanf(line + 9, "%lld", &kib) != 1) return std::nullopt;
  return kib * 1024;
}

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::optional<ThreadTimes> worker_thread_times() {
  ThreadTimes times;
  testing::for_each_worker_thread([&times](const char* task_id, const char*) {
    char path[320];
    const bool first = times.threads == 0;
    std::snprintf(path, sizeof path, "/proc/self/task/%s/schedstat", task_id);
    if (!add_schedstat(path, times) || !first) return;
    std::snprintf(path, sizeof path, "/proc/self/task/%s/stat", task_id);
    times.last_cpu = last_cpu_of(path).value_or(-1);
  });
  if (times.threads == 0) return std::nullopt;
  return times;
}

std::optional<ThreadTimes> this_thread_times() {
  ThreadTimes times;
  if (!add_schedstat("/proc/thread-self/schedstat", times)) return std::nullopt;
  times.last_cpu = sched_getcpu();
  return times;
}

bool pin_this_thread(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return sched_setaffinity(0, sizeof set, &set) == 0;
}

}  // namespace truvello::report
