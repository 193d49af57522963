// The control's half of the trusted-domain rule: only pages of the
// portal's own domains may drive an installation.
#pragma once

// True when url is an http or https page (scheme without regard to case)
// whose host ends with ".<portal>.net" or ".<portal>.com", compared without
// regard to letter case. The host is read from the authority alone: what
// follows "scheme://" up to the first "/", "?", "#" or "\", after the last
// "@" and before a port colon. The wide text is judged as it stands: a host
// with any character outside printable ASCII is not trusted, so no code
// page can turn a look-alike or unmappable character into a portal host.
// False for a null URL and for every other scheme (about:, javascript:,
// file:, mk:, ...), whatever text follows it.
bool IsTrustedPageUrl(const wchar_t* url);
