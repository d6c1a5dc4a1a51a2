#include "html_page.h"

#include <cctype>
#include <cstdlib>
#include <map>

namespace {

using Attributes = std::map<std::string, std::string>;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string CollapseSpaces(const std::string& text) {
  std::string out;
  bool pending_space = false;
  for (char c : text) {
    if (IsSpace(c)) {
      pending_space = !out.empty();
      continue;
    }
    if (pending_space) out += ' ';
    pending_space = false;
    out += c;
  }
  return out;
}

void AppendUtf8(std::string& out, unsigned long code_point) {
  if (code_point == 0 || code_point > 0x10FFFF) code_point = 0xFFFD;
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// Reads "<name attr=value ...>" starting after '<'; `pos` ends after '>'.
std::string ReadTag(const std::string& html, size_t& pos, Attributes& attributes) {
  size_t start = pos;
  while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != '>' && html[pos] != '/') ++pos;
  const std::string name = Lower(html.substr(start, pos - start));
  while (pos < html.size() && html[pos] != '>') {
    if (IsSpace(html[pos]) || html[pos] == '/') {
      ++pos;
      continue;
    }
    start = pos;
    while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != '=' && html[pos] != '>') ++pos;
    const std::string attribute = Lower(html.substr(start, pos - start));
    std::string value;
    while (pos < html.size() && IsSpace(html[pos])) ++pos;
    if (pos < html.size() && html[pos] == '=') {
      ++pos;
      while (pos < html.size() && IsSpace(html[pos])) ++pos;
      if (pos < html.size() && (html[pos] == '"' || html[pos] == '\'')) {
        const char quote = html[pos++];
        const size_t end = html.find(quote, pos);
        value = html.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? html.size() : end + 1;
      } else {
        start = pos;
        while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != '>') ++pos;
        value = html.substr(start, pos - start);
      }
    }
    if (!attribute.empty()) attributes.emplace(attribute, DecodeHtmlText(value));
  }
  if (pos < html.size()) ++pos;
  return name;
}

// The raw text up to the closing tag `name` (case-insensitive); `pos` ends after it.
std::string TextUntilClosing(const std::string& html, size_t& pos, const std::string& name) {
  const std::string lower = Lower(html.substr(pos));
  const size_t end = lower.find("</" + name);
  const std::string text = html.substr(pos, end == std::string::npos ? std::string::npos : end);
  if (end == std::string::npos) {
    pos = html.size();
  } else {
    const size_t close = html.find('>', pos + end);
    pos = close == std::string::npos ? html.size() : close + 1;
  }
  return text;
}

std::string StripTags(const std::string& text) {
  std::string out;
  bool in_tag = false;
  for (char c : text) {
    if (c == '<') in_tag = true;
    if (!in_tag) out += c;
    if (c == '>') in_tag = false;
  }
  return out;
}

std::string Attribute(const Attributes& attributes, const std::string& name) {
  auto found = attributes.find(name);
  return found == attributes.end() ? std::string() : found->second;
}

// The quoted argument after `call` in a script ("..." or '...'), or nothing.
std::vector<std::string> QuotedArguments(const std::string& script, const std::string& call) {
  std::vector<std::string> found;
  size_t pos = 0;
  while ((pos = script.find(call, pos)) != std::string::npos) {
    pos += call.size();
    while (pos < script.size() && (IsSpace(script[pos]) || script[pos] == '(' ||
                                   script[pos] == '=')) {
      ++pos;
    }
    if (pos >= script.size() || (script[pos] != '"' && script[pos] != '\'')) continue;
    const char quote = script[pos++];
    const size_t end = script.find(quote, pos);
    if (end == std::string::npos) break;
    found.push_back(script.substr(pos, end - pos));
    pos = end + 1;
  }
  return found;
}

void ReadScript(const std::string& script, PageBehaviour& behaviour) {
  if (script.find("document.forms[0].submit()") != std::string::npos) {
    behaviour.submits_first_form = true;
  }
  for (const char* call : {"location.href", "location.replace", "location.assign"}) {
    for (const std::string& target : QuotedArguments(script, call)) behaviour.location = target;
  }
  for (const std::string& target : QuotedArguments(script, "window.open")) {
    behaviour.opens.push_back(target);
  }
  for (const std::string& key : QuotedArguments(script, "localStorage.setItem")) {
    behaviour.stored_items.push_back(key);
  }
}

// content="N; url=..." (the url part may be quoted).
void ReadRefresh(const std::string& content, PageBehaviour& behaviour) {
  const std::string lower = Lower(content);
  const size_t url = lower.find("url=");
  if (url == std::string::npos) return;
  std::string target = content.substr(url + 4);
  if (!target.empty() && (target.front() == '\'' || target.front() == '"')) {
    target = target.substr(1, target.find(target.front(), 1) - 1);
  }
  behaviour.refresh_url = target;
  behaviour.refresh_seconds = static_cast<unsigned>(std::strtoul(content.c_str(), nullptr, 10));
}

}  // namespace

bool HtmlLink::OpensNewWindow() const {
  const std::string lower = Lower(target);
  return !lower.empty() && lower != "_self" && lower != "_top" && lower != "_parent";
}

std::string DecodeHtmlText(const std::string& text) {
  static const std::map<std::string, std::string> kNamed = {
      {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t semicolon = text[pos] == '&' ? text.find(';', pos) : std::string::npos;
    if (semicolon == std::string::npos || semicolon - pos > 10) {
      out += text[pos++];
      continue;
    }
    const std::string entity = text.substr(pos + 1, semicolon - pos - 1);
    if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const std::string digits = entity.substr(hex ? 2 : 1);
      const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
      if (!digits.empty() && digits.find_first_not_of(allowed) == std::string::npos) {
        AppendUtf8(out, std::stoul(digits, nullptr, hex ? 16 : 10));
        pos = semicolon + 1;
        continue;
      }
    } else if (auto named = kNamed.find(Lower(entity)); named != kNamed.end()) {
      out += named->second;
      pos = semicolon + 1;
      continue;
    }
    out += text[pos++];
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> HtmlForm::Submission(
    const std::vector<std::pair<std::string, std::string>>& filled) const {
  std::vector<std::pair<std::string, std::string>> fields;
  bool submitter_added = false;
  for (const HtmlInput& input : inputs) {
    if (input.name.empty()) continue;
    const bool is_button = input.type == "submit" || input.type == "image" ||
                           input.type == "button" || input.type == "reset";
    if (is_button) {
      if (input.type == "submit" && !submitter_added) fields.emplace_back(input.name, input.value);
      submitter_added = submitter_added || input.type == "submit";
      continue;
    }
    if ((input.type == "checkbox" || input.type == "radio") && !input.checked) continue;
    fields.emplace_back(input.name, input.value);
  }
  for (const auto& [name, value] : filled) {
    bool replaced = false;
    for (auto& field : fields) {
      if (field.first == name) {
        field.second = value;
        replaced = true;
      }
    }
    if (!replaced) fields.emplace_back(name, value);
  }
  return fields;
}

HtmlPage ReadHtmlPage(const std::string& html) {
  HtmlPage page;
  bool in_form = false;
  size_t pos = 0;
  while ((pos = html.find('<', pos)) != std::string::npos) {
    ++pos;
    if (html.compare(pos, 3, "!--") == 0) {
      const size_t end = html.find("-->", pos);
      pos = end == std::string::npos ? html.size() : end + 3;
      continue;
    }
    Attributes attributes;
    const bool closing = pos < html.size() && html[pos] == '/';
    if (closing) ++pos;
    const std::string tag = ReadTag(html, pos, attributes);
    if (closing) {
      if (tag == "form") in_form = false;
      continue;
    }
    if (tag == "script") {
      ReadScript(TextUntilClosing(html, pos, tag), page.behaviour);
    } else if (tag == "style") {
      TextUntilClosing(html, pos, tag);
    } else if (tag == "meta" && Lower(Attribute(attributes, "http-equiv")) == "refresh") {
      ReadRefresh(Attribute(attributes, "content"), page.behaviour);
    } else if (tag == "body") {
      ReadScript(Attribute(attributes, "onload"), page.behaviour);
    } else if (tag == "title" && page.title.empty()) {
      page.title = CollapseSpaces(DecodeHtmlText(TextUntilClosing(html, pos, tag)));
    } else if (tag == "form") {
      const std::string method = Lower(Attribute(attributes, "method"));
      page.forms.push_back({Attribute(attributes, "action"), method == "post" ? "POST" : "GET", {}});
      in_form = true;
    } else if ((tag == "input" || tag == "button") && in_form) {
      std::string type = Lower(Attribute(attributes, "type"));
      if (type.empty()) type = tag == "button" ? "submit" : "text";
      page.forms.back().inputs.push_back({type, Attribute(attributes, "name"),
                                          Attribute(attributes, "value"),
                                          attributes.count("checked") != 0});
    } else if (tag == "textarea" && in_form) {
      const std::string text = DecodeHtmlText(TextUntilClosing(html, pos, tag));
      page.forms.back().inputs.push_back({"textarea", Attribute(attributes, "name"), text, false});
    } else if (tag == "iframe" && attributes.count("srcdoc")) {
      page.behaviour.frames.push_back("about:srcdoc");  // the document in the attribute wins
    } else if (tag == "iframe" && attributes.count("src")) {
      page.behaviour.frames.push_back(Attribute(attributes, "src"));
    } else if (tag == "a" && attributes.count("href")) {
      const std::string text = CollapseSpaces(DecodeHtmlText(StripTags(
          TextUntilClosing(html, pos, "a"))));
      page.links.push_back({Attribute(attributes, "href"), Attribute(attributes, "id"),
                            Attribute(attributes, "class"), Attribute(attributes, "target"),
                            text});
    }
  }
  return page;
}
