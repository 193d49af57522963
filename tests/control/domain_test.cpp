// The control lets only pages of the portal's two domains drive an
// installation; it reads the page's host out of the URL text itself.
#include <gtest/gtest.h>

#include <string>

#include "trusted_domain.h"

namespace {

struct UrlCase {
  const char* url;
  bool trusted;
};

TEST(ControlTrustedDomain, TrustsOnlySubdomainsOfThePortal) {
  const UrlCase cases[] = {
      {"http://a.ovelin.com/game.html", true},
      {"http://b.a.ovelin.net/", true},
      {"http://GAME.OVELIN.NET:8080/index.html", true},
      {"https://www.ovelin.com", true},
      {"http://www.ovelin.net?x=1", true},
      {"http://ovelin.com/", false},
      {"http://ovelin.net", false},
      {"http://evil-ovelin.com/", false},
      {"http://a.ovelin.org/", false},
      {"http://a.ovelin.net.evil.example/", false},
      {"http://evil.example/www.ovelin.net", false},
      {"http://evil.example/?http://www.ovelin.net/", false},
      {"http://a.net/", false},  // shorter than either suffix
      {"http://", false},
      {"about:blank", false},
      {"file:///C:/pages/game.html", false},
      {"", false},
      {nullptr, false},
  };
  for (const UrlCase& c : cases) EXPECT_EQ(IsTrustedPageUrl(c.url), c.trusted) << c.url;
}

// A browser ends the host at these characters and connects to what follows
// the last "@", so none of these pages comes from the portal.
TEST(ControlTrustedDomain, HostEndsWhereTheBrowserEndsIt) {
  const UrlCase cases[] = {
      {"http://evil.example?.ovelin.net/", false},
      {"http://evil.example#.ovelin.net", false},
      {"http://evil.example\\.ovelin.net/", false},
      {"http://www.ovelin.net:pw@evil.example/", false},
      {"http://www.ovelin.net@evil.example/", false},
      {"http://user@www.ovelin.net/", true},
      {"http://user:pw@www.ovelin.net:81/", true},
  };
  for (const UrlCase& c : cases) EXPECT_EQ(IsTrustedPageUrl(c.url), c.trusted) << c.url;
}

TEST(ControlTrustedDomain, LongHostsAreJudgedWhole) {
  const std::string host = std::string(5000, 'h') + ".ovelin.net";
  EXPECT_TRUE(IsTrustedPageUrl(("http://" + host + "/").c_str()));
  EXPECT_FALSE(IsTrustedPageUrl(("http://" + host + ".evil.example/").c_str()));
}

}  // namespace
