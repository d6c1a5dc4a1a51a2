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
  std::string target;  // as written; "", "_self", "_top" and "_parent" stay in the window
  std::string text;    // the visible text, spaces collapsed

  bool OpensNewWindow() const;
};

// What a page does by itself once loaded, as far as the stand-in understands it: its frames, a
// meta refresh, and scripts made of these statements only: `document.forms[0].submit()` (also as
// the body's onload), `window.location.href = "..."`, `location.replace("...")`,
// `window.open("...")` and `localStorage.setItem("key", ...)`. Anything else in a script is
// ignored.
struct PageBehaviour {
  std::string refresh_url;        // <meta http-equiv="refresh" content="N; url=...">
  unsigned refresh_seconds = 0;
  bool submits_first_form = false;
  std::string location;           // where a script sends the window
  std::vector<std::string> opens; // the addresses of window.open calls
  std::vector<std::string> stored_items;  // the keys of localStorage.setItem calls
  // Each <iframe>'s src ("about:srcdoc" for one with a srcdoc), navigated once the page loaded.
  std::vector<std::string> frames;
};

struct HtmlPage {
  std::string title;
  std::vector<HtmlForm> forms;
  std::vector<HtmlLink> links;
  PageBehaviour behaviour;
};

HtmlPage ReadHtmlPage(const std::string& html);
std::string DecodeHtmlText(const std::string& text);
