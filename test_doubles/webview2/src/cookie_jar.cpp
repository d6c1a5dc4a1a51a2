#include "cookie_jar.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HasControlCharacters(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool IsIpAddress(const std::string& host) {
  return host.find_first_not_of("0123456789.") == std::string::npos || host.find(':') != std::string::npos;
}

bool DomainMatches(const BrowserCookie& cookie, const std::string& host) {
  if (host == cookie.domain) return true;
  return !cookie.host_only && host.size() > cookie.domain.size() &&
         host.compare(host.size() - cookie.domain.size(), cookie.domain.size(), cookie.domain) == 0 &&
         host[host.size() - cookie.domain.size() - 1] == '.';
}

bool PathMatches(const std::string& cookie_path, const std::string& path) {
  if (path.compare(0, cookie_path.size(), cookie_path) != 0) return false;
  return path.size() == cookie_path.size() || cookie_path.back() == '/' ||
         path[cookie_path.size()] == '/';
}

std::string DefaultPath(const WebAddress& from) {
  const std::string path = from.Path();
  const size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

bool Live(const BrowserCookie& cookie, double now) { return cookie.IsSession() || cookie.expires > now; }

}  // namespace

double ParseCookieDate(const std::string& text) {
  static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
  int day = -1, year = -1, month = -1, hour = -1, minute = -1, second = -1;
  std::string token;
  std::istringstream words(text);
  while (std::getline(words, token, ' ')) {
    token = Trim(token);
    std::replace(token.begin(), token.end(), '-', ' ');
    std::istringstream parts(token);
    std::string part;
    while (parts >> part) {
      int h, m, s;
      if (hour < 0 && std::sscanf(part.c_str(), "%d:%d:%d", &h, &m, &s) == 3) {
        hour = h, minute = m, second = s;
        continue;
      }
      const std::string lower = Lower(part.substr(0, 3));
      for (int i = 0; i < 12; ++i) {
        if (month < 0 && lower == kMonths[i] && !std::isdigit(static_cast<unsigned char>(part[0]))) month = i + 1;
      }
      if (!std::isdigit(static_cast<unsigned char>(part[0]))) continue;
      const int number = std::atoi(part.c_str());
      if (day < 0 && part.size() <= 2) {
        day = number;
      } else if (year < 0) {
        year = number < 70 ? number + 2000 : number < 100 ? number + 1900 : number;
      }
    }
  }
  if (day < 1 || day > 31 || month < 1 || year < 1601 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59) {
    return -1;
  }
  return static_cast<double>(DaysFromCivil(year, month, day) * 86400 + hour * 3600 +
                             minute * 60 + second);
}

void CookieJar::Store(const WebAddress& from, const std::string& set_cookie, double now) {
  std::istringstream parts(set_cookie);
  std::string pair;
  std::getline(parts, pair, ';');
  const size_t equals = pair.find('=');
  if (equals == std::string::npos) return;
  BrowserCookie cookie;
  cookie.name = Trim(pair.substr(0, equals));
  cookie.value = Trim(pair.substr(equals + 1));
  if (cookie.name.empty() || HasControlCharacters(cookie.name) || HasControlCharacters(cookie.value)) {
    return;
  }
  cookie.domain = from.host;
  cookie.path = DefaultPath(from);
  bool has_max_age = false;
  std::string attribute;
  while (std::getline(parts, attribute, ';')) {
    const size_t eq = attribute.find('=');
    const std::string key = Lower(Trim(attribute.substr(0, eq)));
    const std::string value = eq == std::string::npos ? "" : Trim(attribute.substr(eq + 1));
    if (key == "max-age" && !value.empty() &&
        value.find_first_not_of("-0123456789") == std::string::npos) {
      cookie.expires = now + std::atof(value.c_str());
      if (cookie.expires <= now) cookie.expires = 0;
      has_max_age = true;
    } else if (key == "expires" && !has_max_age) {
      const double date = ParseCookieDate(value);
      if (date >= 0) cookie.expires = date;
    } else if (key == "domain" && !value.empty()) {
      std::string domain = Lower(value[0] == '.' ? value.substr(1) : value);
      BrowserCookie probe;
      probe.domain = domain;
      probe.host_only = IsIpAddress(from.host);
      if (!DomainMatches(probe, from.host)) return;
      cookie.domain = domain;
      cookie.host_only = probe.host_only;
    } else if (key == "path" && !value.empty() && value[0] == '/') {
      cookie.path = value;
    } else if (key == "secure") {
      cookie.secure = true;
    } else if (key == "httponly") {
      cookie.http_only = true;
    } else if (key == "samesite") {
      const std::string kind = Lower(value);
      cookie.same_site = kind == "strict" ? 2 : kind == "lax" ? 1 : 0;
    }
  }
  if (cookie.secure && !from.IsSecure()) return;
  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [&](const BrowserCookie& c) {
                                  return c.name == cookie.name && c.domain == cookie.domain &&
                                         c.path == cookie.path;
                                }),
                 cookies_.end());
  if (Live(cookie, now)) cookies_.push_back(cookie);
}

void CookieJar::Remove(const std::string& name, const std::string& reported_domain,
                       const std::string& path) {
  for (auto cookie = cookies_.begin(); cookie != cookies_.end();) {
    const bool same = cookie->name == name && cookie->ReportedDomain() == reported_domain &&
                      cookie->path == path;
    cookie = same ? cookies_.erase(cookie) : cookie + 1;
  }
}

std::vector<BrowserCookie> CookieJar::All(double now) const {
  std::vector<BrowserCookie> live;
  std::copy_if(cookies_.begin(), cookies_.end(), std::back_inserter(live),
               [now](const BrowserCookie& c) { return Live(c, now); });
  return live;
}

std::vector<BrowserCookie> CookieJar::For(const WebAddress& to, double now) const {
  std::vector<BrowserCookie> matching;
  for (const BrowserCookie& cookie : All(now)) {
    if (DomainMatches(cookie, to.host) && PathMatches(cookie.path, to.Path()) &&
        (!cookie.secure || to.IsSecure())) {
      matching.push_back(cookie);
    }
  }
  // Longer paths first, as RFC 6265 orders them.
  std::stable_sort(matching.begin(), matching.end(), [](const BrowserCookie& a, const BrowserCookie& b) {
    return a.path.size() > b.path.size();
  });
  return matching;
}

std::string CookieJar::HeaderFor(const WebAddress& to, double now) const {
  std::string header;
  for (const BrowserCookie& cookie : For(to, now)) {
    header += (header.empty() ? "" : "; ") + cookie.name + "=" + cookie.value;
  }
  return header;
}

std::string CookieJar::PersistentText(double now) const {
  std::ostringstream text;
  text.precision(17);
  for (const BrowserCookie& c : All(now)) {
    if (c.IsSession()) continue;
    text << c.name << '\t' << c.value << '\t' << c.domain << '\t' << c.path << '\t' << c.expires
         << '\t' << c.secure << '\t' << c.http_only << '\t' << c.host_only << '\t' << c.same_site
         << '\n';
  }
  return text.str();
}

void CookieJar::LoadPersistentText(const std::string& text, double now) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream columns(line);
    std::string field;
    while (std::getline(columns, field, '\t')) fields.push_back(field);
    if (fields.size() != 9 || fields[0].empty()) continue;
    BrowserCookie c;
    c.name = fields[0], c.value = fields[1], c.domain = fields[2], c.path = fields[3];
    c.expires = std::atof(fields[4].c_str());
    c.secure = fields[5] == "1", c.http_only = fields[6] == "1", c.host_only = fields[7] == "1";
    c.same_site = std::atoi(fields[8].c_str());
    if (c.expires > now) cookies_.push_back(c);
  }
}
