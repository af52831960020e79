#include "output/chart.h"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

#include "statistics/rate_stats.h"

namespace truvello::cli {

namespace {

constexpr double kMaxMagnitude = 1e300;  // far beyond any rate, far below overflow
constexpr int kMaxTicks = 100;           // a bound, whatever floating point does
constexpr double kPadShare = 0.05;       // room above and below the data, of its span

double sane(double value) {
  if (!std::isfinite(value)) return 0.0;
  return std::clamp(value, -kMaxMagnitude, kMaxMagnitude);
}

double round_step(double raw) {
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double normalised = raw / magnitude;
  const double factor = normalised <= 1.0 ? 1.0 : normalised <= 2.0 ? 2.0 : normalised <= 5.0 ? 5.0 : 10.0;
  return factor * magnitude;
}

bool usable(const truvello_sample_record& s) {
  return std::isfinite(s.t) && std::isfinite(s.dt) && s.dt > 0.0 && std::isfinite(s.rate);
}

std::vector<truvello_sample_record> usable_samples(std::span<const truvello_sample_record> samples) {
  std::vector<truvello_sample_record> out;
  std::copy_if(samples.begin(), samples.end(), std::back_inserter(out), usable);
  return out;
}

}  // namespace

Ticks round_ticks(double lo, double hi, int intervals, bool extend) {
  lo = sane(lo);
  hi = sane(hi);
  if (lo > hi) std::swap(lo, hi);
  const double magnitude = std::max(std::fabs(lo), std::fabs(hi));
  // A span that doubles cannot resolve is no span: widen it around its value.
  if (!(hi - lo > magnitude * 1e-12)) {
    const double pad = magnitude > 0.0 ? magnitude * 0.01 : 1.0;
    lo -= pad;
    hi += pad;
  }
  intervals = std::clamp(intervals, 1, kMaxTicks / 2);
  Ticks ticks;
  ticks.step = round_step((hi - lo) / intervals);
  if (extend) {
    ticks.lo = std::floor(lo / ticks.step) * ticks.step;
    ticks.hi = std::ceil(hi / ticks.step) * ticks.step;
  } else {
    ticks.lo = lo;
    ticks.hi = hi;
  }
  const double first = std::ceil(ticks.lo / ticks.step - 1e-9);
  const double slack = ticks.step * 1e-9;
  for (int i = 0; i < kMaxTicks; ++i) {
    const double value = (first + i) * ticks.step;
    if (value > ticks.hi + slack) break;
    ticks.values.push_back(std::clamp(value, ticks.lo, ticks.hi));
  }
  const double largest = std::max(std::fabs(ticks.lo), std::fabs(ticks.hi));
  for (double value : ticks.values) ticks.labels.push_back(tick_label(value, ticks.step, largest));
  return ticks;
}

namespace {

// The value axis of a chart over data from lo to hi (no data: 0 to 1), with
// room above and below. Rates and scores are never negative; an axis below
// zero would be wasted room.
Ticks value_ticks(double lo, double hi, int intervals) {
  if (lo > hi) {
    lo = 0.0;
    hi = 1.0;
  }
  const double pad = (hi - lo) * kPadShare;
  const double floor = lo >= 0.0 ? std::max(0.0, lo - pad) : lo - pad;
  Ticks ticks = round_ticks(floor, hi + pad, intervals, true);
  if (ticks.lo < 0.0 && lo >= 0.0) ticks = round_ticks(0.0, ticks.hi, intervals, true);
  return ticks;
}

}  // namespace

std::string tick_label(double value, double step, double largest_magnitude) {
  static constexpr std::array<const char*, 6> kPrefixes = {"", " k", " M", " G", " T", " P"};
  std::size_t prefix = 0;
  double unit = 1.0;
  while (prefix + 1 < kPrefixes.size() && largest_magnitude >= unit * 1000.0) {
    unit *= 1000.0;
    ++prefix;
  }
  const double scaled_step = std::fabs(step) / unit;
  int decimals = 0;
  if (scaled_step > 0.0 && std::isfinite(scaled_step)) {
    decimals = std::clamp(static_cast<int>(-std::floor(std::log10(scaled_step) + 1e-9)), 0, 6);
  }
  double scaled = value / unit;
  if (std::fabs(scaled) < scaled_step * 1e-6) scaled = 0.0;  // no "-0"
  return fmt::format("{:.{}f}{}", std::isfinite(scaled) ? scaled : 0.0, decimals, kPrefixes[prefix]);
}

double Scale::at(double value) const {
  const double span = domain_hi - domain_lo;
  if (!std::isfinite(value) || !(span > 0.0) || !std::isfinite(span)) return (pixel_lo + pixel_hi) / 2.0;
  const double share = std::clamp((value - domain_lo) / span, 0.0, 1.0);
  return pixel_lo + share * (pixel_hi - pixel_lo);
}

std::optional<RateSpread> rate_spread(std::span<const truvello_sample_record> samples) {
  const std::vector<truvello_sample_record> kept = usable_samples(samples);
  double seconds = 0.0;
  double weighted = 0.0;
  for (const truvello_sample_record& s : kept) {
    seconds += s.dt;
    weighted += s.rate * s.dt;
  }
  if (!(seconds > 0.0) || !std::isfinite(weighted)) return std::nullopt;
  RateSpread spread;
  spread.mean = weighted / seconds;
  if (kept.size() >= 2) {
    double sum = 0.0;
    for (const truvello_sample_record& s : kept) sum += (s.rate - spread.mean) * (s.rate - spread.mean) * s.dt;
    const double sd = std::sqrt(sum / seconds);
    if (std::isfinite(sd)) spread.sd = sd;
  }
  return spread;
}

ChartGeometry chart_geometry(std::span<const std::span<const truvello_sample_record>> runs, const ChartLayout& layout) {
  ChartGeometry g;
  g.layout = layout;

  std::vector<std::vector<truvello_sample_record>> kept;
  std::vector<std::optional<RateSpread>> spreads;
  double window = 0.0;
  double drift_window = 0.0;
  double lo = INFINITY;
  double hi = -INFINITY;
  const auto cover = [&](double v) {
    if (!std::isfinite(v)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  };
  for (std::span<const truvello_sample_record> run : runs) {
    kept.push_back(usable_samples(run));
    const std::vector<truvello_sample_record>& samples = kept.back();
    spreads.push_back(rate_spread(samples));
    for (const truvello_sample_record& s : samples) window = std::max(window, s.t);
    if (samples.size() >= kMinSamplesForDrift) drift_window = std::max(drift_window, samples.back().t);
    for (const truvello_sample_record& s : steady_samples(samples)) cover(s.rate);
    if (const auto& spread = spreads.back()) {
      cover(spread->mean);
      if (spread->sd) {
        cover(spread->mean - *spread->sd);
        cover(spread->mean + *spread->sd);
      }
    }
  }

  g.x_ticks = round_ticks(0.0, window > 0.0 ? window : 1.0, 6, false);
  g.y_ticks = value_ticks(lo, hi, 5);

  g.x = Scale{g.x_ticks.lo, g.x_ticks.hi, layout.left, layout.right};
  g.y = Scale{g.y_ticks.lo, g.y_ticks.hi, layout.bottom, layout.top};

  if (drift_window > 0.0) {
    g.first_third = Span{g.x.at(0.0), g.x.at(drift_window / 3.0)};
    g.last_third = Span{g.x.at(drift_window * 2.0 / 3.0), g.x.at(drift_window)};
  }

  for (std::size_t i = 0; i < kept.size(); ++i) {
    SeriesShape shape;
    double last_x = NAN;
    for (const truvello_sample_record& s : kept[i]) {
      const Step step{g.x.at(s.t - s.dt), g.x.at(s.t), g.y.at(s.rate)};
      shape.steps.push_back(step);
      // Contiguous samples join with a vertical; a gap (only in a hand-made
      // file) starts a new piece rather than inventing a line across it.
      const bool joined = std::isfinite(last_x) && std::fabs(step.x0 - last_x) < 0.05;
      if (joined) {
        shape.path += 'V';
      } else {
        shape.path += 'M';
        shape.path += coordinate(step.x0);
        shape.path += ' ';
      }
      shape.path += coordinate(step.y);
      shape.path += 'H';
      shape.path += coordinate(step.x1);
      last_x = step.x1;
    }
    if (const auto& spread = spreads[i]) {
      shape.mean_y = g.y.at(spread->mean);
      if (spread->sd && *spread->sd > 0.0) {
        shape.band_top = g.y.at(spread->mean + *spread->sd);
        shape.band_bottom = g.y.at(spread->mean - *spread->sd);
      }
    }
    g.series.push_back(std::move(shape));
  }
  return g;
}

ScoreChartGeometry score_chart_geometry(std::span<const ScoreGroup> groups, const ChartLayout& layout) {
  ScoreChartGeometry g;
  g.layout = layout;
  double lo = INFINITY;
  double hi = -INFINITY;
  const auto cover = [&](std::optional<double> v) {
    if (!v || !std::isfinite(*v)) return;
    lo = std::min(lo, *v);
    hi = std::max(hi, *v);
  };
  for (const ScoreGroup& group : groups) {
    for (const ScoreRun& run : group.runs) cover(run.score);
    cover(group.score);
    cover(group.low);
    cover(group.high);
  }
  g.y_ticks = value_ticks(lo, hi, 4);
  g.y = Scale{g.y_ticks.lo, g.y_ticks.hi, layout.bottom, layout.top};

  // Each group gets an equal share of the width; its points keep off the
  // share's edges so that neighbouring groups stay apart.
  const double share = (layout.right - layout.left) / static_cast<double>(std::max<std::size_t>(groups.size(), 1));
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const ScoreGroup& group = groups[i];
    ScoreGroupShape shape;
    shape.span = Span{layout.left + share * static_cast<double>(i), layout.left + share * static_cast<double>(i + 1)};
    const double inset = share * 0.12;
    // One place has no span: Scale puts it in the middle.
    shape.x = Scale{1.0, static_cast<double>(std::max<std::size_t>(group.places, 1)), shape.span.x0 + inset,
                    shape.span.x1 - inset};
    for (const ScoreRun& run : group.runs) {
      if (!std::isfinite(run.score)) continue;
      shape.points.push_back(
          ScorePoint{run.place, shape.x.at(static_cast<double>(run.place)), g.y.at(run.score), run.disturbed});
    }
    if (group.score && std::isfinite(*group.score)) shape.score_y = g.y.at(*group.score);
    if (group.low && group.high && std::isfinite(*group.low) && std::isfinite(*group.high)) {
      shape.band_top = g.y.at(std::max(*group.low, *group.high));
      shape.band_bottom = g.y.at(std::min(*group.low, *group.high));
    }
    g.groups.push_back(std::move(shape));
  }
  return g;
}

std::string fit_label(std::string_view text, std::size_t max_chars) {
  const auto is_start = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
  const auto chars = static_cast<std::size_t>(std::count_if(text.begin(), text.end(), is_start));
  if (chars <= max_chars) return std::string(text);
  if (max_chars == 0) return "";
  // Keep the last max_chars - 1 characters, after the ellipsis.
  std::size_t keep = max_chars - 1;
  std::size_t cut = text.size();
  while (cut > 0 && keep > 0) {
    --cut;
    if (is_start(text[cut])) --keep;
  }
  return "\u2026" + std::string(text.substr(cut));
}

std::string coordinate(double value) {
  if (!std::isfinite(value)) value = 0.0;
  value = std::clamp(value, -1e9, 1e9);
  std::string text = fmt::format("{:.1f}", value);
  return text == "-0.0" ? "0.0" : text;
}

}  // namespace truvello::cli
