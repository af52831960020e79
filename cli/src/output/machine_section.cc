#include "output/machine_section.h"

#include <fmt/format.h>
#include <cmath>

#include "text/html_text.h"

namespace truvello::cli {

namespace {

// A figure of the machine; one that is not a number reads 0.
double shown(double value) { return std::isfinite(value) ? value : 0.0; }

std::string fact(const char* name, const std::string& value) {
  return std::string("<tr><th scope=\"row\">") + name + "</th><td>" + html_escape(value) + "</td></tr>\n";
}

std::string machine_table(const MachineContext& m) {
  std::string out = "<div class=\"scroll\"><table class=\"facts\"><tbody>\n";
  if (!m.host_name.empty()) out += fact("Host name", m.host_name);
  out += fact("CPU model", m.cpu_model.empty() ? "unknown" : m.cpu_model);
  out += fact("CPUs online", std::to_string(m.online_cpus));
  out += fact("Usable CPUs", fmt::format("{:.3g}", shown(m.usable_cpus())));
  out += fact("Affinity mask", m.affinity_cpus ? std::to_string(*m.affinity_cpus) + " CPUs" : "not read");
  std::string quota = "none";
  if (m.cpu_quota && m.cpu_quota->quota_us) {
    quota = "cpu.max " + std::to_string(*m.cpu_quota->quota_us) + " " + std::to_string(m.cpu_quota->period_us);
    if (const auto cpus = m.cpu_quota->cpus()) quota += " (" + fmt::format("{:.3g}", shown(*cpus)) + " CPUs)";
  }
  out += fact("cgroup quota", quota);
  out += fact("OS kernel", m.os_kernel.empty() ? "unknown" : m.os_kernel);
  std::string governors;
  for (const std::string& g : m.governors) governors += (governors.empty() ? "" : ", ") + g;
  out += fact("Frequency governors", governors.empty() ? "not exposed" : governors);
  out += fact("Hypervisor", m.hypervisor ? "yes" : "no");
  out += fact("Load average before the run",
              m.load ? fmt::format("{:.2f} {:.2f} {:.2f} (1, 5, 15 min)", shown(m.load->one), shown(m.load->five),
                                   shown(m.load->fifteen))
                     : "not read");
  return out + "</tbody></table></div>\n";
}

}  // namespace

std::string machine_section(std::span<const ReportSource> sources,
                            const std::vector<MachineWideWarnings>& machine_wide) {
  std::string out = "<section id=\"machine\">\n<h2>Machine</h2>\n";
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const std::string name = source_name(sources, i);
    if (!name.empty()) out += "<h3>" + html_escape(name) + "</h3>\n";
    out += machine_table(sources[i].view->source().machine);
    std::string items;
    for (const Warning& w : machine_wide[i].list()) {
      items += "<li data-code=\"" + html_escape(w.code) + "\"><span class=\"mark\" aria-hidden=\"true\">\u26A0</span>" +
               html_escape(w.message) + "</li>\n";
    }
    if (!items.empty()) out += "<ul class=\"warnings\" aria-label=\"machine warnings\">\n" + items + "</ul>\n";
  }
  return out + "</section>\n";
}

}  // namespace truvello::cli
