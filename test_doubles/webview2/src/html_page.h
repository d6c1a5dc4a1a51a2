#pragma once

#include <string>
#include <utility>
#include <vector>

// What the stand-in browser reads from a page: its title, forms and links. A tolerant reader,
// not a parser: unknown tags are skipped, unclosed elements end with the document, attribute
// values may be quoted either way or bare, and character references are decoded.
struct HtmlInput {
  std::string type;  // lower case; "text" when absent
  std::string name;
  std::string value;
  bool checked = false;
};

struct HtmlForm {
  std::string action;  // as written (may be relative or empty)
  std::string method;  // "GET" or "POST"
  std::vector<HtmlInput> inputs;

  // The fields a submission sends: named inputs except buttons and unchecked boxes, with
  // `filled` replacing or adding values by name, and the first named submit button.
  std::vector<std::pair<std::string, std::string>> Submission(
      const std::vector<std::pair<std::string, std::string>>& filled) const;
};

struct HtmlLink {
  std::string href;
  std::string id;
  std::string class_name;
  std::string text;  // the visible text, spaces collapsed
};

struct HtmlPage {
  std::string title;
  std::vector<HtmlForm> forms;
  std::vector<HtmlLink> links;
};

HtmlPage ReadHtmlPage(const std::string& html);
std::string DecodeHtmlText(const std::string& text);
