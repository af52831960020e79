#include "output/html_page.h"

// kStyle: the style sheet (html_report.css), inlined in every page since the
// page may load nothing from elsewhere.
#include "html_report_style.h"
#include "text/html_text.h"

namespace truvello::cli {

std::string html_page(std::string_view title, std::string_view body, std::string_view page_style) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"";
  out += kContentPolicy;
  out +=
      "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"color-scheme\" content=\"light dark\">\n<title>";
  out += html_escape(title);
  out += "</title>\n<style>";
  out += kStyle;
  out += page_style;
  out += "</style>\n</head>\n<body>\n";
  out += body;
  out += "</body>\n</html>\n";
  return out;
}

std::string report_body(std::string_view header, std::string_view main, std::string_view footer) {
  std::string out(header);
  out += "<main>\n";
  out += main;
  out += "</main>\n<footer><p>";
  out += footer;
  out += "</p></footer>\n";
  return out;
}

}  // namespace truvello::cli
