#pragma once

// The frame every HTML page of the command shares: one self-contained file
// (inline CSS, inline SVG, no script, nothing fetched) that a person opens,
// attaches to a ticket or prints. The run and comparison report, the A/B
// page and the fleet page differ only in what the frame holds.

#include <string>
#include <string_view>

namespace truvello::cli {

// Nothing from the network, ever: no script, no fetch, no font, no image
// from elsewhere. Inline styles are the only thing allowed in.
inline constexpr const char* kContentPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; img-src data:; base-uri 'none'; form-action 'none'";

// The whole page: the head (character set, the content policy, viewport,
// colour schemes, `title` escaped, the shared style sheet followed by
// `page_style`, rules only this page needs) and `body`, markup put in as
// given.
std::string html_page(std::string_view title, std::string_view body, std::string_view page_style = "");

// The body of a report: its header, then the main part, then the small
// print that says how to read the figures; all three markup, as given.
std::string report_body(std::string_view header, std::string_view main, std::string_view footer);

}  // namespace truvello::cli
