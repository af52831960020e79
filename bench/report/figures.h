#pragma once

#include <string>

#include "table.h"

namespace truvello::report {

// How the report runs. Every count is a number of repetitions whose
// min/median/max are printed; verdicts are taken on the median.
struct Options {
  std::string self;          // this program, re-run for the probes
  std::string kernel_bench;  // the step microbenchmark; empty: measure here
  std::string cli;           // the truvello command; empty: figure 7 skipped
  int overhead_pairs = 7;
  int scaling_pairs = 3;
  int stability_runs = 3;
  int cancel_runs = 20;
  int first_progress_runs = 10;
};

// Each figure appends its rows (and notes) to the table. Figures that need
// the library's rate take it from the library, compare it with a reference
// measured in the same process, alternating the two, and print ratios.
void kernel_step_figure(const Options& options, Table& table);     // 1
void overhead_figure(const Options& options, Table& table);        // 2
void scaling_figure(const Options& options, Table& table);         // 3
void stability_figure(const Options& options, Table& table);       // 4
void responsiveness_figure(const Options& options, Table& table);  // 5
void footprint_figure(const Options& options, Table& table);       // 6
void detection_figure(const Options& options, Table& table);       // 7

// Probe modes of this program, run in a child process.
// Resident memory added by one benchmark 2 run of a fresh process: prints
// "<added bytes> <workers>".
int footprint_probe();
// Keeps `threads` threads spinning until killed: the competing process of
// figure 7.
int burn(unsigned threads);

}  // namespace truvello::report
