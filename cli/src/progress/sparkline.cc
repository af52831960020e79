#include "progress/sparkline.h"

#include <strings.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace truvello::cli {

namespace {

constexpr int kLevels = 8;
constexpr double kMinSpan = 0.10;

constexpr std::array<const char*, kLevels> kBlocks = {"\u2581", "\u2582", "\u2583", "\u2584",
                                                      "\u2585", "\u2586", "\u2587", "\u2588"};
constexpr std::array<char, kLevels> kAscii = {'_', '.', ',', '-', '=', '+', '*', '#'};

}  // namespace

std::vector<int> spark_levels(std::span<const double> values) {
  std::vector<int> levels;
  if (values.empty()) return levels;
  const double top = *std::max_element(values.begin(), values.end());
  const double bottom = *std::min_element(values.begin(), values.end());
  const double span = std::max(top - bottom, std::fabs(top) * kMinSpan);
  levels.reserve(values.size());
  for (double v : values) {
    int level = 0;  // all-zero rates sit at the floor
    if (span > 0.0 && std::isfinite(v)) {
      const double position = (v - (top - span)) / span;  // 0 at the floor, 1 at the top
      level = static_cast<int>(std::lround(position * (kLevels - 1)));
    }
    levels.push_back(std::clamp(level, 0, kLevels - 1));
  }
  return levels;
}

std::vector<double> fit_width(std::span<const double> values, std::size_t width) {
  if (width == 0) return {};
  if (values.size() <= width) return {values.begin(), values.end()};
  std::vector<double> out;
  out.reserve(width);
  for (std::size_t bucket = 0; bucket < width; ++bucket) {
    const std::size_t begin = bucket * values.size() / width;
    const std::size_t end = (bucket + 1) * values.size() / width;
    double sum = 0.0;
    for (std::size_t i = begin; i < end; ++i) sum += values[i];
    out.push_back(sum / static_cast<double>(end - begin));
  }
  return out;
}

std::string sparkline(std::span<const double> values, std::size_t width, Glyphs glyphs) {
  const std::vector<double> fitted = fit_width(values, width);
  std::string out;
  for (int level : spark_levels(fitted)) {
    if (glyphs == Glyphs::kBlocks) {
      out += kBlocks[static_cast<std::size_t>(level)];
    } else {
      out += kAscii[static_cast<std::size_t>(level)];
    }
  }
  return out;
}

bool is_utf8_codeset(const char* codeset) {
  if (codeset == nullptr) return false;
  return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0;
}

}  // namespace truvello::cli
