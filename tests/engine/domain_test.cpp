// The engine accepts packages only from hosts of the portal's two domains,
// as WinINet reads the host out of the codebase URL.
#include <gtest/gtest.h>

#include <string>

#include "domain_suffix.h"
#include "trusted_domain.h"

namespace {

struct UrlCase {
  const char* url;
  bool trusted;
};

TEST(EngineTrustedDomain, SuffixTableListsNetThenComEndedByNull) {
  const char* const* suffixes = kTrustedDomainSuffixes;
  EXPECT_STREQ(suffixes[0], "." OV_PORTAL_DOMAIN ".net");
  EXPECT_STREQ(suffixes[1], "." OV_PORTAL_DOMAIN ".com");
  EXPECT_EQ(suffixes[2], nullptr);
}

TEST(EngineTrustedDomain, TrustsOnlySubdomainsOfThePortal) {
  const UrlCase cases[] = {
      {"http://a.ovelin.com/pkgs/a.cab", true},
      {"http://b.a.ovelin.net/", true},
      {"http://GAME.OVELIN.NET:8080/pkgs/a.cab", true},
      {"https://cdn.ovelin.net/a.cab", true},  // the scheme is the download's concern
      {"http://user:pw@cdn.ovelin.net/a.cab", true},
      {"http://cdn.ovelin.net:pw@evil.example/a.cab", false},
      {"http://cdn.ovelin.net@evil.example/a.cab", false},
      {"http://ovelin.com/a.cab", false},
      {"http://ovelin.net", false},
      {"http://evil-ovelin.com/a.cab", false},
      {"http://a.ovelin.org/a.cab", false},
      {"http://a.ovelin.net.evil.example/a.cab", false},
      {"http://evil.example/a.ovelin.net", false},
      {"http://evil.example?.ovelin.net/", false},
      {"http://evil.example#.ovelin.net", false},
      {"http://evil.example\\.ovelin.net/", false},
      {"http://a.net/", false},  // shorter than either suffix
      {"file:///C:/pages/a.cab", false},
      {"not a url", false},
      {"", false},
      {nullptr, false},
  };
  for (const UrlCase& c : cases) EXPECT_EQ(IsTrustedCodebaseUrl(c.url), c.trusted) << c.url;
}

TEST(EngineTrustedDomain, UrlsLongerThanWinInetBuffersAreJudgedWithoutOverflow) {
  const std::string longPath(5000, 'p');
  EXPECT_FALSE(IsTrustedCodebaseUrl(("http://cdn.ovelin.net/" + longPath).c_str()));
  const std::string longHost = std::string(3000, 'h') + ".ovelin.net";
  EXPECT_FALSE(IsTrustedCodebaseUrl(("http://" + longHost + "/a.cab").c_str()));
}

}  // namespace
