#include "machine/thread_text.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "machine/machine_text.h"

namespace truvello::cli {

namespace {

constexpr std::string_view kSpace = " \t\r\n";
constexpr std::string_view kWorkerPrefix = "truvello-";

// The next white-space separated word of `rest`, consumed; empty at the end.
std::string_view next_word(std::string_view& rest) {
  const std::size_t begin = rest.find_first_not_of(kSpace);
  if (begin == std::string_view::npos) {
    rest = {};
    return {};
  }
  const std::size_t end = std::min(rest.find_first_of(kSpace, begin), rest.size());
  const std::string_view word = rest.substr(begin, end - begin);
  rest.remove_prefix(end);
  return word;
}

std::optional<unsigned> cpu_number(std::string_view text) {
  const auto value = parse_counter(text);
  if (!value || *value >= kCpuNumberLimit) return std::nullopt;
  return static_cast<unsigned>(*value);
}

std::optional<std::vector<unsigned>> cpu_list(const std::optional<std::string>& text) {
  return text ? parse_cpu_list(*text) : std::nullopt;
}

bool listed(const std::optional<std::vector<unsigned>>& list, unsigned cpu) {
  return list && std::binary_search(list->begin(), list->end(), cpu);
}

}  // namespace

std::optional<SchedStat> parse_schedstat(std::string_view text) {
  const auto run = parse_counter(next_word(text));
  const auto wait = parse_counter(next_word(text));
  const auto slices = parse_counter(next_word(text));
  if (!run || !wait || !slices || !next_word(text).empty()) return std::nullopt;
  return SchedStat{*run, *wait, *slices};
}

std::optional<TaskStat> parse_task_stat(std::string_view text) {
  const std::size_t open = text.find('(');
  const std::size_t close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;
  std::string_view rest = text.substr(close + 1);
  // Fields are numbered from 1, the first after the name being field 3.
  constexpr int kUtime = 14, kStime = 15, kProcessor = 39;
  std::optional<std::uint64_t> utime, stime;
  std::optional<unsigned> processor;
  for (int field = 3; field <= kProcessor; ++field) {
    const std::string_view word = next_word(rest);
    if (word.empty()) return std::nullopt;
    if (field == kUtime) utime = parse_counter(word);
    if (field == kStime) stime = parse_counter(word);
    if (field == kProcessor) processor = cpu_number(word);
  }
  if (!utime || !stime || !processor || *stime > std::numeric_limits<std::uint64_t>::max() - *utime)
    return std::nullopt;
  return TaskStat{*processor, *utime + *stime};
}

std::optional<std::uint64_t> parse_involuntary_switches(std::string_view status) {
  constexpr std::string_view kKey = "nonvoluntary_ctxt_switches:";
  while (!status.empty()) {
    const std::size_t end = std::min(status.find('\n'), status.size());
    const std::string_view line = status.substr(0, end);
    if (line.substr(0, kKey.size()) == kKey) return parse_counter(line.substr(kKey.size()));
    status.remove_prefix(std::min(end + 1, status.size()));
  }
  return std::nullopt;
}

std::optional<unsigned> worker_index(std::string_view comm) {
  if (!comm.empty() && comm.back() == '\n') comm.remove_suffix(1);
  if (comm.substr(0, kWorkerPrefix.size()) != kWorkerPrefix) return std::nullopt;
  const std::string_view digits = comm.substr(kWorkerPrefix.size());
  unsigned index = 0;
  const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
  if (digits.empty() || ec != std::errc{} || ptr != digits.data() + digits.size()) return std::nullopt;
  return index;
}

std::vector<std::string> core_types(const std::vector<unsigned>& cpus, const std::optional<std::string>& core_list,
                                    const std::optional<std::string>& atom_list) {
  const auto core = cpu_list(core_list);
  const auto atom = cpu_list(atom_list);
  std::vector<std::string> types;
  if (!core && !atom) return types;
  types.reserve(cpus.size());
  for (const unsigned cpu : cpus) {
    types.emplace_back(listed(core, cpu) ? "core" : listed(atom, cpu) ? "atom" : "unknown");
  }
  return types;
}

}  // namespace truvello::cli
