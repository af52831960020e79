#include "commands/fleet_command.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <thread>

#include "commands/export_file.h"
#include "document/fleet_reader.h"
#include "document/json_text.h"
#include "output/fleet_report.h"
#include "output/html_report.h"

namespace truvello::cli {

namespace {

namespace fs = std::filesystem;

// Documents are parsed on a few threads: parsing is nearly all of the work,
// and each file is independent of the others.
std::vector<FleetRead> read_all(const std::vector<std::string>& files) {
  std::vector<FleetRead> reads(files.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < files.size(); i = next++) reads[i] = read_fleet_record(files[i]);
  };
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  {
    std::vector<std::jthread> workers;
    for (unsigned t = 1; t < threads && t < files.size(); ++t) workers.emplace_back(work);
    work();
  }  // the workers are joined here
  return reads;
}

}  // namespace

std::vector<std::string> fleet_files(const std::vector<std::string>& paths, std::vector<std::string>& problems) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
      files.push_back(path);  // read_fleet_record says what is wrong with it, if anything
      continue;
    }
    fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      std::error_code type_error;
      if (it->path().extension() == ".json" && !it->is_directory(type_error)) files.push_back(it->path().string());
    }
    if (ec) problems.push_back(path + ": cannot walk: " + ec.message());
  }
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  return files;
}

CommandOutput fleet_command(const FleetOptions& options) {
  CommandOutput output;
  std::vector<std::string> unreadable;
  const std::vector<std::string> files = fleet_files(options.paths, unreadable);
  std::vector<FleetRead> reads = read_all(files);
  std::vector<FleetRecord> records;
  records.reserve(reads.size());
  for (FleetRead& read : reads) {
    if (read.record) {
      records.push_back(std::move(*read.record));
    } else {
      unreadable.push_back(std::move(read.error));
    }
  }
  reads.clear();
  for (const std::string& line : unreadable) output.err += "truvello: " + line + "\n";
  if (records.empty()) {
    output.exit_code = kExitFailed;
    output.err += "truvello: no readable document among " + std::to_string(files.size()) + " files\n";
    return output;
  }
  const FleetView view = fleet_view(records);
  output.out = options.json ? json_text(fleet_json(view, unreadable)) : fleet_table(view, unreadable.size());
  const struct {
    const std::string& path;
    std::string (*render)(const FleetView&, std::size_t);
  } exports[] = {
      {options.export_markdown, [](const FleetView& v, std::size_t u) { return fleet_markdown(v, u); }},
      {options.export_html,
       [](const FleetView& v, std::size_t u) { return fleet_html(v, u, report_date(std::time(nullptr))); }},
  };
  for (const auto& e : exports) {
    if (e.path.empty()) continue;
    const std::string failure = write_export(e.path, e.render(view, unreadable.size()));
    if (!failure.empty()) {
      output.err += failure;
      output.exit_code = kExitFailed;
    }
  }
  return output;
}

}  // namespace truvello::cli
