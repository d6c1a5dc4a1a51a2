// The stand-in browser's reading of pages, cookies, addresses and the user script.
#include <gtest/gtest.h>

#include "cookie_jar.h"
#include "html_page.h"
#include "scripted_user.h"
#include "web_address.h"

namespace {

WebAddress At(const std::string& text) { return ParseWebAddress(text).value(); }

TEST(StandInHtml, ReadsTitleFormsAndLinksFromUntidyMarkup) {
  const HtmlPage page = ReadHtmlPage(
      "<HTML><head><TITLE> Acceso &amp; firma </TITLE><script>var s='<form>';</script></head>"
      "<!-- <form action=/hidden> -->"
      "<form Method=POST action='/login?a=1&amp;b=2'><input name=user value=\"L&#xFA;cia\">"
      "<input type=hidden name=flow value=x><input type=checkbox name=remember>"
      "<input type=password name=password><button name=go value=1>OK</button>"
      "<p><a id=cancel href=\"/cancel?x=1\">  Cancelar\n </a>");
  EXPECT_EQ(page.title, "Acceso & firma");
  ASSERT_EQ(page.forms.size(), 1u);
  EXPECT_EQ(page.forms[0].method, "POST");
  EXPECT_EQ(page.forms[0].action, "/login?a=1&b=2");
  const auto fields = page.forms[0].Submission({{"password", "pw"}, {"extra", "e"}});
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"user", "L\xC3\xBA" "cia"}, {"flow", "x"}, {"password", "pw"}, {"go", "1"}, {"extra", "e"}};
  EXPECT_EQ(fields, expected);
  ASSERT_EQ(page.links.size(), 1u);
  EXPECT_EQ(page.links[0].text, "Cancelar");
  EXPECT_EQ(FormUrlEncode({{"a b", "c&d=é"}}), "a+b=c%26d%3D%C3%A9");
}

TEST(StandInHtml, WhatAPageDoesByItself) {
  HtmlPage page = ReadHtmlPage(
      "<meta http-equiv=Refresh content=\"2; URL='/next?a=1&amp;b=2'\">"
      "<script>window.open('ms-settings:privacy'); window.location.href = \"/go?x=1&y=2\";"
      "</script><a target=_blank href=/help>Ayuda</a><a target=_self href=/s>S</a>");
  EXPECT_EQ(page.behaviour.refresh_url, "/next?a=1&b=2");
  EXPECT_EQ(page.behaviour.refresh_seconds, 2u);
  EXPECT_EQ(page.behaviour.opens, std::vector<std::string>{"ms-settings:privacy"});
  EXPECT_EQ(page.behaviour.location, "/go?x=1&y=2");
  EXPECT_FALSE(page.behaviour.submits_first_form);
  ASSERT_EQ(page.links.size(), 2u);
  EXPECT_TRUE(page.links[0].OpensNewWindow());
  EXPECT_FALSE(page.links[1].OpensNewWindow());
  page = ReadHtmlPage("<body onload=\"document.forms[0].submit()\"><form method=post></form>");
  EXPECT_TRUE(page.behaviour.submits_first_form);
}

TEST(StandInAddress, ResolvesReferencesAndKeepsCustomSchemesWhole) {
  const WebAddress base = At("https://Host.example:8082/a/b/page?q=1#frag");
  EXPECT_EQ(base.host, "host.example");
  EXPECT_EQ(base.Text(), "https://host.example:8082/a/b/page?q=1");
  EXPECT_EQ(ResolveWebAddress(base, "/x?y")->Text(), "https://host.example:8082/x?y");
  EXPECT_EQ(ResolveWebAddress(base, "?z=2")->Text(), "https://host.example:8082/a/b/page?z=2");
  EXPECT_EQ(ResolveWebAddress(base, "../c")->Text(), "https://host.example:8082/a/c");
  EXPECT_EQ(ResolveWebAddress(base, "//other/p")->Text(), "https://other/p");
  const auto custom = ResolveWebAddress(base, "oauth-swift://oauth-callback?code=abc");
  ASSERT_TRUE(custom);
  EXPECT_FALSE(custom->IsHttp());
  EXPECT_EQ(custom->Text(), "oauth-swift://oauth-callback?code=abc");
  EXPECT_FALSE(ParseWebAddress("https://host:99999/"));
  EXPECT_FALSE(ParseWebAddress("no-scheme"));
}

TEST(StandInCookies, StoresMatchesExpiresAndPersistsOnlyLastingCookies) {
  CookieJar jar;
  const double now = 1'800'000'000;
  const WebAddress server = At("https://127.0.4.41:8082/trustedx-authserver/oauth/murako");
  jar.Store(server, "S=1; Max-Age=60; Path=/trustedx-authserver; Secure; HttpOnly", now);
  jar.Store(server, "T=2", now);                                   // session, default path
  jar.Store(server, "U=3; Domain=other.example", now);             // refused: foreign domain
  jar.Store(At("http://127.0.4.41/"), "V=4; Secure", now);          // refused: not over TLS
  EXPECT_EQ(jar.HeaderFor(At("https://127.0.4.41:8082/trustedx-authserver/oauth/murako/x"), now),
            "T=2; S=1");
  EXPECT_EQ(jar.HeaderFor(At("https://127.0.4.41:8082/trustedx-authserverX"), now), "");
  EXPECT_EQ(jar.HeaderFor(At("http://127.0.4.41:8082/trustedx-authserver/"), now), "");
  EXPECT_EQ(jar.All(now + 61).size(), 1u);  // S expired

  CookieJar reloaded;
  reloaded.LoadPersistentText(jar.PersistentText(now), now);
  ASSERT_EQ(reloaded.All(now).size(), 1u);
  const BrowserCookie cookie = reloaded.All(now)[0];
  EXPECT_EQ(cookie.name, "S");
  EXPECT_TRUE(cookie.secure && cookie.http_only && cookie.host_only);
  EXPECT_DOUBLE_EQ(cookie.expires, now + 60);

  jar.Store(server, "S=gone; Max-Age=0; Path=/trustedx-authserver", now);
  EXPECT_EQ(jar.All(now).size(), 1u);
  EXPECT_DOUBLE_EQ(ParseCookieDate("Tue, 08 Dec 2026 16:25:52 GMT"), 1796747152);
}

TEST(StandInUserScript, FirstMatchingRuleActsAsOftenAsAllowed) {
  const auto script = nlohmann::json::parse(R"({"pages": [
      {"path": "/login*", "title": "Acceso", "action": "submit", "fields": {"password": "p"}},
      {"path": "/login*", "action": "cancel", "link": "Utzi", "times": 0},
      {"title": "Error", "action": "close"}]})");
  std::map<std::string, int> used;
  UserStep step = ChooseUserStep(script, "/login/form", "Acceso al servicio", used);
  EXPECT_EQ(step.kind, UserStep::Kind::kSubmit);
  EXPECT_EQ(step.fields, (std::vector<std::pair<std::string, std::string>>{{"password", "p"}}));
  for (int i = 0; i < 3; ++i) {
    step = ChooseUserStep(script, "/login/form", "Acceso al servicio", used);
    EXPECT_EQ(step.kind, UserStep::Kind::kCancel);
    EXPECT_EQ(step.link, "Utzi");
  }
  EXPECT_EQ(ChooseUserStep(script, "/other", "Error", used).kind, UserStep::Kind::kClose);
  EXPECT_EQ(ChooseUserStep(script, "/other", "Error", used).kind, UserStep::Kind::kNothing);
  EXPECT_EQ(ChooseUserStep(nlohmann::json::parse("[1]"), "/", "", used).kind,
            UserStep::Kind::kNothing);
}

}  // namespace
