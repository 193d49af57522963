// The control's half of the trusted-domain rule: only pages of the
// portal's own domains may drive an installation.
#pragma once

// True when the host of the page URL ends with ".<portal>.net" or
// ".<portal>.com", compared without regard to letter case. The host is
// read from the text itself: what follows "://" up to the first "/", "?",
// "#", "\" or port colon, after any "user:password@". False for a null URL,
// one without "://" (about:blank) and an empty host (file:///C:/...).
bool IsTrustedPageUrl(const char* url);
