#include "text/terminal_text.h"

#include <gtest/gtest.h>

#include <string>

namespace truvello::cli {
namespace {

// Hostile texts as a saved file could carry them, and what a terminal may
// be shown instead; the same texts seed the reader's fuzzer.
TEST(TerminalText, ControlCharactersAndBrokenUtf8BecomeVisibleEscapes) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"AMD EPYC 7763", "AMD EPYC 7763"},
      {"\x1b]0;owned\x07\x1b[2J", "\\x1b]0;owned\\x07\\x1b[2J"},
      {"tab\tnew\nline\rdel\x7f", "tab\\x09new\\x0aline\\x0ddel\\x7f"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"\xC2\x9B"
       "31m",
       "\\u009b31m"},                       // C1 CSI in UTF-8
      {"\xC2\x85", "\\u0085"},              // C1 NEL
      {"bad\xff.json", "bad\\xff.json"},    // not UTF-8
      {"\xC0\xAF", "\\xc0\\xaf"},           // overlong '/'
      {"\xED\xA0\x80", "\\xed\\xa0\\x80"},  // a surrogate
      {"\xE2\x82", "\\xe2\\x82"},           // cut short
      {"Intel\xC2\xAE Core\xE2\x84\xA2 \xE6\xB5\x8B\xF0\x9F\x94\xA5",
       "Intel\xC2\xAE Core\xE2\x84\xA2 \xE6\xB5\x8B\xF0\x9F\x94\xA5"},
      {"back\\slash", "back\\slash"},
  };
  for (const auto& c : cases) EXPECT_EQ(terminal_safe(c.in), c.out) << c.out;
  EXPECT_EQ(terminal_lines("a\x1b[2J\nb\n"), "a\\x1b[2J\nb\n");
}

}  // namespace
}  // namespace truvello::cli
