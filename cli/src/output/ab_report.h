#pragma once

// What an A/B series (`truvello ab`, or `truvello report` of its document)
// shows: the two sides' scores, the ratio B / A with its 95 % interval from
// the pairs, the verdict, the pairs used and those that stood out, and the
// seed of the order; as terminal text, Markdown and a self-contained HTML
// page with the pairs' ratios charted in the order they ran.

#include <string>
#include <string_view>

#include "statistics/invocation_view.h"

namespace truvello::cli {

// The verdict in words, naming side B by its label (not yet made safe for
// any output): "B (powersave) is slower than A (performance) by 4.4 %".
std::string ab_verdict_text(const InvocationView& view);

// Labels and commands are shown through terminal_safe.
std::string ab_summary_text(const InvocationView& view);
std::string ab_markdown_text(const InvocationView& view);
// Every text from outside is escaped; `date` is printed as given.
std::string ab_html_text(const InvocationView& view, std::string_view date);

}  // namespace truvello::cli
