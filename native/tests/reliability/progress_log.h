#pragma once

// A progress callback that records what the library tells the host, and
// checks on the spot what must hold for every record.
#include <cstdint>
#include <string>
#include <thread>

#include "truvello.h"

namespace truvello::reliability {

struct ProgressLog {
  // Set by the host before the run: the thread that calls truvello_run.
  std::thread::id host_thread = std::this_thread::get_id();

  std::uint64_t calls = 0;
  std::uint64_t final_calls = 0;  // phases 3, 4 and 5
  std::uint32_t last_phase = 0;
  std::uint32_t workers = 0;
  // The first broken promise seen, empty while there is none.
  std::string problem;
};

// The truvello_progress_fn that fills a ProgressLog passed as user_data.
void log_progress(const truvello_progress_record* record, void* log);

// Checks one record against the promises every record keeps: called on the
// host's thread, a known phase, a fraction within [0, 1], a loop record's
// elapsed time within its phase, no record after the final one. Returns the
// first problem, or "".
std::string progress_problem(const ProgressLog& log, const truvello_progress_record& record);

bool is_final_phase(std::uint32_t phase);

}  // namespace truvello::reliability
