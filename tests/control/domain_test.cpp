// The control lets only pages of the portal's two domains drive an
// installation; it reads the page's host out of the browser's wide URL.
#include <gtest/gtest.h>

#include <string>

#include "trusted_domain.h"

namespace {

struct UrlCase {
  const wchar_t* url;
  bool trusted;
};

void ExpectCases(const UrlCase* begin, const UrlCase* end) {
  for (const UrlCase* c = begin; c != end; ++c)
    EXPECT_EQ(IsTrustedPageUrl(c->url), c->trusted)
        << (c->url != nullptr ? std::string(c->url, c->url + wcslen(c->url)) : "(null)");
}

TEST(ControlTrustedDomain, TrustsOnlySubdomainsOfThePortal) {
  const UrlCase cases[] = {
      {L"http://a.ovelin.com/game.html", true},
      {L"http://b.a.ovelin.net/", true},
      {L"http://GAME.OVELIN.NET:8080/index.html", true},
      {L"https://www.ovelin.com", true},
      {L"HTTPS://WWW.OVELIN.COM/", true},
      {L"Http://www.ovelin.net?x=1", true},
      {L"http://ovelin.com/", false},
      {L"http://ovelin.net", false},
      {L"http://evil-ovelin.com/", false},
      {L"http://a.ovelin.org/", false},
      {L"http://a.ovelin.net.evil.example/", false},
      {L"http://www.ovelin.com./", false},
      {L"http://evil.example/www.ovelin.net", false},
      {L"http://evil.example/?http://www.ovelin.net/", false},
      {L"http://a.net/", false},  // shorter than either suffix
      {L"http://", false},
      {L"about:blank", false},
      {L"file:///C:/pages/game.html", false},
      {L"", false},
      {nullptr, false},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

// Only http and https pages: other schemes carry text that merely looks
// like a portal URL, and another site can reach every one of them.
TEST(ControlTrustedDomain, OnlyWebPagesCount) {
  const UrlCase cases[] = {
      {L"about:<b>x</b>http://www.ovelin.com/", false},
      {L"javascript:1//http://www.ovelin.com/", false},
      {L"javascript:'x'//http://a.ovelin.com/", false},
      {L"mk:@MSITStore:C:\\x.chm::/a://www.ovelin.com/", false},
      {L"ftp://www.ovelin.com/", false},
      {L"file://www.ovelin.com/game.html", false},
      {L"res://www.ovelin.com/", false},
      {L" http://www.ovelin.com/", false},
      {L"httpx://www.ovelin.com/", false},
      {L"http:/www.ovelin.com/", false},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

// A browser ends the host at these characters and connects to what follows
// the last "@", so none of these pages comes from the portal; a host in any
// other script than ASCII is never the portal's, whatever a code page would
// make of it.
TEST(ControlTrustedDomain, HostIsTheAuthoritysAsciiHost) {
  const UrlCase cases[] = {
      {L"http://evil.example?.ovelin.net/", false},
      {L"http://evil.example#.ovelin.net", false},
      {L"http://evil.example\\.ovelin.net/", false},
      {L"http://www.ovelin.net:pw@evil.example/", false},
      {L"http://www.ovelin.net@evil.example/", false},
      {L"http://user@www.ovelin.net/", true},
      {L"http://user:pw@www.ovelin.net:81/", true},
      {L"http://a.ovelin.com\u0915.evil.com/", false},  // unmappable: "?" in a code page
      {L"http://www.ovel\u0131n.com/", false},          // dotless i: "i" by best fit
      {L"http://www.\uff4fvelin.com/", false},          // fullwidth o
      {L"http://www.ovelin.com\u3002/", false},         // ideographic full stop
      {L"http://www .ovelin.com/", false},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

TEST(ControlTrustedDomain, LongHostsAreJudgedWhole) {
  const std::wstring host = std::wstring(5000, L'h') + L".ovelin.net";
  EXPECT_TRUE(IsTrustedPageUrl((L"http://" + host + L"/").c_str()));
  EXPECT_FALSE(IsTrustedPageUrl((L"http://" + host + L".evil.example/").c_str()));
}

}  // namespace
